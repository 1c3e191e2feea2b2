# A folder sent from the internal memory to the card arrives whole: every
# file with its content, folders inside folders, Chinese names included. A
# file copied and pasted into a folder of the card arrives there too, and a
# cut across the devices moves it.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n/dev/mmcblk1p1 /mnt/sdcard vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /mnt/emmc/books/a.txt "alpha"
file /mnt/emmc/books/sub/b.txt "beta"
file /mnt/emmc/books/sub/深/c.txt "gamma"
file /mnt/emmc/books/sub/深/空.txt ""
mkdir /mnt/emmc/books/empty
file /mnt/emmc/note.txt "a note"
mkdir /mnt/sdcard/inbox
start
expect say "本机磁盘"
key OK
expect next "根目录. books. 文件夹"
key MENU
expect next "系统功能"
key MENU
expect next "删除"
key DOWN
expect next "发送到TF卡"
key OK
expect say "正在复制目录..."
expect say "复制完成..."
expect file /mnt/sdcard/books/a.txt contains "alpha"
expect file /mnt/sdcard/books/sub/b.txt contains "beta"
expect file /mnt/sdcard/books/sub/深/c.txt contains "gamma"
expect file /mnt/sdcard/books/sub/深/空.txt
expect file /mnt/sdcard/books/empty
expect file /mnt/emmc/books/sub/深/c.txt contains "gamma"
# The card lists what arrived, once the browser speaks again.
expect say "books. 文件夹"
key BACK
expect say "本机磁盘"
key DOWN
expect next "TF卡"
key OK
expect next "根目录. books. 文件夹"
key OK
expect next "empty. 文件夹"
key DOWN
expect next "sub. 文件夹"
key DOWN
expect next "a.txt. 5字节"
# Copy and paste one file into a folder of the card.
key BACK
expect next "根目录. books. 文件夹"
key BACK
expect next "TF卡"
key UP
expect next "本机磁盘"
key OK
expect say "根目录. books. 文件夹"
key DOWN
expect next "note.txt. 6字节"
key MENU
expect next "系统功能"
key MENU
expect next "删除"
key DOWN
key DOWN
expect say "复制"
key OK
expect say "已设置复制标志：note.txt"
key BACK
expect say "本机磁盘"
key DOWN
key OK
expect say "根目录. books. 文件夹"
key DOWN
expect next "inbox. 文件夹"
key OK
expect next "空文件夹"
key MENU
expect next "系统功能"
key MENU
expect next "删除"
key DOWN
expect next "发送到内存"
key DOWN
key DOWN
key DOWN
expect say "粘贴"
key OK
expect say "正在粘贴文件..."
expect say "粘贴完成..."
expect say "note.txt. 6字节"
expect file /mnt/sdcard/inbox/note.txt contains "a note"
expect file /mnt/emmc/note.txt contains "a note"
