# The DAISY 2.02 edition: the clips of the first minutes play as the SMIL
# files say, gapless within a file and exact across files; a heading step
# by level 1 lands on "Understanding Mental Illness" of the NCC.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel></config></q7>"
copy $SAMPLES/daisy202/mental_health /mnt/emmc/daisy/mh
start --audio wav
expect say "本机磁盘"
key OK
expect saying "daisy"
key OK
expect saying "mh"
key OK
expect saying "FOR THE FAMILY"
key OK
expect file /host/sound.log contains "daisy clip src=speechgen0001.mp3 begin=0 "
wait 9000
key UP
expect say "二级标题"
key UP
expect say "一级标题"
key RIGHT
expect file /host/sound.log contains "daisy clip src=speechgen0002.mp3 begin=0 end=3172"
wait 6000
expect clips /mnt/emmc/daisy/mh 3
