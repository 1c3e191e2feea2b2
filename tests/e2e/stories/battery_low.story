# A discharging battery below the power-off threshold is announced and the
# player switches itself off, saving the configuration.
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/status "Discharging\n"
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/capacity "3\n"
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/voltage_now "3400000\n"
file /home/q7cfg.xml "<q7><config><MainVolume>7</MainVolume></config><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
start
key VOLUP
expect say "volume 8"
expect say "Battry low, please recharging" within 8000
expect say "Power off"
expect exit 0
expect file /home/q7cfg.xml contains "<MainVolume>8</MainVolume>"
expect file /home/q7cfg.xml contains "<MLanguageSetting>1</MLanguageSetting>"
expect file /home/q7cfg.xml.bak contains "<MainVolume>8</MainVolume>"
