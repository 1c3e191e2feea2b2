# Character set by hand: a Big5 text whose trail bytes look like GBK's is
# taken for GBK by the detector and read wrongly until the e-book menu's character set says
# Big5; the choice belongs to that book (another one still detects its
# own: a GB18030 text with four-byte characters is read whole) and comes
# back with it after a power cycle.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><menu><MReadSpeed>20</MReadSpeed><MToneSpeed>20</MToneSpeed></menu></q7>"
mkdir /mnt/emmc/books
text big5 /mnt/emmc/books/big5.txt "我們今天學習中文第{i}課。\n" 40
text gb18030 /mnt/emmc/books/rare.txt "㐀和䶵是罕见字第{i}句。\n" 40
start
expect say "本机磁盘"
key OK
expect saying "books"
key OK
expect saying "big5.txt"
key OK
expect nosay "我們" within 1500
key MENU
expect saying "朗读速度"
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect say "字符集, 自动"
key RIGHT
expect say "字符集, GBK/GB18030"
key RIGHT
expect say "字符集, Big5"
key OK
expect say "设置已完成"
expect saying "我們今天學習中文第"
key BACK
expect saying "big5.txt"
key DOWN
expect saying "rare.txt"
key OK
expect saying "㐀和䶵是罕见字"
key MENU
expect saying "字符集, 自动"
key BACK
key BACK
expect saying "rare.txt"
key UP
expect saying "big5.txt"
hold POWER 2500
expect say "正在关机"
expect exit 0 within 15000
start
expect saying "big5.txt"
key OK
expect saying "我們今天學習中文第"
