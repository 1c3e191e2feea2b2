# A machine fresh from the factory announces its test mode at start-up and
# keeps the flag file.
file /home/new_machine ""
file /mnt/emmc/book.txt "text"
start
expect say "正在测试。。。"
# Keys are read once the announcement has been heard and the file browser
# speaks.
expect say "本机磁盘"
hold POWER 2500
expect say "正在关机"
expect exit 0
expect file /home/new_machine
