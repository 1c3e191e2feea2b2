# Scrolling a list: a key pressed while the name before it is still being
# spoken is answered at once. What the device still held of the old name is
# dropped, and the new name's first sample sounds before that would have
# ended; the cut-off name is not heard to its end.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file "/mnt/emmc/a long name for the first book on the shelf of this card.txt" ""
file "/mnt/emmc/b another long name for the second book on the shelf.txt" ""
file "/mnt/emmc/c the third book.txt" ""
start
expect say "本机磁盘"
key OK
expect saying "a long name for the first book"
wait 400
key DOWN
expect saying "b another long name"
expect cut
wait 300
key DOWN
expect saying "c the third book"
expect cut
