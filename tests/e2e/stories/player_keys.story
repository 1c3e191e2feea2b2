# The music player from the file browser: a file plays, OK pauses it and
# says so, LEFT and RIGHT jump by the step setting (10 seconds), ESC says
# the name, the length and the position, DOWN on the last file goes round
# to the first, and BACK returns to the browser on the file last played.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugAudio>1</CfgDebugAudio></config></q7>"
mkdir /mnt/emmc/music
copy $SAMPLES/daisy202/mental_health/speechgen0012.mp3 /mnt/emmc/music/intro.mp3
copy $SAMPLES/daisy202/mental_health/speechgen0008.mp3 /mnt/emmc/music/talk.mp3
start
expect say "本机磁盘"
key OK
expect saying "music"
key OK
expect saying "intro.mp3"
key DOWN
expect saying "talk.mp3"
key OK
expect file /home/q70.log contains "audio play: /mnt/emmc/music/talk.mp3"
wait 300
key OK
expect say "暂停"
# Ten seconds back from under one: the start, and playing again.
key LEFT
key OK
expect say "暂停"
key ESC
expect saying "talk.mp3, 总时间6分07秒, 当前播放0分00秒"
key RIGHT
key RIGHT
key OK
expect say "暂停"
key ESC
expect saying "talk.mp3, 总时间6分07秒, 当前播放0分20秒"
key OK
key DOWN
expect file /home/q70.log contains "audio play: /mnt/emmc/music/intro.mp3"
key OK
expect say "暂停"
key ESC
expect saying "intro.mp3, 总时间0分15秒, 当前播放0分0"
key BACK
expect saying "intro.mp3"
