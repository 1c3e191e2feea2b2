# A kernel command line whose device name a shell would run ("$(reboot)"
# between single quotes): each command that carries the name quotes it, so
# it stays text, in the machine summary and in the removal of a damaged
# firmware package named after the device.
cmdline "console=ttyS0 hard_ver=q7'$(reboot)'_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4"
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
copy tests/e2e/fixtures/upgrade/badmd5.up "/mnt/emmc/q7'$(reboot)'up"
start
expect stdout "HardType: q7'$(reboot)'"
expect command "printf '%s\\n' 'HardType: q7'\\''$(reboot)'\\''' > /tmp/machine"
expect say "升级文件已损坏" within 15000
expect command "rm -rf  '/mnt/emmc/q7'\\''$(reboot)'\\''up'"
expect nocommand "reboot"
