# Where am I, in Chinese: ESC in a DAISY book says its summary and then
# what is left of the section and of the book, from the SMIL durations; the
# book's menu ends with the sleep timer.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
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
wait 500
key OK
key ESC
expect saying "格式：, Daisy 2.02, 本节剩余0分2"
key MENU
expect saying "朗读速度"
key UP
expect say "睡眠定时, 关"
