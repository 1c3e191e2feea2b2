# The hourly time announcement speaks the time on the hour.
date 2024-04-08 08:59:40
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MTimeAnnounce>3</MTimeAnnounce></menu></q7>"
start
expect say "Memory" within 15000
expect say "current time: hour:9 minute:0" within 40000
expect heard
