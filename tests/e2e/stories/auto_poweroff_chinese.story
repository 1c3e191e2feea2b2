# The quick automatic power-off in Chinese prompts.
start
key POWER
expect say "自动关机: 15分钟"
key POWER
expect say "自动关机: 30分钟"
