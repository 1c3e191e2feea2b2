# A held arrow key steps once at the press, repeats for the first time after
# 1 s and then every 150 ms until it is released.
file /mnt/emmc/a.txt ""
file /mnt/emmc/b.txt ""
file /mnt/emmc/c.txt ""
file /mnt/emmc/d.txt ""
file /mnt/emmc/e.txt ""
file /mnt/emmc/f.txt ""
file /mnt/emmc/g.txt ""
file /mnt/emmc/h.txt ""
start
expect say "a.txt"
key DOWN
expect say "b.txt"
# Released after 0.9 s: the press only.
hold DOWN 900
expect say "c.txt"
expect nosay "d.txt" within 1500
# Released after 1.375 s: the press, then repeats at 1.0, 1.15 and 1.3 s.
hold DOWN 1375
expect say "d.txt"
expect say "e.txt"
expect say "f.txt"
expect say "g.txt"
expect nosay "h.txt" within 1000
# The LED lights while a key is down and goes out at its release.
expect file /dev/led contains "off"
