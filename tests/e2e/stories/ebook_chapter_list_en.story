# The chapter list of an EPUB book in the e-book menu, with English
# prompts: it opens on the chapter being read, UP and DOWN speak each
# chapter's number and title, OK reads from the chosen chapter's start and
# BACK goes on reading where the reading was. A text book's menu offers the
# character sets instead, by their English names.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MReadSpeed>20</MReadSpeed><MToneSpeed>20</MToneSpeed></menu></q7>"
mkdir /mnt/emmc/books
copy $SAMPLES/epub/wasteland.epub /mnt/emmc/books/wasteland.epub
text utf-8 /mnt/emmc/books/xnotes.txt "Plain notes, line {i}.\n" 40
start
expect saying "Memory"
key OK
expect saying "books"
key OK
expect saying "wasteland.epub"
key OK
expect say "The Waste Land"
key MENU
expect saying "Reading speed"
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect say "chapter list"
key OK
expect next "chapter 1, I. THE BURIAL OF THE DEAD"
key UP
expect next "chapter 1, I. THE BURIAL OF THE DEAD"
key DOWN
expect next "chapter 2, II. A GAME OF CHESS"
key DOWN
expect next "chapter 3, III. THE FIRE SERMON"
key OK
expect say "III."
key MENU
expect say "chapter list"
key OK
expect next "chapter 3, III. THE FIRE SERMON"
key UP
expect next "chapter 2, II. A GAME OF CHESS"
key BACK
expect saying "THE FIRE SERMON|The river"
expect nosay "II." within 1000
key BACK
expect saying "wasteland.epub"
key DOWN
expect saying "xnotes.txt"
key OK
expect saying "line 1."
# The menu opens where it was left: past the chapter list, which a text
# book does not show.
key MENU
expect say "character set, automatic"
key LEFT
expect say "character set, UTF-16BE"
key LEFT
expect say "character set, UTF-16LE"
key LEFT
expect say "character set, UTF-8"
key OK
expect say "Setting done"
expect saying "line"
