# A Big5 book is read to its end; the reader asks whether to read the next
# one and goes on with the UTF-8 book after it in the folder. The book after
# that cannot be opened: the reader says so and closes, and the browser
# stands on the last book read. A finished book starts again at its
# beginning: the history lists both at page 1.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugEbook>1</CfgDebugEbook></config><menu><MReadSpeed>20</MReadSpeed></menu></q7>"
mkdir /mnt/emmc/books
text big5 /mnt/emmc/books/a_big5.txt "這是繁體書的第{i}句。" 3
text utf-8 /mnt/emmc/books/b_utf8.txt "简体书的第{i}句。\n" 3
file /mnt/emmc/books/c_broken.doc "not a document"
start
expect say "本机磁盘"
key OK
expect saying "books"
key OK
expect saying "a_big5.txt"
key OK
expect say "這是繁體書的第1句。"
expect say "這是繁體書的第2句。"
expect say "這是繁體書的第3句。"
expect say "是否朗读下一篇?"
key OK
expect say "开始朗读下一篇"
expect say "简体书的第1句。"
expect say "简体书的第2句。"
expect say "简体书的第3句。"
expect say "是否朗读下一篇?"
key OK
expect say "文件已损坏"
expect saying "b_utf8.txt"
key DOWN
expect saying "c_broken.doc"
key OK
expect say "文件已损坏"
key MARK
expect say "全部书签列表"
key MARK
expect say "最近听过的书和音频"
key RIGHT
expect say "最近听过的音频"
key RIGHT
expect say "最近听过的书"
key DOWN
expect say "a_big5.txt, 第1页"
key DOWN
expect say "b_utf8.txt, 第1页"
