# Names written by another device in GBK or Big5 are heard as their text,
# in the list, in the copy mark and in the reader's position report, and
# the file opens by its own name. A send to a card too full for it ends on
# "Disk full", heard after the whole of its dialog's "Pasting", never
# before it or cutting it off.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n/dev/mmcblk1p1 /mnt/sdcard vfat rw 0 0\n"
file /home/q7cfg.xml "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
text gbk /mnt/emmc/读书笔记.txt "第一章。"
name gbk /mnt/emmc/读书笔记.txt
file /mnt/emmc/大書.txt "0123456789012345678901234567890123456789"
name big5 /mnt/emmc/大書.txt
file /proc/diskfree "/mnt/sdcard 20\n"
start
expect say "Memory"
key OK
expect next "大書.txt. 40byte"
key MENU
expect next "System functions"
key MENU
expect next "delete"
key DOWN
expect next "send to tf card"
key OK
expect say "Pasting"
expect heard 300
expect next "Disk full"
expect nosay "Pasting"
expect nofile /mnt/sdcard/*.txt
key DOWN
expect say "读书笔记.txt. 8byte"
key MENU
expect next "System functions"
key MENU
expect next "delete"
key DOWN
key DOWN
expect say "copy"
key OK
expect say "Copy: 读书笔记.txt"
key OK
expect saying "第一章"
key ESC
expect saying "读书笔记.txt, "
