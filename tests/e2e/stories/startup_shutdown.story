# A v2.0 board starts, prints its machine summary, loads the USB gadget,
# speaks (the engine's sound reaches the device: a silent build fails here),
# and a held power key switches it off in order with its log written.
mkdir /mnt/usb/old
file /mnt/emmc/book.txt "text"
start --audio wav
expect stdout "HardType: q7"
expect stdout "HardVersion: 2.0"
expect command "mkdir -p /home/tag"
expect command "rm -rf /mnt/usb"
expect command "insmod /lib/modules/3.10.14/g_mass_storage.ko file=/home/tdev  removable=1"
expect command "printf '%s\\n' 'App date: 2024-11-13 11:20:12' >> /tmp/machine"
# Without a saved path the browser starts on the device list, at the
# internal memory.
expect say "本机磁盘"
expect heard 300
hold POWER 2500
expect say "正在关机"
expect exit 0
expect command "rmmod g_file_storage"
expect file /home/q70.log
expect file /home/tag
# The board's "rm -rf /mnt/usb" acted on the simulated card, nowhere else.
expect nofile /mnt/usb
