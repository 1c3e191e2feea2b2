# The sleep timer of the music player, in English: 15 minutes counted on
# the board's clock, the spoken warning thirty seconds before the end, a key
# in those seconds starting the period again (and doing nothing else), then
# the fade and the switch-off with the position kept. The choice survives a
# restart.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
mkdir /mnt/emmc/music
copy $SAMPLES/daisy202/mental_health/speechgen0008.mp3 /mnt/emmc/music/talk.mp3
start
expect say "Memory"
key OK
expect saying "music"
key OK
expect saying "talk.mp3"
key OK
wait 500
key MENU
expect say "speed, Normal"
key UP
expect say "Sleep timer, off"
key RIGHT
expect say "Sleep timer, 15 minutes"
key OK
expect say "Setting done"
advance 875
expect say "Sleep timer: power off in 30 seconds, press a key to go on"
key OK
expect say "Sleep timer extended"
expect nosay "pause" within 500
advance 880
expect say "Sleep timer: power off in 30 seconds, press a key to go on"
advance 25
advance 10
expect say "Sleep timer"
expect say "Power off"
expect exit 0
expect file /home/q7cfg.xml contains "<MSleepTimer>1</MSleepTimer>"
expect file /home/q7cfg.xml contains "talk.mp3"
start
expect saying "talk.mp3"
key MENU
expect say "speed, Normal"
key UP
expect say "Sleep timer, 15 minutes"
