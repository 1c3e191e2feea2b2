# Timed power-off at 22:00 switches the device off with its reason; the
# real-time clock then holds the timed power-on of the next morning (07:00,
# woken at 06:59:45).
date 2024-04-08 21:59:40
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
file /home/q7alm.xml "<q7_alarm><alarm><id>2</id><mode>1</mode><hours>22</hours><minutes>0</minutes><delay>1</delay><yy>0</yy><mm>0</mm><dd>0</dd><flag>127</flag><enable>1</enable><repeat_count>1</repeat_count><repeat_delay>1</repeat_delay><counter>0</counter><val>8</val></alarm><alarm><id>3</id><mode>1</mode><hours>7</hours><minutes>0</minutes><delay>1</delay><yy>0</yy><mm>0</mm><dd>0</dd><flag>127</flag><enable>1</enable><repeat_count>1</repeat_count><repeat_delay>1</repeat_delay><counter>0</counter><val>7</val></alarm></q7_alarm>"
start
expect say "Memory" within 15000
expect say "Timed shutdown" within 40000
expect say "Power off"
expect exit 0
expect file /sys/class/rtc/rtc0/wakealarm contains "1712645985"
expect command "rtc wakealarm 2024-04-09 06:59:45"
