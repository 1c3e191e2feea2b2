# An alarm file that cannot be read (nor its backup) is said so, kept aside
# as .bad, and the player goes on; the next save writes a whole file.
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
file /home/q7alm.xml "<q7_alarm><alarm><id>4</id><mo"
start
expect say "Alarm settings were damaged; defaults restored" within 15000
expect say "Memory" within 15000
hold POWER 2500
expect say "Power off"
expect exit 0
expect file /home/q7alm.xml.bad contains "<id>4</id><mo"
expect file /home/q7alm.xml contains "<id>7</id>"
