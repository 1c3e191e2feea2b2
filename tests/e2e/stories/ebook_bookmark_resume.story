# A UTF-16 book: a bookmark set on the second page is announced with the
# page counted from 1 and found again through the bookmark list, which
# opens the book at the bookmarked sentence. Stepping sentence by sentence
# and switching the device off, the next start reopens the book by itself
# at the same sentence; the history lists the page from 1.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugEbook>1</CfgDebugEbook></config><menu><MReadSpeed>20</MReadSpeed></menu></q7>"
mkdir /mnt/emmc/books
text utf-16 /mnt/emmc/books/utf16.txt "第{i}句话。" 100
start
expect say "本机磁盘"
key OK
expect saying "books"
key OK
expect saying "utf16.txt"
key OK
expect say "第1句话。"
expect say "第2句话。"
key RIGHT
expect say "第44句话。"
key MARK
expect say "添加书签"
key OK
expect say "已增加书签1, 第2页"
key BACK
expect saying "utf16.txt"
key MARK
expect say "全部书签列表"
expect say "utf16.txt, 总共1个书签"
key OK
expect say "书签1, 第2页"
key OK
expect say "第44句话。"
# Sentence by sentence, two steps on; then the power goes off.
key DOWN
expect say "100等份"
key DOWN
expect say "10等份"
key DOWN
expect say "逐句"
key RIGHT
expect say "第45句话。"
key RIGHT
expect say "第46句话。"
key ESC
expect saying "utf16.txt, 总共100句, 当前第46句"
hold POWER 2500
expect say "正在关机"
expect exit 0
expect file /home/q7cfg.xml contains "<ContinueLastFile>2</ContinueLastFile>"
start
expect stdout "ContinueLastFile = 2"
expect say "第46句话。"
expect say "第47句话。"
key BACK
expect saying "utf16.txt"
key MARK
expect say "全部书签列表"
key MARK
expect say "最近听过的书和音频"
expect say "utf16.txt, 第2页"
