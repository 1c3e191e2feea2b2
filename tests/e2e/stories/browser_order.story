# A folder of mixed names is heard in the device's order: folders first,
# then files by the collation weights of /home: digits as whole numbers,
# then Latin letters without regard to case, then Chinese by pinyin. The
# expected order is written from those rules, not from the player's output;
# every rule (hyphens, numbers inside names, names equal but for case) is
# in the file browser's unit tests (NameOrder).
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /mnt/emmc/中文.txt ""
file /mnt/emmc/10.txt ""
file /mnt/emmc/A3.txt ""
file /mnt/emmc/2.txt ""
file /mnt/emmc/爸爸.txt ""
file /mnt/emmc/a2.txt ""
file /mnt/emmc/阿姨.txt ""
file /mnt/emmc/b.txt "bb"
mkdir /mnt/emmc/音乐
mkdir /mnt/emmc/Books
start
expect say "本机磁盘"
key OK
expect next "根目录. Books. 文件夹"
key DOWN
expect next "音乐. 文件夹"
key DOWN
expect next "2.txt. 0字节"
key DOWN
expect next "10.txt. 0字节"
key DOWN
expect next "a2.txt. 0字节"
key DOWN
expect next "A3.txt. 0字节"
key DOWN
expect next "b.txt. 2字节"
key DOWN
expect next "阿姨.txt. 0字节"
key DOWN
expect next "爸爸.txt. 0字节"
key DOWN
expect next "中文.txt. 0字节"
key DOWN
expect next "Books. 文件夹"
key UP
expect next "中文.txt. 0字节"
key ESC
expect next "根目录,中文.txt. 0字节, 当前第10个文件, 总共10个文件"
# Ten back and ten forward stop at the ends of the list.
key RIGHT
expect next "中文.txt. 0字节"
key LEFT
expect next "Books. 文件夹"
# Entering a folder and leaving it comes back to the folder's entry.
key DOWN
expect next "音乐. 文件夹"
key OK
expect next "空文件夹"
key BACK
expect next "根目录. 音乐. 文件夹"
