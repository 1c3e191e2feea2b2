# A machine fresh from the factory announces its test mode at start-up and
# keeps the flag file.
file /home/new_machine ""
start
expect say "正在测试。。。"
hold POWER 2500
expect exit 0
expect file /home/new_machine
