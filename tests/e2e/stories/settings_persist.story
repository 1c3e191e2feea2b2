# Settings changed in the menus survive a power cycle: they are written to
# the configuration file at shutdown and read back at start-up.
file /mnt/emmc/book.txt "text"
start
expect say "本机磁盘"
key MENU
expect next "系统功能"
key OK
expect next "恢复出厂设置"
key DOWN
expect next "恢复说明书"
key DOWN
expect next "系统提示音"
key OK
expect next "速度, 0"
key RIGHT
expect next "速度, 1"
key RIGHT
expect next "速度, 2"
key OK
expect next "设置已完成"
expect next "速度, 2"
key BACK
expect next "系统提示音"
key DOWN
expect next "语言设置, 中文"
key RIGHT
expect next "Language settings, english"
key OK
expect next "Setting done"
expect next "Language settings, english"
key BACK
expect next "System functions"
key BACK
expect next "Memory"
hold POWER 2500
expect say "Power off"
expect exit 0
expect file /home/q7cfg.xml contains "<MToneSpeed>2</MToneSpeed>"
expect file /home/q7cfg.xml contains "<MLanguageSetting>1</MLanguageSetting>"
start
expect say "Memory"
key MENU
expect next "System functions"
key OK
expect next "Factory settings"
key DOWN
expect next "Manual recovery"
key DOWN
expect next "System tone"
key OK
expect next "speed, 2"
