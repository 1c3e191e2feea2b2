#!/usr/bin/env python3
"""Makes the example-word list WordList.bin from public dictionary data.

Sources (Debian packages, read where they install):
  rime-data-pinyin-simp  /usr/share/rime-data/pinyin_simp.dict.yaml
      simplified words with their pinyin and a frequency weight (Apache-2.0)
  rime-essay             /usr/share/rime-data/essay.txt
      traditional words with a frequency weight (LGPL-3); used only for
      characters the first source has no words for

    apt-get install rime-data-pinyin-simp rime-essay
    tools/wordlist/make_wordlist.py data/WordList.bin

For every character the list keeps up to three common words of two
characters (longer ones only when there are too few), first one word for
each reading of a character with several readings, so that spelling 行 says
both 银行 and 行动.

Output layout (little-endian): "WordList" NUL-terminated at 0; first code
(u16) at 32, last code (u16) at 34, offsets-table offset 512 (u32) at 36,
words-area offset (u32) at 40; at 512 one u32 offset per code from first to
last plus an end offset, relative to the words area; each entry is a count
byte n, n length bytes (in UTF-16 units), a pad byte when n is even, then the
n words in UTF-16LE. Entries start at even offsets so words are 2-byte
aligned on the device.
"""
import argparse
import struct
import sys
from collections import defaultdict

MAX_WORDS = 3
TABLE_OFFSET = 512


def is_han(ch):
    c = ord(ch)
    return 0x3400 <= c <= 0x4DBF or 0x4E00 <= c <= 0x9FFF or 0xF900 <= c <= 0xFAFF


def read_pinyin_simp(path):
    """Yields (word, [syllable per character] or None, weight)."""
    body = False
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not body:
                body = line == "..."
                continue
            parts = line.split("\t")
            if len(parts) < 3 or not parts[2].strip().isdigit():
                continue
            word, reading, weight = parts[0], parts[1].split(), int(parts[2])
            yield word, reading if len(reading) == len(word) else None, weight


def read_essay(path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            if len(parts) == 2 and parts[1].isdigit():
                yield parts[0], None, int(parts[1])


def collect(entries):
    """Character -> list of (weight, word, reading of that character)."""
    found = defaultdict(list)
    for word, reading, weight in entries:
        if not 2 <= len(word) <= 4 or not all(is_han(ch) for ch in word) or weight <= 0:
            continue
        for i, ch in enumerate(word):
            if word.count(ch) == 1:
                found[ch].append((weight, word, reading[i] if reading else None))
    return found


def choose(candidates):
    """Up to MAX_WORDS words: one per reading first, then the most frequent."""
    best = sorted(candidates, key=lambda c: (len(c[1]) != 2, -c[0], c[1]))
    top = best[0][0] if best else 0
    chosen, readings = [], set()
    for weight, word, reading in best:
        if len(chosen) >= MAX_WORDS:
            break
        # a rare reading is more often a data error than a real one
        if reading and reading not in readings and weight * 50 >= top:
            readings.add(reading)
            chosen.append(word)
    for weight, word, reading in best:
        if len(chosen) >= MAX_WORDS:
            break
        if word not in chosen:
            chosen.append(word)
    return chosen


def entry_bytes(words):
    units = [w.encode("utf-16-le") for w in words]
    out = bytearray([len(words)])
    out += bytes(len(u) // 2 for u in units)
    if len(words) % 2 == 0:
        out.append(0)
    for u in units:
        out += u
    return bytes(out)


def build(table):
    codes = sorted(ord(ch) for ch in table if ord(ch) <= 0xFFFF)
    first, last = codes[0], codes[-1]
    offsets, area = [], bytearray()
    for code in range(first, last + 1):
        offsets.append(len(area))
        words = table.get(chr(code))
        if words:
            area += entry_bytes(words)
    offsets.append(len(area))
    words_offset = TABLE_OFFSET + 4 * len(offsets)
    head = bytearray(TABLE_OFFSET)
    head[0:9] = b"WordList\0"
    struct.pack_into("<HHII", head, 32, first, last, TABLE_OFFSET, words_offset)
    return bytes(head) + struct.pack("<%dI" % len(offsets), *offsets) + bytes(area)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("output")
    ap.add_argument("--simp", default="/usr/share/rime-data/pinyin_simp.dict.yaml")
    ap.add_argument("--essay", default="/usr/share/rime-data/essay.txt")
    args = ap.parse_args()
    try:
        simp = collect(read_pinyin_simp(args.simp))
        essay = collect(read_essay(args.essay))
    except OSError as e:
        sys.exit("%s (apt-get install rime-data-pinyin-simp rime-essay)" % e)
    table = {}
    for ch in set(simp) | set(essay):
        words = choose(simp[ch]) if ch in simp else choose(essay[ch])
        if words:
            table[ch] = words
    data = build(table)
    with open(args.output, "wb") as f:
        f.write(data)
    print("%s: %d characters U+%04X..U+%04X, %d bytes" % (
        args.output, len(table), min(map(ord, table)), max(map(ord, table)), len(data)))


if __name__ == "__main__":
    main()
