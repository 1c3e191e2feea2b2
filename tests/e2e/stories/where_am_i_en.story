# Where am I, in English: after the position ESC says what is left: the
# music player the time left in the file, the e-book reader the percent read
# and the reading time left at the voice's speed. The e-book menu ends with
# the sleep timer.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
mkdir /mnt/emmc/music
copy $SAMPLES/daisy202/mental_health/speechgen0008.mp3 /mnt/emmc/music/talk.mp3
text utf-8 /mnt/emmc/books/book.txt "Sentence number {i} of the book. " 400
start
expect say "Memory"
key OK
expect saying "books"
key OK
expect saying "book.txt"
key OK
expect say "Sentence number 1 of the book."
key OK
expect say "pause"
key ESC
expect say "book.txt, total 31 pages, current page 1, 0 percent read, reading time left about 13:0"
key MENU
expect say "Reading speed, 0"
key UP
expect say "Sleep timer, off"
key BACK
key BACK
expect saying "book.txt"
key BACK
expect saying "books"
key DOWN
expect saying "music"
key OK
expect saying "talk.mp3"
key OK
wait 300
key OK
expect say "pause"
key ESC
expect saying "talk.mp3, total time 6:7, current time 0:0, time left 6:"
