# RECORD in the file browser records the microphone into a new WAV file of
# the recording folder: the start is spoken, BACK three seconds later ends
# it with the end text, and the browser stands on the new file. The file
# holds the capture up to the moment the recording stopped.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
file /home/q7cfg.xml "<q7><menu><MRecordFmt>2</MRecordFmt></menu></q7>"
tones /host/ladder.wav
start --capture $ROOT/host/ladder.wav
expect say "本机磁盘"
key RECORD
expect say "开始录音"
wait 3000
key BACK
expect say "录音结束" within 5000
expect saying "-0.wav"
expect recording /mnt/emmc/录音文件 rate 22050 ch 1
