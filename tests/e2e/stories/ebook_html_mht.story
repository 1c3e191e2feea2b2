# An HTML page saved by pandoc and an MHT archive saved the way a browser
# does, opened from the file browser: the heading and the first sentences
# are read (nothing of the page's title, style or script), RIGHT steps a
# page, ESC says where the reading stands, and leaving and opening the
# page again resumes on the page it was left on.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugEbook>1</CfgDebugEbook></config><menu><MReadSpeed>20</MReadSpeed></menu></q7>"
mkdir /mnt/emmc/books
copy tests/data/ebook/html/pandoc_en.html /mnt/emmc/books/lighthouse.html
copy tests/data/ebook/html/browser_zh.mht /mnt/emmc/books/zh.mht
start
expect say "本机磁盘"
key OK
expect saying "books"
key OK
expect saying "lighthouse.html"
key OK
expect say "The Lighthouse Keeper"
expect say "The lighthouse stood on a narrow rock two miles from the harbour."
expect say "Every evening at sunset the keeper climbed the one hundred and twelve steps of the tower,"
key RIGHT
expect saying "On stormy nights the entries were short"
expect saying "heavy seas,"
key ESC
expect saying "lighthouse.html, 总共4页, 当前第2页"
key RIGHT
expect saying "The keeper signalled with his hand lamp"
key BACK
expect saying "lighthouse.html"
key OK
expect saying "The keeper signalled with his hand lamp"
key BACK
expect saying "lighthouse.html"
key DOWN
expect saying "zh.mht"
key OK
expect say "灯塔看守人"
expect say "灯塔立在离港口两英里的一块窄小礁石上。"
expect say "每天傍晚太阳落山时，"
key RIGHT
expect say "暴风雨的夜里，"
key ESC
expect saying "zh.mht, 总共4页, 当前第2页"
key RIGHT
expect say "天亮时，"
hold POWER 2500
expect say "正在关机"
expect exit 0 within 15000
start
expect say "天亮时，"
expect say "港口的救生艇赶到，"
