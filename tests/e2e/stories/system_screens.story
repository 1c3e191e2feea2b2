# The system menu's own screens on a v2.0 board with a TF card slot: the
# device information item by item, the storage figures of this machine's
# disk with no card, and the clock set to 2031-02-28 23:59, which the ESC
# time then speaks and the daily 07:00 alarm follows into March; the
# recording folder names the card "TF" too.
date 2024-04-08 06:00:10
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
file /home/q7alm.xml "<q7_alarm><alarm_time><year>2024</year><month>4</month><day>8</day></alarm_time><alarm><id>4</id><mode>1</mode><hours>7</hours><minutes>0</minutes><delay>1</delay><yy>0</yy><mm>0</mm><dd>0</dd><flag>127</flag><enable>1</enable><repeat_count>1</repeat_count><repeat_delay>1</repeat_delay><counter>0</counter><val>0</val></alarm></q7_alarm>"
start
expect say "本机磁盘" within 15000
key MENU
expect say "系统功能"
key OK
expect say "恢复出厂设置"
key DOWN
key DOWN
key DOWN
key DOWN
expect say "系统信息"
key OK
expect say "序列号：abcd123456, 出厂日期：2024年3月15日, 系统版本：V1.0, V1.1, 软件版本：V5.8, 软件日期：2024年11月13日, 11点20分12秒"
key DOWN
key DOWN
expect say "出厂日期：2024年3月15日, 系统版本：V1.0, V1.1, 软件版本：V5.8, 软件日期：2024年11月13日, 11点20分12秒"
key DOWN
key DOWN
key DOWN
expect say "软件日期：2024年11月13日, 11点20分12秒"
key UP
expect say "软件版本：V5.8, 软件日期：2024年11月13日, 11点20分12秒"
key OK
expect say "系统信息"
key DOWN
expect say "存储器信息"
key OK
expect saying "内存容量："
key DOWN
expect say "没有TF卡, "
key BACK
expect say "存储器信息"
key BACK
expect say "系统功能"
key DOWN
expect say "时间设置"
key OK
expect say "闹钟"
key DOWN
key DOWN
key DOWN
key DOWN
expect say "系统时间设置"
key OK
expect say "2024年"
key UP
key UP
key UP
key UP
key UP
key UP
key UP
expect say "2031年"
key RIGHT
key DOWN
key DOWN
expect say "2月"
key RIGHT
expect say "8日"
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect say "28日"
key RIGHT
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect say "23点"
key RIGHT
key DOWN
expect say "59分"
key OK
expect say "设置已完成"
expect say "系统时间设置"
expect command "hwclock -w"
key ESC
key ESC
expect say "现在时间: 23点59分, 星期5, 2031年2月28日"
key BACK
expect say "时间设置"
key DOWN
expect say "录音设置"
key OK
key DOWN
key DOWN
key DOWN
key DOWN
expect say "录音文件夹, 本机磁盘"
key RIGHT
expect say "录音文件夹, TF 卡"
hold POWER 2500
expect say "正在关机"
expect exit 0
expect command "rtc wakealarm 2031-03-01 06:59:45"
expect file /home/q7alm.xml contains "<year>2031</year>"
