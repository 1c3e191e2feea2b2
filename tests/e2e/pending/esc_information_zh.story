# ESC information sequence in Chinese: the first ESC goes to the screen,
# the next three within 4 s speak the time and date, the battery level and
# the lunar date, here on a solar-term day (清明, 2024-04-04).
date 2024-04-04 08:05:10
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/status "Discharging\n"
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/capacity "26\n"
start
wait 1000
key ESC
key ESC
expect say "现在时间: 8点05分, 星期4, 2024年4月4日"
key ESC
expect say "电池电量百分之26"
key ESC
expect say "甲辰, 龙, 戊辰月,戊戌日,丙辰时, 二月廿六, 大月, 今天是: 清明"
# A fifth press starts over: it goes to the screen and speaks none of them.
key ESC
expect nosay "现在时间" within 1000
