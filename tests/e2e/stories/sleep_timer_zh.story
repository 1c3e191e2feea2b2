# 睡眠定时 in Chinese, set to the end of the track: a six-second track
# brings the warning at once, fades out and switches the device off at its
# end, the choice kept with the settings.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin
mkdir /mnt/emmc/music
tones /mnt/emmc/music/tones.wav
start
expect say "本机磁盘"
key OK
expect saying "music"
key OK
expect saying "tones.wav"
key OK
key MENU
expect saying "播放速度"
key UP
expect say "睡眠定时, 关"
key LEFT
expect say "睡眠定时, 本曲结束"
key OK
expect say "设置已完成"
expect say "睡眠定时：30秒后关机，按任意键延长"
expect say "睡眠定时到" within 12000
expect say "正在关机"
expect exit 0
expect file /home/q7cfg.xml contains "<MSleepTimer>6</MSleepTimer>"
