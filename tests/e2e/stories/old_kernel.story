# The 3.0.8 kernel gets the older mass-storage gadget.
kernel "Linux version 3.0.8 (builder@host) #1"
start
expect command "insmod /lib/modules/3.0.8/g_file_storage.ko"
expect nocommand "rmmod g_mass_storage"
