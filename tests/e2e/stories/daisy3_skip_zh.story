# A DAISY 3 book with page numbers, a note reference, a note, a sidebar and
# a producer's note (tests/data/daisy/make_skip_books.py): the DAISY menu
# sets each to be skipped; from the beginning they are no longer heard, a
# step back by sentence passes over them; the heading list speaks each
# heading with its level, BACK goes on where the reading was and OK jumps;
# after a power cycle the book still skips them.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><menu><MReadSpeed>20</MReadSpeed><MToneSpeed>20</MToneSpeed></menu></q7>"
copy tests/e2e/fixtures/daisy3_skip /mnt/emmc/daisy/river
start
expect say "本机磁盘"
key OK
expect saying "daisy"
key OK
expect saying "river"
key OK
expect say "River Book"
key OK
expect say "Chapter One"
expect say "Page 2"
key MENU
expect saying "朗读速度"
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect say "标题列表"
key DOWN
expect say "页码, 朗读"
key RIGHT
expect say "页码, 跳过"
key OK
expect say "设置已完成"
key MENU
expect say "页码, 跳过"
key DOWN
expect say "注释, 朗读"
key RIGHT
key OK
expect say "设置已完成"
key MENU
expect say "注释, 跳过"
key DOWN
expect say "边栏, 朗读"
key RIGHT
key OK
expect say "设置已完成"
key MENU
expect say "边栏, 跳过"
key DOWN
expect say "制作者注释, 朗读"
key RIGHT
key OK
expect say "设置已完成"
# From the beginning: none of them is heard.
key MENU
expect say "制作者注释, 跳过"
key UP
key UP
key UP
key UP
key UP
key UP
expect say "跳转到开头"
key OK
expect say "Chapter One"
expect next "The river starts in the hills."
expect next "It runs past the old mill."
expect next "At last the river reaches the sea."
expect next "A Smaller Stream"
# The heading list starts at the current heading; BACK reads on from there.
key MENU
expect say "跳转到开头"
key DOWN
key DOWN
expect say "标题列表"
key OK
expect next "二级标题, A Smaller Stream"
key UP
expect next "一级标题, Chapter One"
key UP
expect next "一级标题, Chapter One"
key BACK
expect saying "A Smaller Stream|A brook joins it from the east."
key MENU
expect say "标题列表"
key OK
key DOWN
expect say "一级标题, Chapter Two"
key OK
expect say "Chapter Two"
expect next "Boats wait in the harbour."
# A step back by sentence passes over the skipped structures.
key DOWN
expect say "句子"
key MENU
expect say "标题列表"
key OK
key UP
expect say "二级标题, A Smaller Stream"
key OK
expect say "A Smaller Stream"
key LEFT
expect say "At last the river reaches the sea."
key LEFT
expect say "It runs past the old mill."
expect nosay "Producer note" within 500
# Kept with the book across a power cycle.
key BACK
expect saying "River Book"
hold POWER 2500
expect say "正在关机"
expect exit 0 within 15000
start
expect saying "River Book"
key OK
key MENU
expect saying "朗读速度"
key UP
expect say "睡眠定时, 关"
key UP
expect say "制作者注释, 跳过"
key UP
expect say "边栏, 跳过"
key UP
expect say "注释, 跳过"
key UP
expect say "页码, 跳过"
key UP
key UP
key UP
expect say "跳转到开头"
key OK
expect say "Chapter One"
expect next "The river starts in the hills."
expect next "It runs past the old mill."
