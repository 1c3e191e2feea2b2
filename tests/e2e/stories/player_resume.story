# Where a file was left survives a power cycle: the player stores it in the
# history at power-off, the device reopens the file there at the next
# start, and the music key's recently-played list resumes it there too.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugAudio>1</CfgDebugAudio></config></q7>"
mkdir /mnt/emmc/music
copy $SAMPLES/daisy202/mental_health/speechgen0008.mp3 /mnt/emmc/music/talk.mp3
start
expect say "本机磁盘"
key OK
expect saying "music"
key OK
expect saying "talk.mp3"
key OK
expect file /home/q70.log contains "audio play: /mnt/emmc/music/talk.mp3"
key RIGHT
key RIGHT
key RIGHT
key OK
expect say "暂停"
key ESC
expect saying "talk.mp3, 总时间6分07秒, 当前播放0分30秒"
hold POWER 2500
expect say "正在关机"
expect exit 0
expect file /home/q7cfg.xml contains "<timeoffset>30"
expect file /home/q7cfg.xml contains "<ContinueLastFile>2</ContinueLastFile>"
start
# The file opens by itself where it was left.
expect stdout "ContinueLastFile = 2"
expect saying "talk.mp3"
wait 500
key OK
expect say "暂停"
key ESC
expect saying "talk.mp3, 总时间6分07秒, 当前播放0分3"
key BACK
expect saying "talk.mp3"
key MP3
expect say "最近听过的音频"
key OK
expect saying "talk.mp3, 0分3"
key OK
wait 500
key OK
expect say "暂停"
key ESC
expect saying "talk.mp3, 总时间6分07秒, 当前播放0分3"
