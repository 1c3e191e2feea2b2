# Short presses of the power key walk the quick automatic power-off through
# its choices, each spoken (the whole cycle, in both languages, is the key
# reader's unit test); a held press switches off without changing it.
file /mnt/emmc/a.txt ""
start
expect say "本机磁盘"
key POWER
expect say "自动关机: 15分钟"
key POWER
expect say "自动关机: 30分钟"
hold POWER 2500
expect say "正在关机"
expect nosay "自动关机"
expect exit 0
