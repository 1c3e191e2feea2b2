# Three voice reminders (once, daily, weekly on Tuesday). The once reminder,
# past since 08:00, is moved to 09:00 in the editor; the daily one, also due
# at 09:00 and ahead of it in the scheduler's list, is deleted. At 09:00 the
# once reminder rings; after a restart on Tuesday the weekly one does.
date 2024-04-08 08:59:50
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
tones /home/tag/once.wav
copy tests/data/audio/s16.wav /home/tag/daily.wav
copy tests/data/audio/mono.flac /home/tag/weekly.flac
file /home/tag/tixin "0x3f01,2024,4,8,8,0,/home/tag/once.wav\n0x3801,0,0,0,9,0,/home/tag/daily.wav\n0x420ff,0,0,0,9,0,/home/tag/weekly.flac"
start --audio wav
expect say "Memory" within 15000
key MENU
expect say "System functions"
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect say "voice reminding"
key OK
expect saying "Voice reminder 1:Only once,year:2024 month:4 day:8 hour:8 minute:0"
key OK
expect say "Only once"
key RIGHT
key RIGHT
key RIGHT
key RIGHT
expect say "hour:8"
key UP
expect say "hour:9"
key OK
expect saying "Voice reminder 1:Only once,year:2024 month:4 day:8 hour:9 minute:0"
key UP
expect saying "Voice reminder 2:Every day,hour:9 minute:0"
key MENU
expect say "Add voice reminding"
key DOWN
key DOWN
expect say "Delete"
key OK
expect say "Whether to delete voice reminding"
key OK
expect say "deleted"
expect saying "Voice reminder 2:weekly,Tuesday,hour:9 minute:0"
expect nofile /home/tag/daily.wav
expect stdout "voice reminder: /home/tag/once.wav" within 20000
expect tone 22050 1 1000 within 5000
hold POWER 2500
expect say "Power off"
expect exit 0
expect file /home/tag/tixin contains "0x420ff,0,0,0,9,0,/home/tag/weekly.flac"
date 2024-04-09 08:59:56
start --audio wav
expect say "Memory" within 15000
expect stdout "voice reminder: /home/tag/weekly.flac" within 15000
expect tone 8000 1 400 within 5000
