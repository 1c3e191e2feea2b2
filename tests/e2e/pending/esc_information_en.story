# ESC information sequence in English: the sequence has three positions;
# the time sentence is Chinese only, so the second press says nothing and
# the third speaks the battery level (the number word of 26 carries its own
# trailing blank).
date 2024-04-04 08:05:10
file /home/q7cfg.xml "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>\n"
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/status "Discharging\n"
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/capacity "26\n"
start
wait 1000
key ESC
key ESC
expect nosay "现在时间" within 1000
key ESC
expect say "battery level is twenty-six  percent"
key ESC
expect nosay "甲辰" within 1000
