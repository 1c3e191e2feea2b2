# The alarm screens from the time settings menu: the list speaks alarm 1,
# the editor sets 07:01 on Mondays and enables it, OK stores it and the list
# speaks the new summary; the alarm is saved and wakes the device. The
# timed power-on editor walks only hour, minute and enable.
date 2024-04-08 06:00:10
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
start
expect say "Memory" within 15000
key MENU
expect say "System functions"
key DOWN
expect say "Time settings"
key OK
expect say "Alarms"
key OK
expect say "Alarm 1: , hour:0 minute:0, Disable, Once, reminder 1 times, 1 minutes apart"
key DOWN
expect say "Alarm 2: , hour:0 minute:0, Disable, Once, reminder 1 times, 1 minutes apart"
key UP
expect saying "Alarm 1: "
key OK
expect say "hour:0"
key DOWN
expect say "hour:23"
key UP
key UP
expect say "hour:1"
key RIGHT
expect say "minute:0"
key UP
expect say "minute:1"
key RIGHT
expect say "Disable"
key UP
expect say "Enable"
key RIGHT
expect say "Sunday, Press the bookmark key to select or deselect"
key UP
expect say "Monday, Press the bookmark key to select or deselect"
key MARK
expect say "Monday"
key RIGHT
expect say "alarm times:1"
key RIGHT
expect say "1 minutes"
key RIGHT
expect say "hour:1"
key UP
key UP
key UP
key UP
key UP
key UP
expect say "hour:7"
key OK
expect say "Setting done"
expect say "Alarm 1: , hour:7 minute:1, Enable, Monday, reminder 1 times, 1 minutes apart"
key BACK
expect say "Alarms"
key DOWN
key DOWN
key DOWN
expect say "Timed power on"
key OK
expect say "hour:0"
key LEFT
expect say "Disable"
key RIGHT
expect say "hour:0"
key BACK
expect say "Cancelled"
expect say "Timed power on"
hold POWER 2500
expect say "Power off"
expect exit 0
expect file /home/q7alm.xml contains "<hours>7</hours>"
expect command "rtc wakealarm 2024-04-08 07:00:45"
