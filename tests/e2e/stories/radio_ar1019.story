# The radio on an AR1019, whose band starts at 87.5 MHz: FM speaks that
# floor and manual LEFT from it the top; auto search finds the stations and
# stands on the last; UP/DOWN wrap; RECORD records the station's sound
# through the recording screen; BACK saves and powers the chip down; a
# restart finds the stations; another chip's station file starts an empty
# list and is kept aside, and a damaged one is said so and kept aside too.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MStepMode>1</MStepMode><MRecordFmt>2</MRecordFmt></menu></q7>"
file /host/tuner "chip ar1019\nstation 93500 40 /host/ladder.wav\nstation 88100 25\nstation 107900 30\n"
tones /host/ladder.wav
start
expect say "Memory"
key FM
expect say "87.5MHz"
key LEFT
expect say "108.0MHz"
key MENU
expect say "Add Channel"
key DOWN
key DOWN
expect saying "Auto searching"
key OK
expect say "searching..."
expect say "Done"
expect say "107.9MHz"
key DOWN
expect say "88.1MHz"
key DOWN
expect say "93.5MHz"
key RECORD
expect say "Recording start"
wait 2000
key BACK
expect say "Recording end" within 5000
expect recording /mnt/emmc/RECORD rate 44100 ch 2
expect say "93.5MHz"
key BACK
expect saying "-0.wav"
expect file /host/tuner.log contains "power down"
hold POWER 2500
expect say "Power off"
expect exit 0
start
expect saying "-0.wav"
key FM
expect say "93.5MHz"
key UP
expect say "88.1MHz"
key UP
expect say "107.9MHz"
key BACK
expect saying "-0.wav"
file /host/tuner "chip rda5807\nstation 93500 40\n"
key FM
expect say "87.0MHz"
key DOWN
expect say "87.0MHz"
expect file /home/radio.xml.bad contains "<chip>ar1019</chip>"
key BACK
expect saying "-0.wav"
file /home/radio.xml "<radio_station><chip>rda5807</chip><band><stat"
key FM
expect say "Station list damaged"
expect say "87.0MHz"
expect file /home/radio.xml.bad.1 contains "<band><stat"
expect file /home/radio.xml.bad contains "<chip>ar1019</chip>"
