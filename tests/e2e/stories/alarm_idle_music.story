# Idle power-off does not switch off while music plays: the countdown waits
# for the player.
date 2024-04-08 10:00:50
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MAutoShutDown>1</MAutoShutDown></menu></q7>"
mkdir /mnt/emmc/music
copy $SAMPLES/daisy3/mental_health/speechgen0009.mp3 /mnt/emmc/music/talk.mp3
start
expect say "Memory" within 15000
key OK
expect saying "music"
key OK
expect saying "talk.mp3"
key OK
expect tone 22050 1 2000
expect nosay "Auto shutdown" within 85000
