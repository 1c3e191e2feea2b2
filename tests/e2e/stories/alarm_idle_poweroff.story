# Idle power-off set to "1 minutes" switches the device off within two
# minutes of the last key when nothing plays.
date 2024-04-08 10:00:50
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MAutoShutDown>1</MAutoShutDown></menu></q7>"
start
expect say "Memory" within 15000
expect nosay "Auto shutdown" within 60000
expect say "Auto shutdown" within 20000
expect say "Power off"
expect exit 0
