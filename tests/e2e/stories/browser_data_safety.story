# File commands never lose a file: pasting into the folder that holds the
# file keeps it; a file of the same name on the other side is not replaced;
# a card too full for the copy gets nothing, not half a file; a name with
# quotes, blanks and shell characters is moved as it is and runs nothing.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n/dev/mmcblk1p1 /mnt/sdcard vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file "/mnt/emmc/docs/it's \"mine\" $(touch x).txt" "precious"
file /mnt/emmc/docs/note.txt "internal version"
file /mnt/emmc/docs/big.bin "0123456789012345678901234567890123456789"
file /mnt/sdcard/note.txt "card version"
mkdir /mnt/emmc/moved
file /proc/diskfree "/mnt/sdcard 20\n"
start
expect say "本机磁盘"
key OK
expect next "根目录. docs. 文件夹"
key OK
expect next "big.bin. 40字节"
# Too big for the card: the disk-full message and no file there.
key MENU
expect next "系统功能"
key MENU
expect next "删除"
key DOWN
expect next "发送到TF卡"
key OK
expect say "磁盘已满..."
expect nofile /mnt/sdcard/big.bin
expect say "big.bin. 40字节"
# The card has its own note.txt: sending ours is refused, theirs stays.
key DOWN
expect say "it's \"mine\" $(touch x).txt. 8字节"
key DOWN
expect next "note.txt. 16字节"
key MENU
expect next "系统功能"
key MENU
expect next "删除"
key DOWN
expect next "发送到TF卡"
key OK
expect say "操作失败..."
expect file /mnt/sdcard/note.txt contains "card version"
# A refused command leaves the menu open where it was.
expect next "发送到TF卡"
key BACK
expect next "note.txt. 16字节"
# Copied and pasted into its own folder: refused, the file as it was.
key UP
expect say "it's \"mine\" $(touch x).txt. 8字节"
key MENU
expect next "系统功能"
key MENU
expect next "删除"
key DOWN
key DOWN
expect say "复制"
key OK
expect say "已设置复制标志：it's \"mine\" $(touch x).txt"
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
expect say "操作失败..."
expect file "/mnt/emmc/docs/it's \"mine\" $(touch x).txt" contains "precious"
expect next "粘贴"
key BACK
expect next "it's \"mine\" $(touch x).txt. 8字节"
# Cut and pasted into another folder of the same memory: one quoted mv.
key MENU
expect next "系统功能"
key MENU
expect next "删除"
key DOWN
key DOWN
key DOWN
expect say "剪切"
key OK
expect say "已设置剪切标志：it's \"mine\" $(touch x).txt"
key BACK
expect say "根目录. docs. 文件夹"
key DOWN
expect next "moved. 文件夹"
key OK
expect next "空文件夹"
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
expect say "粘贴完成..."
expect command "mv '/mnt/emmc/docs/it'\\''s \"mine\" $(touch x).txt'  '/mnt/emmc/moved'"
expect file "/mnt/emmc/moved/it's \"mine\" $(touch x).txt" contains "precious"
expect nofile "/mnt/emmc/docs/it's \"mine\" $(touch x).txt"
expect nofile /x
expect nofile /mnt/emmc/moved/x
