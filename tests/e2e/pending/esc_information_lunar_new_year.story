# The lunar date on the first day of the lunar year (春节 2024), inside the
# nine nines and with the next solar term nine days away.
date 2024-02-10 08:05:10
start
wait 1000
key ESC
key ESC
expect saying "2024年2月10日"
key ESC
expect say "获取电池信息失败"
key ESC
expect say "甲辰, 龙, 丙寅月,甲辰日,戊辰时, 正月初一, 小月, 六九第6天, 9 天后是: 雨水"
