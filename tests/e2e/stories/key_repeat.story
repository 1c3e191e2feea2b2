# A held arrow key steps once at the press, repeats for the first time after
# 1 s and then every 150 ms until it is released.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /mnt/emmc/a.txt ""
file /mnt/emmc/b.txt ""
file /mnt/emmc/c.txt ""
file /mnt/emmc/d.txt ""
file /mnt/emmc/e.txt ""
file /mnt/emmc/f.txt ""
file /mnt/emmc/g.txt ""
file /mnt/emmc/h.txt ""
start
expect say "本机磁盘"
key OK
expect say "a.txt. 0字节"
key DOWN
expect say "b.txt. 0字节"
# Released after 0.9 s: the press only.
hold DOWN 900
expect say "c.txt. 0字节"
expect nosay "d.txt. 0字节" within 1500
# Released after 1.375 s: the press, then repeats at 1.0, 1.15 and 1.3 s.
hold DOWN 1375
expect say "d.txt. 0字节"
expect say "e.txt. 0字节"
expect say "f.txt. 0字节"
expect say "g.txt. 0字节"
expect nosay "h.txt. 0字节" within 1000
# The LED lights while a key is down and goes out at its release.
expect file /dev/led contains "off"
