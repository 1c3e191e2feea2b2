# The player dies (a power cut) eleven seconds into a recording: after the
# restart the music player opens the file and plays it beyond eight seconds.
# The recording outlasts the nine seconds of listening by more than a second,
# so ESC still reaches the player.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugAudio>1</CfgDebugAudio></config><menu><MRecordFmt>2</MRecordFmt></menu></q7>"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
tones /host/ladder.wav
start --capture $ROOT/host/ladder.wav --capture-loop
expect say "本机磁盘"
key RECORD
expect say "开始录音"
wait 12500
kill
start
expect say "本机磁盘"
key OK
expect saying "录音文件"
key OK
expect saying "-0.wav"
key OK
expect file /home/q70.log contains "audio play: /mnt/emmc/录音文件/record"
wait 9000
key ESC
# Nine seconds of listening: the position is past eight (nine where the
# player kept up with the clock).
expect saying "当前播放0分08秒|当前播放0分09秒"
