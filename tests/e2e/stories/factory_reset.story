# The factory reset asks first. The exit key leaves the settings alone and
# says so; OK loads the device's defaults file, gives a v2.0 board its own
# record volume and says the setting is done.
file /home/q7def.xml "<?xml version=\"1.0\"?>\n<q7><menu><MToneSpeed>5</MToneSpeed><MAudioPlayMode>2</MAudioPlayMode><MRecordVolume>3</MRecordVolume></menu></q7>\n"
file /mnt/emmc/book.txt "text"
start
expect say "本机磁盘"
key MENU
expect next "系统功能"
key OK
expect next "恢复出厂设置"
# The prompt voice's speed goes to 1.
key DOWN
key DOWN
expect say "系统提示音"
key OK
expect next "速度, 0"
key RIGHT
expect next "速度, 1"
key OK
expect next "设置已完成"
expect next "速度, 1"
key BACK
expect next "系统提示音"
key UP
key UP
expect say "恢复出厂设置"
# Asked, and cancelled with the exit key.
key OK
expect say "警告：恢复出厂设置将把您的设置恢复到出厂状态, 按OK键确认，按退出键取消"
key BACK
expect say "设置已取消"
expect next "恢复出厂设置"
key DOWN
expect next "恢复说明书"
key DOWN
expect next "系统提示音"
key OK
expect next "速度, 1"
key BACK
expect next "系统提示音"
key UP
key UP
expect say "恢复出厂设置"
# Asked again, and confirmed: the defaults file decides.
key OK
expect say "警告：恢复出厂设置将把您的设置恢复到出厂状态, 按OK键确认，按退出键取消"
key OK
expect say "设置已完成"
expect next "恢复出厂设置"
key DOWN
expect next "恢复说明书"
key DOWN
expect next "系统提示音"
key OK
expect next "速度, 5"
key BACK
expect next "系统提示音"
key BACK
expect next "系统功能"
key DOWN
expect next "时间设置"
key DOWN
expect next "录音设置"
key OK
expect next "录音音量, 19"
key BACK
expect next "录音设置"
key DOWN
expect next "电子书设置"
key DOWN
expect next "音乐设置"
key OK
expect next "播放速度, 正常"
key DOWN
expect next "播放语调, 0"
key DOWN
expect next "快进快退步长, 10秒"
key DOWN
expect next "播放模式, 随机播放"
