# The line input of a v2.0 board (a plug in the input jack, the input
# setting on line) is recorded in stereo at 44100 Hz into a WAV file of the
# English "RECORD" folder.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MRecordFmt>3</MRecordFmt><MExtInput>1</MExtInput></menu></q7>"
file /dev/mic_line "0\n"
tones /host/ladder.wav
start --capture $ROOT/host/ladder.wav
expect say "Memory"
key RECORD
expect say "Recording start"
wait 2500
key DOWN
expect say "Recording end" within 5000
expect saying ".wav"
expect recording /mnt/emmc/RECORD rate 44100 ch 2
