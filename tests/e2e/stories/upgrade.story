# Firmware packages on the internal card (tests/e2e/fixtures/upgrade): one
# of a lower version found at start-up, then over USB one with a wrong MD5
# (a body cut short fails the same way, see unit_core), each refused with
# its reason and removed, nothing unpacked; then a good one is verified, unpacked beside and switched in, its
# script run and its configuration applied (English prompts from then on),
# and it asks for a restart. The clock file left with the second package
# sets the clock and goes.
file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\n"
file /home/q7cfg.xml "<q7><config><CfgUsbDelay>100</CfgUsbDelay></config></q7>"
copy tests/e2e/fixtures/upgrade/lower.up /mnt/emmc/q7up
start
expect say "不能升级到较低的版本" within 15000
expect say "本机磁盘"
expect nofile /mnt/emmc/q7up
expect nocommand "tar -xzvf /home/tmp.tar.gz -C /home/upgrade.new"
hotplug usb_plug_in
hotplug usb_config
expect say "USB连接中..."
copy tests/e2e/fixtures/upgrade/badmd5.up /mnt/emmc/q7up
file /mnt/emmc/q4snb.bin ""
hotplug usb_plug_out
expect command "rm -rf /mnt/emmc/q4snb.bin"
expect say "升级文件已损坏"
expect nofile /mnt/emmc/q4snb.bin
expect nofile /mnt/emmc/q7up
expect nofile /home/tmp.tar.gz
expect nocommand "tar -xzvf /home/tmp.tar.gz -C /home/upgrade.new"
expect nofile /home/upgrade
hotplug usb_plug_in
hotplug usb_config
expect say "USB连接中..."
copy tests/e2e/fixtures/upgrade/good.up /mnt/emmc/q7up
hotplug usb_plug_out
expect say "正在升级..."
expect command "tar -xzvf /home/tmp.tar.gz -C /home/upgrade.new"
expect command "mv /home/upgrade.new/upgrade /home/upgrade"
expect command "'/home/upgrade/q7sh.sh'"
expect say "Upgrading done"
expect say "Rebooting"
expect exit 0
expect command "reboot"
expect nofile /mnt/emmc/q7up
expect nofile /home/upgrade
expect nofile /home/tmp.tar.gz
expect file /home/q7cfg.xml contains "<MLanguageSetting>1</MLanguageSetting>"
