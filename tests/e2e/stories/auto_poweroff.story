# Short presses of the power key walk the quick automatic power-off through
# its choices, each spoken; a held press switches off without changing it.
file /home/q7cfg.xml "<q7><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
file /mnt/emmc/a.txt ""
start
expect say "Memory"
key POWER
expect say "auto poweroff: 15 minutes"
key POWER
expect say "auto poweroff: 30 minutes"
key POWER
expect say "auto poweroff: 45 minutes"
key POWER
expect say "auto poweroff: 60 minutes"
key POWER
expect say "auto poweroff: 90 minutes"
key POWER
expect say "auto poweroff: 120 minutes"
key POWER
expect say "auto poweroff: off"
key POWER
expect say "auto poweroff: 15 minutes"
hold POWER 2500
expect say "Power off"
expect nosay "auto poweroff"
expect exit 0
