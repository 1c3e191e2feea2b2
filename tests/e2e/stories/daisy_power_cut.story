# A DAISY book keeps its place while it plays, not only when it is left:
# the power cut eight seconds in, the next start reopens the book by itself
# at the phrase that was playing, not at its start.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel></config></q7>"
copy $SAMPLES/daisy202/dontworrybehappy /mnt/emmc/daisy/dwbh
start
expect say "本机磁盘"
key OK
expect saying "daisy"
key OK
expect saying "dwbh"
key OK
expect say "Don't Worry, Be Happy Lyrics"
key OK
expect file /host/sound.log contains "daisy clip src=speechgen0001.mp3 begin=0 end=2658"
wait 8000
expect file /home/q7cfg.xml contains "<ContinueLastFile>3</ContinueLastFile>"
expect file /home/q70.log contains "Daisy history"
kill
start
expect stdout "ContinueLastFile = 3"
expect file /home/q70.log contains "Daisy resume"
