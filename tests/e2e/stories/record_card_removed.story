# Recording to the memory card: pulling the USB disk changes nothing, pulling
# the card ends the recording at once (the browser, which was put on the new
# file, goes back to the device list) and the file holds everything up to
# the removal.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n/dev/mmcblk1p1 /mnt/sdcard vfat rw 0 0\n"
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MRecordFmt>2</MRecordFmt><MRecordDir>1</MRecordDir></menu></q7>"
tones /host/ladder.wav
start --capture $ROOT/host/ladder.wav
expect say "Memory"
key RECORD
expect say "Recording start"
wait 2000
hotplug usb_disk_out
expect nosay "Recording" within 1000
hotplug tf_card_out
expect say "Memory" within 3000
expect nosay "Recording end"
expect recording /mnt/sdcard/RECORD
