# A Word 97 .doc (written by LibreOffice) from the file browser with
# English prompts: the first sentences are read, a page step lands on the
# next page, ESC says where the reading stands, a bookmark is added and
# found again, and after switching off the next start reopens the book on
# the same page. An encrypted document is refused as protected.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugEbook>1</CfgDebugEbook></config><menu><MLanguageSetting>1</MLanguageSetting><MReadSpeed>20</MReadSpeed></menu></q7>"
mkdir /mnt/emmc/word
copy tests/data/word/en-libreoffice.doc /mnt/emmc/word/river.doc
copy tests/data/word/locked.doc /mnt/emmc/word/secret.doc
start
expect say "Memory"
key OK
expect saying "word"
key OK
expect saying "river.doc"
key OK
expect say "A Walk by the River"
expect say "The river was high that morning,"
key RIGHT
expect say "tea €1.80."
key ESC
expect saying "river.doc, total 12 pages, current page 2"
key MARK
expect say "Add book mark"
key OK
expect say "add book mark1, page 2"
key BACK
expect saying "river.doc"
key DOWN
expect saying "secret.doc"
key OK
expect say "this document is protected"
key UP
expect saying "river.doc"
key OK
key ESC
expect saying "river.doc, total 12 pages, current page 2"
hold POWER 2500
expect say "Power off"
expect exit 0
start
expect stdout "ContinueLastFile = 2"
key ESC
expect saying "river.doc, total 12 pages, current page 2"
