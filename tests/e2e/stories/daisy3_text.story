# A text-only DAISY 3 book is read by the reading voice, sentence by
# sentence; its steps are the level, page and sentence (no time steps), a
# page step and a heading step land where the NCX says, and the end of the
# book is said once.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
copy tests/e2e/fixtures/daisy3_text /mnt/emmc/daisy/garden
start
expect say "本机磁盘"
key OK
expect saying "daisy"
key OK
expect saying "garden"
key OK
expect say "Garden Notes"
key OK
expect say "Spring planting"
expect say "Seeds go into warm soil."
# Spoken by the book's own reading voice, onto the device.
expect heard 500
expect file /host/transcript.txt contains "DAISY_TTS"
# The step is "page" (the book has pages): on to page 2.
key RIGHT
expect say "Water them every morning."
key DOWN
expect say "句子"
# No time steps in a book without audio: round to level 1.
key DOWN
expect say "一级标题"
key RIGHT
expect say "Summer care"
expect say "Pull the weeds by hand."
expect say "Harvest the beans when green."
expect say "已到文件结尾" within 6000
expect nosay "已到文件结尾" within 1500
key RIGHT
expect nosay "Summer care" within 1000
key ESC
expect say "书名：, Garden Notes, 作者：, Test Writer, "
