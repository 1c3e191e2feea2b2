# The music key held for 2 s locks the keys; then every key only says so,
# until the power key and the music key within 5 s unlock them. The lock is
# announced in synthesised speech, which the WAV outlet records.
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /mnt/emmc/a.txt ""
file /mnt/emmc/b.txt ""
start --audio wav
expect say "Memory"
key OK
expect say "a.txt. 0byte"
hold MP3 2200
expect say "Keyboard locked!"
expect heard 600
key DOWN
expect say "Keyboard locked!"
# The music key alone does not unlock.
key MP3
expect say "Keyboard locked!"
key POWER
key MP3
expect say "Keyboard unlocked"
expect nosay "auto poweroff" within 500
key DOWN
expect say "b.txt. 0byte"
# Locked again, a held power key still switches the player off.
hold MP3 2200
expect say "Keyboard locked!"
hold POWER 2500
expect say "Power off"
expect exit 0
