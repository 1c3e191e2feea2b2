# USB notices on the virtual-key socket: a cable with power only is
# announced as charging after the USB delay and switches to the high charge
# current; a host connection is not announced, goes back to the low current
# and reaches the bottom screen as USBIN (logged by the key debug switch).
# Thirteen clients that connect and never say a word hold none of it back.
file /home/q7cfg.xml "<q7><config><CfgLogLevel>3</CfgLogLevel><CfgDebugKey>1</CfgDebugKey><CfgUsbDelay>100</CfgUsbDelay></config><menu><MLanguageSetting>1</MLanguageSetting></menu></q7>"
start
silent 13
hotplug usb_plug_in
expect say "Charging..." within 3000
expect file /dev/charg_set contains "1 0"
hotplug usb_plug_out
expect file /dev/charg_set contains "1 1"
hotplug usb_plug_in
hotplug usb_config
expect nosay "Charging..." within 2000
expect file /home/q70.log contains "key.code=289"
# Words it does not know change nothing and the server goes on.
hotplug usb_configure
hotplug tf_card_out
expect file /home/q70.log contains "key.code=278"
# The host connection put the storage in the computer's hands: every key only
# says so, until the cable is pulled and the storage comes back.
hotplug usb_plug_in
hotplug usb_config
expect say "Usb connecting!"
key DOWN
expect say "Usb connecting!"
hotplug usb_plug_out
expect command "mount /dev/mmcblk0p3 /mnt/emmc"
expect say "Memory"
