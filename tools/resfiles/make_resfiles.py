#!/usr/bin/env python3
"""Writes the reading tools' resource files (the joke and quiz files of the
toolbox) under data/, in the indexed GBK format that toolbox/res_file reads.

    tools/resfiles/make_resfiles.py [FORTUNES_DIR] [OUT_DIR]

FORTUNES_DIR defaults to /usr/share/games/fortunes, where Debian's package
"fortunes-zh" puts its files (apt-get install fortunes-zh); OUT_DIR to the
repository's data/. Only this tool needs the package: the files it wrote
are committed and installed by scripts/install-home.

Sources and licences:
  - Debian package fortunes-zh (files "chinese", "tang300", "song100"):
    Chinese sayings, quotations and essays, three hundred Tang poems and one
    hundred Song lyrics, collected by the package's authors; licensed under
    the GNU General Public License, version 3 or later (the poems themselves
    are in the public domain). Their texts are copied, cut to spoken length.
  - The 24 solar terms, their months and order, the twelve zodiac animals and
    the multiplication table: common knowledge, written out here.

Files written (names as the menu tree opens them under /home):
  res_yiqiannhdz   first 1000 short sayings of "chinese"
  res_wuwanxh      every saying of "chinese" that fits a prompt
  res_gaoxiaodxdq  the sayings short enough for a text message
  res_ganwuxdz     the Song lyrics
  res_fuqilxh      the Tang poems
  joke fields: 标题 (title), 内容 (text), 出处 (source); sections of 100.
  res_fengkuangwd  Tang poem lines: which line follows
  res_jiankangzs   the solar terms: order and months
  res_xiaoxuebk    poem authors, zodiac order, multiplication
  quiz fields: 题目, A, B, C, D, 答案 (the letter of the right choice);
  sections of 50.

The output is deterministic (a fixed random seed), so running it again on
the same package version gives the same files.
"""
import os
import random
import re
import sys

SEP = "\x19"
ANSI = re.compile(r"\x1b\[[0-9;]*m")
CJK = re.compile(r"[\u3000-\u9fff\uff00-\uffef]")
MAX_TEXT = 1200  # GBK bytes of one value: the spoken record stays under 4096 UTF-8 bytes


