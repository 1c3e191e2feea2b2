# Without "hard_ver=" on the kernel command line the player stops at once:
# status -1, no log, nothing of the start-up beyond its first command.
cmdline "console=ttyS0 HARD_VER=q7_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4"
start
expect exit 255
expect nofile /home/q70.log
expect nocommand "rm -rf /mnt/usb"
expect stdout "Command line error!"
