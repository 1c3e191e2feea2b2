# A configuration file cut short (a save that never finished) is kept aside
# as .bad; the backup of the last save is read instead, so the settings are
# still there, and the next save writes a whole file again.
file /home/q7cfg.xml "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<q7>\n  <config>\n    <MainVolume>3</Main"
file /home/q7cfg.xml.bak "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<q7>\n  <config>\n    <MainVolume>5</MainVolume>\n  </config>\n  <menu>\n    <MLanguageSetting>1</MLanguageSetting>\n  </menu>\n</q7>\n"
start
key VOLUP
expect say "volume 6"
expect file /home/q7cfg.xml.bad contains "<MainVolume>3</Main"
hold POWER 2500
expect say "Power off"
expect exit 0
expect file /home/q7cfg.xml contains "<MainVolume>6</MainVolume>"
expect file /home/q7cfg.xml.bad contains "<MainVolume>3</Main"
