# A DAISY 3 audio book: the clips play as the SMIL files say (gapless
# within a file), the menu pauses the clip and it goes on where it was when
# the menu closes, and a heading step lands on the next heading of the NCX.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel></config></q7>"
copy $SAMPLES/daisy3/mental_health /mnt/emmc/daisy/mh3
start --audio wav
expect say "本机磁盘"
key OK
expect saying "daisy"
key OK
expect saying "mh3"
key OK
expect saying "FOR THE FAMILY"
key OK
expect file /host/sound.log contains "daisy clip src=speechgen0001.mp3 begin=0 "
wait 2500
key MENU
expect saying "朗读速度"
wait 1000
key BACK
wait 4000
key UP
expect say "二级标题"
key UP
expect say "一级标题"
key RIGHT
expect file /host/sound.log contains "daisy clip src=speechgen0002.mp3 begin=0 end=3172"
wait 8000
expect clips /mnt/emmc/daisy/mh3 3
