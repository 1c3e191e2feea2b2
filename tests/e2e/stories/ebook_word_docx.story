# A .docx (written by pandoc, never paged by its writer) from the file
# browser: the first sentences are read, a page step lands on the next
# page of 400-500 bytes, ESC says where the reading stands, a bookmark is
# added and found again, and leaving and reopening the book resumes on the
# same page. A package cut short is refused as a damaged file.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugEbook>1</CfgDebugEbook></config><menu><MReadSpeed>20</MReadSpeed></menu></q7>"
mkdir /mnt/emmc/word
copy tests/data/word/zh-pandoc.docx /mnt/emmc/word/river.docx
file /mnt/emmc/word/torn.docx "PK cut short"
start
expect say "本机磁盘"
key OK
expect saying "word"
key OK
expect saying "river.docx"
key OK
expect say "河边散步"
expect say "那天早上河水很高，"
key RIGHT
expect say "河水从古老的石桥下流过，"
key ESC
expect saying "river.docx, 总共6页, 当前第2页"
key MARK
expect say "添加书签"
key OK
expect say "已增加书签1, 第2页"
key BACK
expect saying "river.docx"
key DOWN
expect saying "torn.docx"
key OK
expect say "文件已损坏"
key UP
expect saying "river.docx"
key OK
key ESC
expect saying "river.docx, 总共6页, 当前第2页"
key BACK
expect saying "river.docx"
key MARK
expect say "全部书签列表"
expect say "river.docx, 总共1个书签"
key OK
expect say "书签1, 第2页"
key OK
expect say "河水从古老的石桥下流过，"
