# A held arrow key steps once at the press, repeats for the first time after
# 1 s and then every 150 ms until it is released. (The files are numbered so
# that they come before the polyphone table on the card.)
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /mnt/emmc/1.txt ""
file /mnt/emmc/2.txt ""
file /mnt/emmc/3.txt ""
file /mnt/emmc/4.txt ""
file /mnt/emmc/5.txt ""
file /mnt/emmc/6.txt ""
file /mnt/emmc/7.txt ""
file /mnt/emmc/8.txt ""
start
expect say "本机磁盘"
key OK
expect say "1.txt. 0字节"
key DOWN
expect say "2.txt. 0字节"
# Released after 0.9 s: the press only.
hold DOWN 900
expect say "3.txt. 0字节"
expect nosay "4.txt. 0字节" within 1500
# Released after 1.375 s: the press, then repeats at 1.0, 1.15 and 1.3 s.
hold DOWN 1375
expect say "4.txt. 0字节"
expect say "5.txt. 0字节"
expect say "6.txt. 0字节"
expect say "7.txt. 0字节"
expect nosay "8.txt. 0字节" within 1000
# The LED lights while a key is down and goes out at its release.
expect file /dev/led contains "off"
