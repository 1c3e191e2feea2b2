# Below the warning threshold but above the power-off one: a warning only.
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/status "Discharging\n"
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/capacity "8\n"
file /sys/devices/platform/jz-i2c.0/i2c-0/0-0062/power_supply/fg-bat/voltage_now "3600000\n"
start
expect say "电池电量低, 请充电" within 8000
expect nosay "正在关机" within 1500
