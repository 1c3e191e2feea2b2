# Formatting the internal memory needs up, down, left and right after the
# warning; the board's shell gets the format commands. A key out of order
# cancels without formatting.
file /mnt/emmc/book.txt "text"
start
expect say "本机磁盘"
key MENU
expect next "系统功能"
key OK
expect next "恢复出厂设置"
key UP
expect next "按键说明"
key UP
expect next "格式化"
key OK
expect next "格式化内存卡"
key OK
expect say "警告! 格式化将删除卡里所有资料, 请输入上下左右进行确认"
expect next "警告! 格式化将删除卡里所有资料, 请输入上下左右进行确认"
key UP
expect next "上"
key UP
expect next "上"
key DOWN
expect next "下"
key LEFT
expect next "左"
key RIGHT
expect next "右"
expect next "格式化中, 请稍候"
expect next "格式化已完成"
expect next "格式化内存卡"
expect command "umount /mnt/emmc"
expect command "/home/mkfs.vfat /dev/mmcblk0p3"
expect command "mount /dev/mmcblk0p3  /mnt/emmc"
key OK
expect say "警告! 格式化将删除卡里所有资料, 请输入上下左右进行确认"
expect next "警告! 格式化将删除卡里所有资料, 请输入上下左右进行确认"
key UP
expect next "上"
key LEFT
expect next "输入错误, 取消格式化"
expect next "格式化内存卡"
key BACK
expect next "格式化"
key BACK
expect next "系统功能"
key BACK
expect next "本机磁盘"
