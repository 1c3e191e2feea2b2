# The key describer of the system menu, in English and then in Chinese:
# each key says its name and what it does on the screen the menu was opened
# from (the file browser) instead of acting; MENU ends it, and the keys act
# again.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
file /mnt/emmc/a.txt "text"
start
expect say "Memory"
key MENU
expect say "System functions"
key OK
expect say "Factory settings"
key UP
expect say "Key describer"
key OK
expect say "Key describer: press a key to hear what it does, MENU to leave"
key UP
expect say "UP: previous file"
key OK
expect say "OK: open the file or folder"
key ESC
expect say "ESC: about the file; again: time, date and battery"
key MARK
expect say "MARK: bookmarks"
key MENU
expect say "Key describer off"
key UP
expect say "Format"
hold POWER 2500
expect say "Power off"
expect exit 0
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>0</MLanguageSetting></menu></q7>"
start
expect say "本机磁盘"
key MENU
expect say "系统功能"
key OK
key UP
expect say "按键说明"
key OK
expect say "按键说明：按任意键听它的作用，按菜单键退出"
key DOWN
expect say "下键: 下一个文件"
key BACK
expect say "返回键: 回到上一级文件夹"
key MENU
expect say "按键说明已关闭"
