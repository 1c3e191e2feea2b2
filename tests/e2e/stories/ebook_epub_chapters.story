# EPUB books: a broken one says why it does not open; the Waste Land of
# the samples (DTBook inside, an NCX) is read from its start; with the EPUB
# unit set to chapter in the reader's menu, RIGHT and LEFT go from chapter
# to chapter, ESC names the book by its title and author and the chapter by
# its number and label; a bookmark set inside a chapter brings the reading
# back to its sentence, and the history after a power cycle back into the
# chapter.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugEbook>1</CfgDebugEbook></config><menu><MReadSpeed>20</MReadSpeed></menu></q7>"
mkdir /mnt/emmc/books
copy $SAMPLES/epub/wasteland.epub /mnt/emmc/books/wasteland.epub
file /mnt/emmc/books/broken.epub "PK this is no zip"
start
expect say "本机磁盘"
key OK
expect saying "books"
key OK
expect saying "broken.epub"
key OK
expect say "文件不是有效的EPUB书籍"
expect say "无法打开文件"
key DOWN
expect saying "wasteland.epub"
key OK
expect say "The Waste Land"
key MENU
expect saying "朗读速度"
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect saying "电子书翻页单位, 页"
key RIGHT
expect say "电子书翻页单位, 章节"
key OK
expect say "设置已完成"
key RIGHT
expect say "I."
key ESC
expect saying "The Waste Land, Eliot, T. S., 总共10章, 当前第1章, I. THE BURIAL OF THE DEAD"
key RIGHT
expect say "II."
key ESC
expect saying "The Waste Land, Eliot, T. S., 总共10章, 当前第2章, II. A GAME OF CHESS"
key LEFT
expect say "I."
key RIGHT
expect say "II."
# Sentence by sentence inside the chapter, then a bookmark there.
key DOWN
expect say "100等份"
key DOWN
expect say "10等份"
key DOWN
expect say "逐句"
key RIGHT
expect say "A GAME OF CHESS"
key RIGHT
expect say "The Chair she sat in,"
key MARK
expect say "添加书签"
key OK
expect saying "已增加书签1, "
key BACK
expect saying "wasteland.epub"
key MARK
expect say "全部书签列表"
expect say "wasteland.epub, 总共1个书签"
key OK
expect saying "书签1, "
key OK
expect say "The Chair she sat in,"
# Back to the page unit (turning by chapter), reading on; after a power
# cycle the reading is still in chapter II.
key UP
expect say "10等份"
key UP
expect say "100等份"
key UP
expect say "页"
hold POWER 2500
expect say "正在关机"
expect exit 0 within 15000
start
expect saying "wasteland.epub"
key ESC
expect saying "The Waste Land, Eliot, T. S., 总共10章, 当前第2章, II. A GAME OF CHESS"
