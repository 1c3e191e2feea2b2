# RECORD speaks why it cannot record and records nothing: the card chosen
# in the settings is not there; the internal storage is full. A card that
# fills up while recording ends the recording, says so, and keeps the file.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MRecordFmt>2</MRecordFmt><MRecordDir>1</MRecordDir></menu></q7>"
start
expect say "Memory"
key RECORD
expect say "No tf card"
expect nosay "Recording start"
expect nofile /mnt/sdcard/RECORD
hold POWER 2500
expect say "Power off"
expect exit 0 within 10000
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MRecordFmt>2</MRecordFmt><MRecordDir>0</MRecordDir></menu></q7>"
file /proc/diskfree "/mnt/emmc 4096\n"
start
expect say "Memory"
key RECORD
expect say "Disk full"
expect nosay "Recording start"
expect nofile /mnt/emmc/RECORD
file /proc/diskfree "/mnt/emmc 100000000\n"
key RECORD
expect say "Recording start"
wait 2000
file /proc/diskfree "/mnt/emmc 4096\n"
expect say "Disk full" within 3000
expect say "Recording end" within 3000
expect saying ".wav"
