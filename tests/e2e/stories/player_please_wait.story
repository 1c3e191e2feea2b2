# A long jump in a long recording first says "please wait", and so does
# opening it again where it was left; the listener hears both before the
# music goes on.
# The file is 70 minutes of 8-bit 8000 Hz mono: its header repeated.
# The player waits for the jump's prompt (about 3.5 s) before it answers
# a key, so BACK goes in near that prompt's end.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
mkdir /mnt/emmc/music
text latin-1 /mnt/emmc/music/long.wav "RIFF\x26\x02\x02\x02WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x40\x1f\x00\x00\x01\x00\x08\x00data\x02\x02\x02\x02" 765700
start
expect say "本机磁盘"
key OK
expect saying "music"
key OK
expect saying "long.wav"
key OK
wait 500
key MARK
expect say "添加书签"
key DOWN
expect say "跳转到分钟"
key OK
expect say "0"
key UP
key UP
key UP
key UP
key RIGHT
expect say "40"
key OK
expect say "正在跳转，需要等待较长时间"
expect heard 3000 within 5000
key BACK
expect saying "long.wav"
key OK
expect say "正在打开大文件，需要等待较长时间"
expect heard 1500
