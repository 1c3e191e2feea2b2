# English prompts on a DAISY 2.02 audio book whose page numbers and notes
# are marked by class (tests/data/daisy/make_skip_books.py): the page
# number's clip plays until the DAISY menu says to skip page numbers; the
# heading list names each heading by its level and text, and OK plays from
# the chosen one on, the page number of that part no longer played while
# the sidebar still is; the choices stay with the book after a power cycle.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MToneSpeed>20</MToneSpeed></menu></q7>"
copy tests/e2e/fixtures/daisy202_skip /mnt/emmc/daisy/garden
start
expect saying "Memory"
key OK
expect saying "daisy"
key OK
expect saying "garden"
key OK
expect say "Small Garden"
key OK
expect file /host/sound.log contains "daisy clip src=intro.mp3 begin=400 end=800"
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
expect say "heading list"
key DOWN
expect say "page numbers, read"
key RIGHT
expect say "page numbers, skip"
key OK
expect say "Setting done"
key MENU
expect say "page numbers, skip"
key DOWN
expect say "notes, read"
key RIGHT
expect say "notes, skip"
key OK
expect say "Setting done"
key MENU
expect say "notes, skip"
key UP
key UP
expect say "heading list"
key OK
expect saying "level 1, Introduction"
key DOWN
expect next "level 1, The Garden"
key DOWN
expect next "level 2, Roses"
key UP
expect next "level 1, The Garden"
key OK
expect file /host/sound.log contains "daisy clip src=garden.mp3 begin=0 end=400"
expect file /host/sound.log contains "daisy clip src=garden.mp3 begin=2000 end=2400" within 5000
expect file /host/sound.log contains "daisy clip src=garden.mp3 begin=800 end=1200"
expect file /host/sound.log lacks "daisy clip src=garden.mp3 begin=1600 end=2000"
hold POWER 2500
expect say "Power off"
expect exit 0 within 15000
start
expect saying "Small Garden"
key OK
key MENU
expect saying "Reading speed"
key UP
key UP
key UP
key UP
expect say "notes, skip"
key UP
expect say "page numbers, skip"
