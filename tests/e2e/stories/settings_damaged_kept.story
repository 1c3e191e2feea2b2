# A settings file the player cannot use is never lost: each is kept under
# its own numbered name, and with no backup to fall back on the user hears
# that the settings were reset, in the language the damaged file still
# shows (else the default one). A well-formed file written for something
# else is kept too, and one too big to read is refused unread.
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu><config><MainVolume>3</Main"
start
expect say "Settings were damaged; defaults restored" within 15000
expect say "Memory"
hold POWER 2500
expect say "Power off"
expect exit 0
expect file /home/q7cfg.xml.bad contains "<MainVolume>3</Main"
expect file /home/q7cfg.xml contains "<MLanguageSetting>1</MLanguageSetting>"
# Another root: kept, and the backup of the last save is read instead.
file /home/q7cfg.xml "<bookmarks><mark>/mnt/emmc/a.txt</mark></bookmarks>"
start
expect say "Memory" within 15000
expect nosay "defaults restored"
hold POWER 2500
expect say "Power off"
expect exit 0
expect file /home/q7cfg.xml.bad.1 contains "<mark>/mnt/emmc/a.txt</mark>"
expect file /home/q7cfg.xml.bad contains "<MainVolume>3</Main"
# Three megabytes, with no backup left: refused, kept, said in the default.
text utf-8 /home/q7cfg.xml "<!-- padding {i} padding -->\n" 100000
file /home/q7cfg.xml.bak "<q7><config><Main"
start
expect say "设置已损坏，已恢复默认设置" within 15000
expect say "本机磁盘" within 10000
expect file /home/q7cfg.xml.bad.2 contains "padding 99999 padding"
