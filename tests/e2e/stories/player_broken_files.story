# Broken files in a folder are named and passed over: the player goes on
# to the next file, and at the end of the folder the browser speaks again,
# standing on the file last played.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
mkdir /mnt/emmc/music
copy tests/data/audio/cbr.mp3 /mnt/emmc/music/1.mp3
file /mnt/emmc/music/2.mp3 "not a sound at all"
copy tests/data/audio/vorbis.ogg /mnt/emmc/music/3.ogg
start
expect say "本机磁盘"
key OK
expect saying "music"
key OK
expect saying "1.mp3"
key OK
expect say "文件已损坏"
expect saying "3.ogg"
