#!/usr/bin/env python3
"""Writes the seeds of fuzz_text and fuzz_store (tests/fuzz/seeds_text,
tests/fuzz/seeds_store): each seed is the byte that picks the parser in
input_fuzz.cpp followed by a small input of its kind, cut from the
repository's fixtures or written here in the shape the player writes.

  tests/fuzz/make_seeds.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))


def fixture(path, limit=None):
    with open(os.path.join(REPO, path), "rb") as f:
        data = f.read()
    return data[:limit] if limit else data


def first_lines(path, n):
    return b"".join(fixture(path).splitlines(keepends=True)[:n])


ZH = "第一章。今天天气很好！我们去公园，好吗？\r\n第二段：1.5公斤苹果.\n"
HTML = fixture("tests/data/ebook/html/libreoffice_zh.html", 6000)
TEXT = {
    0: [ZH.encode("gbk"), ZH.encode("utf-8-sig"), ZH.encode("utf-16"), "這是第一章。".encode("big5") * 30],
    1: [ZH.encode("gbk")],
    2: ["[ti:歌]\n[00:01.50]第一句\n[00:03.00][01:00.00]第二句\n[offset:+200]\n".encode("utf-8"),
        "[00:01.50]第一句\n".encode("gbk")],
    3: [b"Title: a\nPages:          3\nEncrypted: no\n" + ZH.encode("utf-8")],
    4: [ZH.encode("gbk"), ZH.encode("utf-16-le"), "讀書筆記.txt".encode("big5")],
    5: [b'<?xml version="1.0"?><ncx><navMap><navPoint id="a"><text>One &amp; two</text>'
        b'<content src="a.html#x"/></navPoint></navMap></ncx>'],
    6: [HTML],
    7: [first_lines("data/duo_ying_zi.res", 40) + b"\0" + "银行行长长大了".encode("gbk")],
    8: [fixture("data/res_jiankangzs")],
    9: [ZH.encode("utf-8")],
}

# The settings file as the player writes it: a few values of each block,
# bookmarks and a history with one book each.
MARK = ("<mark><path>/mnt/emmc/书.txt</path><title>书.txt</title><type>{t}</type><value><time>1712600000</time>"
        "<ncxref>n1</ncxref><uri>a.smil#p1</uri><timeoffset>1500</timeoffset><charoffset>12</charoffset></value></mark>")
SETTINGS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<q7><config><MainVolume>10</MainVolume>'
            "<LastPath>/mnt/emmc</LastPath><CfgKeyDelay>150000</CfgKeyDelay></config>"
            "<menu><MTimeFormat>0</MTimeFormat><MLanguageSetting>1</MLanguageSetting><MReadSpeed>5</MReadSpeed></menu>"
            "<bookmark>" + "".join(MARK.format(t=t) for t in range(6)) + "</bookmark>"
            "<calendar><year0>2018</year0><month0>1</month0><day0>1</day0><hour0>0</hour0><twomonth0>0</twomonth0>"
            "</calendar></q7>\n").encode("utf-8")
ALARM = ("<?xml version=\"1.0\"?>\n<q7_alarm><alarm_time><year>2024</year><month>4</month><day>9</day></alarm_time>"
         + "".join("<alarm><id>%d</id><mode>1</mode><hours>7</hours><minutes>30</minutes><delay>1</delay><yy>0</yy>"
                   "<mm>0</mm><dd>0</dd><flag>127</flag><enable>%d</enable><repeat_count>3</repeat_count>"
                   "<repeat_delay>5</repeat_delay><counter>0</counter><val>%d</val></alarm>" % (i, i % 2, i)
                   for i in range(3)) + "</q7_alarm>\n").encode("utf-8")
STORE = {
    0: [SETTINGS],
    1: [ALARM],
    2: [b'<?xml version="1.0"?>\n<radio_station><chip>ar1019</chip><cur_band>0</cur_band><band><name>FM</name>'
        b'<station_no>1</station_no><cur_station><freq>93500</freq></cur_station>'
        b'<station><freq>88100</freq></station><station><freq>93500</freq></station></band></radio_station>\n'],
    3: [b"/home/tag/beiwang/1.wav\n  /home/tag/beiwang/2.mp3  \n/home/tag/x"],
    4: [b"0x3f01,2024,4,8,9,0,/home/tag/once.wav\n0x420ff,0,0,0,9,0,/home/tag/weekly.flac\n"],
    5: [b"tf_card_in\0", b"usb_config\0", b"usb_disk_out"],
    6: [b"console=ttyS0 hard_ver=q7_v2.0_3_128mb,abcd123456240315,v1.0,v1.1,v1.2,v1.3,v1.4 rootwait\n"],
    7: [b"Linux version 3.10.14 (builder@host) #1 PREEMPT\n", b"Linux version 3.0.8\n"],
}


def write(folder, seeds):
    path = os.path.join(HERE, folder)
    os.makedirs(path, exist_ok=True)
    for name in os.listdir(path):
        os.remove(os.path.join(path, name))
    for which, inputs in seeds.items():
        for i, data in enumerate(inputs):
            with open(os.path.join(path, f"{which}-{i}"), "wb") as f:
                f.write(bytes([which]) + data)


write("seeds_text", TEXT)
write("seeds_store", STORE)
