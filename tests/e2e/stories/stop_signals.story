# SIGTERM and SIGHUP (and SIGINT, handled alike) switch the player off as the power key does:
# it says so, saves the settings and the open book's place, and ends with
# status 0; the next start reopens the book by itself.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><menu><MReadSpeed>20</MReadSpeed></menu></q7>"
mkdir /mnt/emmc/books
text utf-8 /mnt/emmc/books/book.txt "第{i}句话。" 100
start
expect say "本机磁盘"
key OK
expect saying "books"
key OK
expect saying "book.txt"
key OK
expect say "第2句话。"
signal TERM
expect say "正在关机"
expect exit 0
expect file /home/q7cfg.xml contains "<ContinueLastFile>2</ContinueLastFile>"
start
expect stdout "ContinueLastFile = 2"
expect saying "句话。"
key BACK
expect saying "book.txt"
signal HUP
expect say "正在关机"
expect exit 0
expect file /home/q7cfg.xml contains "<ContinueLastFile>0</ContinueLastFile>"