def fortunes(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        text = ANSI.sub("", f.read())
    for block in text.split("\n%\n"):
        lines = [l.rstrip() for l in block.strip("\n").splitlines()]
        if any(l.strip() for l in lines):
            yield lines


def join(lines):
    """Wrapped lines as one spoken line: Chinese joins directly, other text with a blank."""
    out = ""
    for l in (l.strip() for l in lines):
        if not l:
            continue
        if out and not (CJK.search(out[-1]) or CJK.search(l[0])):
            out += " "
        out += l
    return out


def clean(text):
    text = "".join(c if c >= " " else " " for c in text)
    return text.encode("gbk", errors="ignore").decode("gbk")


def saying(lines):
    """(title, text, source) of one block of "chinese"."""
    source = ""
    while lines and not lines[-1].strip():
        lines = lines[:-1]
    if lines and lines[-1].strip().startswith("--"):
        source = lines[-1].strip()[2:].strip()
        lines = lines[:-1]
    title = ""
    if len(lines) > 2 and not lines[1].strip() and len(lines[0].strip()) <= 20:
        title, lines = lines[0].strip(), lines[2:]
    return clean(title), clean(join(lines)), clean(source)


def poem(lines):
    """(title, text, author) of a block of "tang300" or "song100"."""
    title = lines[0].strip().strip("《》") if lines else ""
    author = ""
    body = lines[1:]
    if body and body[0].strip().startswith("作者"):
        author = body[0].strip()[3:].strip()
        body = body[1:]
    return clean(title), clean(join(body)), clean(author)


def fits(*values):
    return all(len(v.encode("gbk")) <= MAX_TEXT for v in values)


def write(path, names, records, per_section):
    """The file format: header, index, field-name line, section line, records."""
    body = b"".join((SEP.join(r) + "\r\n").encode("gbk") for r in records)
    offsets, at = [], 0
    for r in records:
        n = len((SEP.join(r) + "\r\n").encode("gbk"))
        offsets.append((at, n))
        at += n
    sections = []
    for i in range(0, len(records), per_section):
        sections += [f"第{i // per_section + 1}组", str(i), str(min(per_section, len(records) - i))]
    lines = ("".join(n + SEP for n in names) + "\r\n" + "".join(s + SEP for s in sections) + "\r\n").encode("gbk")
    index = b""
    for i, (off, n) in enumerate(offsets):
        last = i == len(offsets) - 1
        index += f"{i + 1:07d}{SEP}{off:09d}{SEP}{n:05d}".encode() + (b"\r\n" if last else SEP.encode())
    text_offset = 17 + len(index)
    header = f"{len(records):07d}{SEP}{text_offset:08d}{SEP}".encode()
    assert len(header) == 17
    with open(path, "wb") as f:
        f.write(header + index + lines + body)
    print(f"{os.path.basename(path)}: {len(records)} records, {len(header + index + lines + body)} bytes")


def choices(right, wrong_pool, rng):
    """Four choices with the right one at a random place; (choices, letter)."""
    wrong = rng.sample([w for w in dict.fromkeys(wrong_pool) if w != right], 3)
    place = rng.randrange(4)
    wrong.insert(place, right)
    return wrong, "ABCD"[place]


def quiz(question, right, pool, rng):
    c, letter = choices(right, pool, rng)
    return [clean(question)] + [clean(x) for x in c] + [letter]


TERMS = ["小寒", "大寒", "立春", "雨水", "惊蛰", "春分", "清明", "谷雨", "立夏", "小满", "芒种", "夏至",
         "小暑", "大暑", "立秋", "处暑", "白露", "秋分", "寒露", "霜降", "立冬", "小雪", "大雪", "冬至"]
ANIMALS = ["鼠", "牛", "虎", "兔", "龙", "蛇", "马", "羊", "猴", "鸡", "狗", "猪"]
MONTHS = ["一月", "二月", "三月", "四月", "五月", "六月", "七月", "八月", "九月", "十月", "十一月", "十二月"]


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/games/fortunes"
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "data")
    rng = random.Random(20241113)

    sayings = [s for s in (saying(b) for b in fortunes(os.path.join(src, "chinese"))) if s[1] and fits(*s)]
    tang = [p for p in (poem(b) for b in fortunes(os.path.join(src, "tang300"))) if p[1] and fits(*p)]
    song = [p for p in (poem(b) for b in fortunes(os.path.join(src, "song100"))) if p[1] and fits(*p)]
    short = [s for s in sayings if len(s[1]) <= 70]
    jokes = ["标题", "内容", "出处"]
    write(os.path.join(out, "res_yiqiannhdz"), jokes, short[:1000], 100)
    write(os.path.join(out, "res_wuwanxh"), jokes, sayings, 100)
    write(os.path.join(out, "res_gaoxiaodxdq"), jokes, [s for s in sayings if len(s[1]) <= 40], 100)
    write(os.path.join(out, "res_ganwuxdz"), jokes, song, 100)
    write(os.path.join(out, "res_fuqilxh"), jokes, tang, 100)

    quizzes = ["题目", "A", "B", "C", "D", "答案"]
    # Which line follows: pairs of lines of the Tang poems, wrong choices
    # from lines of the same length.
    pairs = []
    for _, text, _ in tang:
        parts = [p for p in re.split(r"(?<=[，。？！；])", text) if p]
        lines = [p.rstrip("，。？！；") for p in parts]
        pairs += [(a, b) for a, b in zip(lines, lines[1:]) if 4 <= len(a) <= 9 and len(a) == len(b)]
    by_len = {}
    for _, b in pairs:
        by_len.setdefault(len(b), []).append(b)
    rng.shuffle(pairs)
    poetry = [quiz(f"“{a}”的下一句是", b, by_len[len(b)], rng) for a, b in pairs[:300]]
    write(os.path.join(out, "res_fengkuangwd"), quizzes, poetry, 50)

    terms = []
    for i, t in enumerate(TERMS):
        terms.append(quiz(f"{t}之后的节气是", TERMS[(i + 1) % 24], TERMS, rng))
        terms.append(quiz(f"{t}之前的节气是", TERMS[(i - 1) % 24], TERMS, rng))
        terms.append(quiz(f"{t}在公历几月", MONTHS[i // 2], MONTHS, rng))
    rng.shuffle(terms)
    write(os.path.join(out, "res_jiankangzs"), quizzes, terms, 50)

    basics = []
    authors = [a for _, _, a in tang if a]
    for title, _, author in tang:
        if author and len(set(authors)) > 4:
            basics.append(quiz(f"《{title}》的作者是", author, authors, rng))
    for i, a in enumerate(ANIMALS):
        basics.append(quiz(f"十二生肖中排第{i + 1}位的是", a, ANIMALS, rng))
    for a in range(2, 10):
        for b in range(a, 10):
            wrong = [str(a * b + d) for d in (-a, a, -1, 1, 10, -10) if a * b + d > 0]
            basics.append(quiz(f"{a}乘以{b}等于", str(a * b), wrong, rng))
    rng.shuffle(basics)
    write(os.path.join(out, "res_xiaoxuebk"), quizzes, basics, 50)
    return 0


if __name__ == "__main__":
    sys.exit(main())
