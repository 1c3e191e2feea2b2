# A GBK book from the file browser is read aloud sentence by sentence, and
# every unit of the reader moves where it should: UP and DOWN name the
# unit, LEFT and RIGHT move by it, ESC says where the reading stands (pages
# and sentences counted from 1). The book has 300 paragraphs of three
# sentences, 24 pages; a prompt holds the reading voice, so a key pressed
# right after one acts on the sentence being read.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugEbook>1</CfgDebugEbook></config><menu><MReadSpeed>20</MReadSpeed></menu></q7>"
mkdir /mnt/emmc/books
text gbk /mnt/emmc/books/gbk.txt "第{i}段第一句。第二句，第三句！\r\n" 300
start
expect say "本机磁盘"
key OK
expect saying "books"
key OK
expect saying "gbk.txt"
key OK
expect say "第1段第一句。"
expect heard 100
expect say "第二句，"
expect say "第三句！"
expect say "第2段第一句。"
# The unit is a page: the next page starts with paragraph 14.
key RIGHT
expect say "第14段第一句。"
key ESC
expect saying "gbk.txt, 总共24页, 当前第2页"
# 1 % of a book of 100 pages or fewer is one page.
key DOWN
expect say "100等份"
key RIGHT
expect say "第三句！"
key ESC
expect saying "gbk.txt, 总共24页, 当前第3页"
# 10 % of 24 pages is two pages.
key DOWN
expect say "10等份"
key RIGHT
expect say "第52段第一句。"
key ESC
expect saying "gbk.txt, 总共24页, 当前第5页"
# Sentence by sentence: one sentence, then the reading waits.
key DOWN
expect say "逐句"
key RIGHT
expect say "第二句，"
expect nosay "句" within 1500
key ESC
expect saying "gbk.txt, 总共900句, 当前第155句"
# Letter by letter, Chinese characters with example words.
key DOWN
expect say "逐字"
key RIGHT
expect say ", 第一的第, 第二的第, 第三的第"
key RIGHT
expect say ", 第二的二, 二是的二, 二十的二"
key LEFT
expect say ", 第一的第, 第二的第, 第三的第"
key ESC
expect saying "gbk.txt, 总共24页, 当前第5页"
# Sentence: reading goes on; LEFT goes one sentence back.
key DOWN
expect say "句子"
expect say "第二句，"
key LEFT
expect say "第52段第一句。"
# Paragraph: RIGHT goes to the next one's first sentence.
key DOWN
expect say "段落"
key RIGHT
expect say "第53段第一句。"
key ESC
expect saying "gbk.txt, 总共300段, 当前第53段"
key LEFT
expect say "第52段第一句。"
# Go to page 20 from the menu: the input box starts at the current page.
key MENU
expect say "朗读速度, 20"
key UP
expect say "睡眠定时, 关"
key UP
expect say "字符集, 自动"
key UP
expect say "跳转到百分比"
key UP
expect say "跳转到页"
key OK
expect say "5"
key DOWN
expect say "4"
key DOWN
expect say "3"
key DOWN
expect say "2"
key RIGHT
expect say "20"
key OK
expect say "第238段第一句。"
key ESC
expect saying "gbk.txt, 总共300段, 当前第238段"
key BACK
expect saying "gbk.txt"
