# A DAISY 2.02 audio book from the browser: its clips play one after the
# other, gapless within a file and on the exact sample after a change of
# file (a footnote in another file), the publication summary pre-empts a
# clip which then goes on, a heading step lands on the NCC's next heading,
# and BACK then OK resumes inside the clip that was playing.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel></config></q7>"
copy $SAMPLES/daisy202/dontworrybehappy /mnt/emmc/daisy/dwbh
start --audio wav
expect say "本机磁盘"
key OK
expect saying "daisy"
key OK
expect saying "dwbh"
key OK
expect say "Don't Worry, Be Happy Lyrics"
key OK
expect file /host/sound.log contains "daisy clip src=speechgen0001.mp3 begin=0 end=2658"
expect file /host/sound.log contains "daisy clip src=speechgen0001.mp3 begin=2658 end=6163" within 6000
# The summary is a prompt: it takes the device from the clip.
key ESC
expect saying "总时间, 3分02秒, 作者：, Bobby McFerrin, 出版：, Ferrin press, 录音：, Inläst med talsyntes., 出版日期：, 2007-05-21, 格式：, Daisy 2.02, "
expect file /host/sound.log contains "daisy clip src=speechgen0001.mp3 begin=6163 end=8497" within 40000
wait 1000
# Sentence is the step of a book without pages; two steps up: level 1.
key UP
expect say "二级标题"
key UP
expect say "一级标题"
key RIGHT
expect file /host/sound.log contains "daisy clip src=speechgen0002.mp3 begin=0 end=2197"
# The note's clip lies in another file; then back into the first.
expect file /host/sound.log contains "daisy clip src=speechgen0007.mp3 begin=1629 end=11237" within 12000
wait 4000
key BACK
expect file /home/q70.log contains "Daisy history 1 16 offset="
expect say "Don't Worry, Be Happy Lyrics"
key OK
expect file /home/q70.log contains "Daisy resume 1 16 offset="
expect file /host/sound.log contains "daisy clip src=speechgen0002.mp3 begin=7592 end=8795" within 12000
wait 1500
expect clips /mnt/emmc/daisy/dwbh 8
