# The weekday alarm that rang and was stopped on Monday is scheduled for
# Tuesday: switched off, the real-time clock holds Tuesday 07:29:45, and a
# start on Tuesday morning rings it again at 07:30.
date 2024-04-08 07:29:40
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
file /home/q7alm.xml "<q7_alarm><alarm_time><year>2024</year><month>4</month><day>8</day></alarm_time><alarm><id>4</id><mode>1</mode><hours>7</hours><minutes>30</minutes><delay>1</delay><yy>0</yy><mm>0</mm><dd>0</dd><flag>62</flag><enable>1</enable><repeat_count>3</repeat_count><repeat_delay>1</repeat_delay><counter>0</counter><val>0</val></alarm></q7_alarm>"
start --audio wav
expect say "Memory" within 15000
expect tone 22050 1 2000 within 40000
key BACK
expect say "Alarm closed"
hold POWER 2500
expect say "Power off"
expect exit 0
expect file /sys/class/rtc/rtc0/wakealarm contains "1712647785"
expect command "rtc wakealarm 2024-04-09 07:29:45"
expect file /home/q7alm.xml contains "<flag>62</flag>"
date 2024-04-09 07:29:40
start --audio wav
expect say "Memory" within 15000
expect tone 22050 1 2000 within 40000
key BACK
expect say "Alarm closed"
