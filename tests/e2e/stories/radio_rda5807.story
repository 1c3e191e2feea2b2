# The radio on an RDA5807: FM from the browser starts at the band's floor,
# manual steps wrap round the band, auto search finds the model's stations
# (not the weak one) and stands on the last, UP/DOWN wrap through them, BACK
# saves them with the chip's name and powers the chip down, and a restart
# finds exactly them again, in frequency order, on the station it left.
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting><MStepMode>1</MStepMode></menu></q7>"
file /host/tuner "chip rda5807\nstation 101700 30\nstation 88100 25\nstation 105000 10\nstation 93500 40\n"
start
expect say "Memory"
key FM
expect say "87.0MHz"
key LEFT
expect say "108.0MHz"
key RIGHT
expect say "87.0MHz"
key MENU
expect say "Add Channel"
key DOWN
key DOWN
expect saying "Auto searching"
key OK
expect say "searching..."
expect say "Done"
expect say "101.7MHz"
key DOWN
expect say "88.1MHz"
key UP
expect say "101.7MHz"
key UP
expect say "93.5MHz"
key BACK
expect say "Memory"
expect file /host/tuner.log contains "power down"
expect file /home/radio.xml contains "<chip>rda5807</chip>"
hold POWER 2500
expect say "Power off"
expect exit 0
start
expect say "Memory"
key FM
expect say "93.5MHz"
key DOWN
expect say "101.7MHz"
key DOWN
expect say "88.1MHz"
key DOWN
expect say "93.5MHz"
