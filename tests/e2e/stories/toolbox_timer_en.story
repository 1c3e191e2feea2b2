# The count-up timer in English goes on across a power cut: started at
# 10:00, the player killed and started again at 11:30 (half a minute spare
# for the two starts), it has run an hour and a half; stopped, the run is in
# the day's and the month's totals. Then the calendar speaks today's lunar
# date and the calculator its keys, in English.
date 2024-11-13 10:00:00
file /home/q7cfg.xml "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>\n"
start
expect say "Memory" within 10000
key MENU
expect say "System functions"
key DOWN
expect say "Time settings"
key OK
expect say "Alarms"
key DOWN
expect say "timer"
key OK
expect say "Timer, press OK to start"
key OK
expect say "Timing started"
kill
date 2024-11-13 11:30:30
start
expect say "Memory" within 10000
key MENU
expect say "System functions"
key DOWN
expect say "Time settings"
key OK
expect say "Alarms"
key DOWN
expect say "timer"
key OK
expect say "Timer, running, 1 hours 30 minutes"
key OK
expect say "Timing stopped, 1 hours 30 minutes, Today 1 hours 30 minutes"
key DOWN
expect say "This month 1 hours 30 minutes"
key BACK
expect say "timer"
key BACK
expect say "Time settings"
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect say "tool box"
key OK
expect say "Calendar"
key OK
expect say "Calendar, year:2024, month:11, day:13"
key OK
expect say "lunar year 2024, month 10, day 13, year of the Dragon, 9 days to Minor Snow"
key BACK
key DOWN
key DOWN
expect say "Calculator"
key OK
expect say "Calculator, 0"
key RIGHT
key OK
key DOWN
key RIGHT
key OK
expect say "minus"
key UP
key RIGHT
key OK
expect say "2"
key DOWN
key RIGHT
key RIGHT
key RIGHT
key OK
expect say "equals minus 1"
