# The bookmark menu (MARK): bookmarks are numbered and spoken with their
# position; with A and B set the music goes back to A each time it passes
# B, so that after nine seconds it is still between them.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugAudio>1</CfgDebugAudio></config></q7>"
mkdir /mnt/emmc/music
copy $SAMPLES/daisy202/mental_health/speechgen0008.mp3 /mnt/emmc/music/talk.mp3
start
expect say "本机磁盘"
key OK
expect saying "music"
key OK
expect saying "talk.mp3"
key OK
expect file /home/q70.log contains "audio play: /mnt/emmc/music/talk.mp3"
key RIGHT
key MARK
expect say "添加书签"
key OK
expect say "已增加书签1, 0分10秒"
key MARK
expect say "添加书签"
key OK
expect say "已增加书签2, 0分10秒"
key MARK
expect say "添加书签"
key DOWN
expect say "跳转到分钟"
key DOWN
expect say "AB复唱, 标记复唱开始"
key OK
expect say "设置已完成"
wait 1500
# The menu opens where it was left, on the next step of the repeat.
key MARK
expect say "AB复唱, 标记复唱结束"
key OK
expect say "设置已完成"
wait 9000
key OK
expect say "暂停"
key ESC
expect saying "当前播放0分1"
key OK
key MARK
expect say "AB复唱, 停止复唱"
key OK
expect say "设置已完成"
