# The toolbox from the system menu, in Chinese: the calendar converts
# 2020-05-23 into the leap fourth month, the almanac speaks the day, the
# calculator works 12 / 4 = 3 and refuses 1 / 0, the massage log records a
# treatment, the quiz counts a right and a wrong answer and the joke reader
# goes on to the next joke and the next section.
date 2020-05-23 08:00:00
start
expect say "本机磁盘" within 10000
key MENU
expect say "系统功能"
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
key DOWN
expect say "工具箱"
key OK
expect say "万年历"
key OK
expect say "万年历, 公历2020年, 5月, 23日"
key OK
expect saying "润四月初一"
key DOWN
key DOWN
key DOWN
expect say "公历"
key RIGHT
expect say "农历, 农历2020年, 润四月, 初一"
key OK
expect say "2020年5月23日, 星期六"
key BACK
expect say "万年历"
key DOWN
expect say "老黄历"
key OK
expect saying "老黄历, 2020年5月23日, 星期六, 农历庚子, 鼠"
key RIGHT
expect saying "2020年5月24日, 星期日"
key BACK
expect say "老黄历"
key DOWN
expect say "计算器"
key OK
expect say "计算器, 0"
key RIGHT
key OK
key RIGHT
key OK
expect say "2"
key DOWN
key RIGHT
key RIGHT
key RIGHT
key OK
expect say "除以"
key UP
key RIGHT
key RIGHT
key OK
expect say "4"
key DOWN
key RIGHT
key OK
expect say "等于 3"
key UP
key LEFT
key LEFT
key LEFT
key OK
expect say "1"
key DOWN
key LEFT
key OK
expect say "除以"
key UP
key LEFT
key OK
expect say "0"
key DOWN
key RIGHT
key OK
expect say "除数不能为零"
key BACK
expect say "计算器"
key DOWN
expect say "按摩管理系统"
key OK
expect say "按摩管理系统, 按OK键新增按摩记录"
key OK
expect say "已记录第1次按摩"
key ESC
expect say "今天1次, 本月1次, 共1次"
key DOWN
expect say "第1次按摩, 2020年5月23日8点0分"
key BACK
expect say "按摩管理系统"
key BACK
expect say "工具箱"
key DOWN
expect say "益智游戏"
key OK
expect say "疯狂问答"
key OK
expect say "题目: “当时只记入山深”的下一句是,A: 乐游原上望昭陵,B: 青溪几曲到云林,C: 未得报恩不能归,D: 复令识者久叹嗟,"
key RIGHT
key RIGHT
expect say "B: 青溪几曲到云林"
key OK
expect saying "回答正确. 题目: “自惭居处崇”的下一句是"
key LEFT
expect say "D: 暂游桃源里"
key OK
expect saying "回答错误, 正确答案是 A. 题目: “玉筋应啼别离后”的下一句是"
key ESC
expect say "答对1题, 共答2题"
key BACK
expect say "疯狂问答"
key BACK
expect say "益智游戏"
key DOWN
expect say "笑话"
key OK
expect say "1000内涵段子"
key OK
expect saying "内容: "
key DOWN
key ESC
expect say "第1组, 第2条, 共1000条"
key RIGHT
key ESC
expect say "第2组, 第101条, 共1000条"
key BACK
expect say "1000内涵段子"
