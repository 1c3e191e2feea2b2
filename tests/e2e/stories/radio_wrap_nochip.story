# A chip whose seek wraps round the band end (it ignores the stop bit):
# auto search still ends, with each station once. Without a chip the FM key
# says so and the browser speaks its entry again.
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
file /host/tuner "chip rda5807\nwrap\nstation 90000 30\nstation 100000 30\n"
start
expect say "Memory"
key FM
expect say "87.0MHz"
key RIGHT
expect say "searching..."
expect say "90.0MHz"
key MENU
key DOWN
key DOWN
expect saying "Auto searching"
key OK
expect say "Done" within 5000
expect say "100.0MHz"
key DOWN
expect say "90.0MHz"
key DOWN
expect say "100.0MHz"
key BACK
expect say "Memory"
hold POWER 2500
expect say "Power off"
expect exit 0
file /host/tuner "chip none\n"
start
expect say "Memory"
key FM
expect say "No radio on this device"
expect say "Memory"
