# MP3 recordings at both rates: the microphone at 22050 Hz mono, then (after
# a restart with the line input chosen) the line input at 44100 Hz stereo;
# each file holds the capture up to the stop. The second recording of the
# day takes the next counter.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MRecordFmt>0</MRecordFmt></menu></q7>"
tones /host/ladder.wav
start --capture $ROOT/host/ladder.wav
expect say "Memory"
key RECORD
expect say "Recording start"
wait 2500
key LEFT
expect say "Recording end" within 5000
expect saying "-0.mp3"
expect recording /mnt/emmc/RECORD rate 22050 ch 1
hold POWER 2500
expect say "Power off"
expect exit 0 within 10000
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MRecordFmt>1</MRecordFmt><MExtInput>1</MExtInput></menu></q7>"
file /dev/mic_line "0\n"
start --capture $ROOT/host/ladder.wav
expect say "Memory"
key RECORD
expect say "Recording start"
wait 2500
key UP
expect say "Recording end" within 5000
expect saying "-1.mp3"
expect recording /mnt/emmc/RECORD rate 44100 ch 2
