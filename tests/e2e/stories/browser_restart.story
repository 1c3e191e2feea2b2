# Where the listener was and the marks survive a power cycle: the browser
# comes back on the entry that was current, and the bookmark list holds the
# marks saved before, less the one deleted, names with "&" and "$" intact.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file "/mnt/emmc/music/a & b $1.mp3" ""
file /mnt/emmc/music/song.mp3 ""
file /mnt/emmc/books/story.txt "once"
file /home/q7cfg.xml "<?xml version=\"1.0\"?>\n<q7><bookmark>\n<mark><path>/mnt/emmc/music/a $2 b $51.mp3</path><title>a $2 b $51.mp3</title><type>0</type><value><time>400000000</time><timeoffset>61000</timeoffset><charoffset>0</charoffset></value><value><time>300000000</time><timeoffset>5000</timeoffset><charoffset>0</charoffset></value></mark>\n<mark><path>/mnt/emmc/books/story.txt</path><title>story.txt</title><type>2</type><value><time>200000000</time><timeoffset>0</timeoffset><charoffset>3</charoffset></value></mark>\n<mark><path>/mnt/emmc/music/song.mp3</path><title>song.mp3</title><type>1</type><value><time>100000000</time><timeoffset>125000</timeoffset><charoffset>0</charoffset></value></mark>\n</bookmark></q7>\n"
start
expect say "本机磁盘"
key OK
expect next "根目录. books. 文件夹"
key DOWN
expect next "music. 文件夹"
key OK
expect next "a & b $1.mp3. 0字节"
key DOWN
expect next "song.mp3. 0字节"
# The bookmark list: newest first, every category.
key MARK
expect next "全部书签列表"
expect next "a & b $1.mp3, 总共2个书签"
key DOWN
expect next "story.txt, 总共1个书签"
key OK
# E-book marks keep the page from 0 and speak it from 1.
expect next "书签1, 第4页"
key BACK
expect next "story.txt, 总共1个书签"
# Deleted after a confirmation.
key MENU
expect next "删除书签"
key OK
expect next "是否删除书签"
key OK
expect say "书签已删除"
expect say "a & b $1.mp3, 总共2个书签"
key DOWN
expect next "a & b $1.mp3, 总共2个书签"
key MARK
expect next "最近听过的书和音频"
expect next "song.mp3, 2分05秒"
key BACK
expect next "song.mp3. 0字节"
hold POWER 2500
expect say "正在关机"
expect exit 0
expect file /home/q7cfg.xml contains "<LastPath>/mnt/emmc/music/song.mp3</LastPath>"
expect file /home/q7cfg.xml contains "<path>/mnt/emmc/music/a $2 b $51.mp3</path>"
start
expect say "song.mp3. 0字节"
key MARK
expect next "全部书签列表"
expect next "a & b $1.mp3, 总共2个书签"
key DOWN
expect next "a & b $1.mp3, 总共2个书签"
key RIGHT
expect next "音频书签列表"
key RIGHT
expect next "电子书书签列表"
key ESC
expect next "没有书签"
key MARK
expect next "最近听过的书和音频"
expect next "song.mp3, 2分05秒"
