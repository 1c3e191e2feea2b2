# OK pauses a recording and says so; OK again says it continues. The file
# leaves out the paused span and repeats nothing.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MRecordFmt>2</MRecordFmt></menu></q7>"
tones /host/ladder.wav
start --capture $ROOT/host/ladder.wav
expect say "Memory"
key RECORD
# A prompt is in the transcript as it starts; recording starts once it ends.
expect say "Recording start"
wait 2500
key OK
expect say "Recording pause"
wait 1200
key OK
expect say "Recording continue"
wait 2500
key BACK
expect say "Recording end" within 5000
expect recording /mnt/emmc/RECORD pauses 1
