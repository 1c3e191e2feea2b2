# A folder moved onto a card without room for it is not moved at all: every
# file takes a whole cluster of the card, which the free bytes alone do not
# show. The user hears the card is full and the folder stays whole.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n/dev/mmcblk1p1 /mnt/sdcard vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
text utf-8 /mnt/emmc/books/a.txt "alpha"
text utf-8 /mnt/emmc/books/b.txt "beta"
text utf-8 /mnt/emmc/books/c.txt "gamma"
text utf-8 /mnt/emmc/books/d/e.txt "delta"
text utf-8 /mnt/emmc/books/d/f.txt "epsilon"
mkdir /mnt/sdcard/inbox
file /proc/diskfree "/mnt/sdcard 20000 4096\n"
start
expect say "本机磁盘"
key OK
expect next "根目录. books. 文件夹"
key MENU
expect next "系统功能"
key MENU
expect next "删除"
key DOWN
key DOWN
key DOWN
expect say "剪切"
key OK
expect say "已设置剪切标志：books"
key BACK
expect say "本机磁盘"
key DOWN
expect next "TF卡"
key OK
expect next "根目录. inbox. 文件夹"
key MENU
expect next "系统功能"
key MENU
expect next "删除"
key DOWN
key DOWN
key DOWN
key DOWN
expect say "粘贴"
key OK
expect say "磁盘已满..."
expect nofile /mnt/sdcard/books
expect nofile /mnt/sdcard/.books*
expect file /mnt/emmc/books/d/f.txt contains "epsilon"
expect file /mnt/emmc/books/a.txt contains "alpha"
expect nofile /home/copy.job
