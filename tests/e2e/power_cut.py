#!/usr/bin/env python3
"""Cuts the power of the player 30 times at random moments (SIGKILL, a fixed
seed) while it reads a book, changes the volume and sends a folder to the
card, and checks after each cut what the next start finds:

- every store parses: the configuration file and its backup (settings,
  marks), the alarm file; none had to be kept aside as damaged;
- the reading volume is the one before or the one after the last change,
  and the new one once the change is a few seconds old;
- no file on the card carries a final name unless it is whole: the folder
  sent is there complete or not at all, and what a cut left under the
  hidden partial name is gone once the browser speaks again;
- a book that was being read reopens by itself within 10 s of listening of
  the sentence it was at.

  power_cut.py TALKBOOK [ROUNDS]

It reuses the story runner's player (run_story.Story): a fresh root, the key
FIFO, the transcript.
"""
import glob
import os
import random
import re
import sys
import time
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_story  # noqa: E402

SENTENCE = re.compile(r"^第(\d+)句话，")
BOOK = "/mnt/emmc/books/book.txt"
ALBUM = "/mnt/emmc/books/album"
CARD_ALBUM = "/mnt/sdcard/album"
SETTLED_S = 4.5  # a change this old must be in the file (it is saved after 3 s)


class Cut(Exception):
    pass


class PowerCut:
    def __init__(self, talkbook, rounds):
        self.rng = random.Random(29)
        self.rounds = rounds
        self.s = run_story.Story(talkbook, "power_cut")
        s = self.s
        for line in ('file /proc/mounts "/dev/mmcblk0p3 /mnt/emmc vfat rw 0 0\\n/dev/mmcblk1p1 /mnt/sdcard vfat rw 0 0\\n"',
                     "copy data/ChnCharIndexs.bin /home/ChnCharIndexs.bin",
                     'file /home/q7cfg.xml "<q7><config><LastPath>%s</LastPath><ContinueLastFile>2</ContinueLastFile>'
                     '</config><menu><MReadSpeed>20</MReadSpeed></menu></q7>"' % BOOK,
                     'text utf-8 %s "第{i}句话，读到这里的位置要记住。" 1000' % BOOK):
            s.run_line(run_story.shlex.split(line))
        for i in range(6):
            path = s.under("%s/part%d.bin" % (ALBUM, i))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(bytes([i]) * (3 << 20))
        self.volume = 10          # the volume last set
        self.volume_before = 10   # the one before that
        self.volume_at = 0.0      # when it was set
        self.changed = False      # by a key since the last cut
        self.book_open = True     # the book was open when the power went
        self.opened_at = 0.0      # when it was opened by a key
        self.sentence = None      # the last sentence heard before the cut
        self.seconds_per_sentence = 1.0
        self.resumed = self.volumes_checked = self.copies_cut = 0

    # -- the player ---------------------------------------------------------
    def heard(self, pattern, within):
        """The first line after the one matched last that matches pattern,
        waiting up to within seconds."""
        deadline = time.monotonic() + within * run_story.TIME_SCALE
        while time.monotonic() < deadline:
            for i, (_, text) in enumerate(self.s.spoken(with_times=True)[self.pos:], self.pos):
                if re.search(pattern, text):
                    self.pos = i + 1
                    return text
            if self.s.proc.poll() is not None:
                raise Cut(f"the player ended with {self.s.proc.returncode} before '{pattern}'")
            time.sleep(0.02)
        raise Cut(f"'{pattern}' not heard within {within} s")

    def key(self, name):
        self.s.send(name)

    def cut(self):
        self.s.proc.kill()
        self.s.proc.wait()
        spoken = self.s.spoken(with_times=True)
        read = [(ms, int(m.group(1))) for ms, t in spoken[self.run_from:] if (m := SENTENCE.match(t))]
        if read:
            self.sentence = read[-1][1]
            if len(read) >= 3:
                self.seconds_per_sentence = (read[-1][0] - read[0][0]) / 1000.0 / (read[-1][1] - read[0][1] or 1)

    # -- what the cut left ----------------------------------------------------
    def check_stores(self):
        for name in ("home/q7cfg.xml", "home/q7cfg.xml.bak", "home/q7alm.xml"):
            path = self.s.under(name)
            if os.path.exists(path):
                try:
                    root = ET.parse(path).getroot()
                except ET.ParseError as e:
                    raise Cut(f"{name} does not parse: {e}")
                if name.startswith("home/q7cfg") and root.tag != "q7":
                    raise Cut(f"{name}: root {root.tag}")
        bad = glob.glob(self.s.under("home/*.bad*"))
        if bad:
            raise Cut(f"a store was damaged: {bad}")
        volume = ET.parse(self.s.under("home/q7cfg.xml")).getroot().findtext("config/PromptVolume")
        volume = int(volume) if volume else 10
        if volume not in (self.volume_before, self.volume):
            raise Cut(f"volume {volume}, neither {self.volume_before} nor {self.volume}")
        if self.changed and time.monotonic() - self.volume_at > SETTLED_S * run_story.TIME_SCALE:
            self.volumes_checked += 1
            if volume != self.volume:
                raise Cut(f"volume {volume}: the change to {self.volume} was lost")
        self.volume = self.volume_before = volume
        self.changed = False
        # Under a final name only whole files.
        for path in glob.glob(self.s.under(CARD_ALBUM + "/*")):
            src = self.s.under(ALBUM + "/" + os.path.basename(path))
            if os.path.getsize(path) != os.path.getsize(src):
                raise Cut(f"{path} is cut short under its final name")

    # -- one round ---------------------------------------------------------------
    def start(self):
        self.run_from = self.pos = len(self.s.spoken())
        printed = len(self.s.lines("stdout.txt"))
        self.s.start([])
        # Start-up prints whether it reopens the last file, then the browser
        # speaks its entry; the book, when reopened, reads on.
        deadline = time.monotonic() + 20 * run_story.TIME_SCALE
        reopen = None
        while reopen is None:
            for line in self.s.lines("stdout.txt")[printed:]:
                if line.startswith("ContinueLastFile = "):
                    reopen = line != "ContinueLastFile = 0"
            if time.monotonic() > deadline:
                raise Cut("the player did not start")
            time.sleep(0.02)
        text = self.heard(SENTENCE.pattern if reopen else r"album|book\.txt|TF卡|本机磁盘", 20)
        if glob.glob(self.s.under("/mnt/sdcard/.*partial")):
            raise Cut("a partial copy outlived the start")
        m = SENTENCE.match(text)
        if m:
            if not self.book_open:
                self.book_open = True  # the close was not saved yet: the old state
            elif self.sentence is not None:
                behind = (self.sentence - int(m.group(1))) * self.seconds_per_sentence
                if int(m.group(1)) > self.sentence + 1 or behind > 10:
                    raise Cut(f"resumed at sentence {m.group(1)}, cut at {self.sentence} ({behind:.1f} s back)")
                self.resumed += 1
        else:
            settled = time.monotonic() - self.opened_at > SETTLED_S * run_story.TIME_SCALE
            if self.book_open and settled and self.rounds_done > 0:
                raise Cut(f"the open book did not reopen: heard '{text}'")
            self.book_open = False
        return text

    def to_browser_entry(self, name, heard):
        """From the book or the browser to the books folder's entry name."""
        if self.book_open:
            self.key("BACK")
            self.book_open = False
            heard = self.heard(r"book\.txt", 5)
        if "album" not in heard and "book.txt" not in heard:
            raise Cut(f"the browser is not in the books folder: '{heard}'")
        if name not in heard:
            self.key("DOWN" if name == "book.txt" else "UP")
            self.heard(name, 5)

    def round(self):
        # A whole copy from before would make the send refuse: the card is
        # emptied while the power is off.
        if os.path.isdir(self.s.under(CARD_ALBUM)):
            run_story.shutil.rmtree(self.s.under(CARD_ALBUM))
        heard = self.start()
        action = self.rng.choice(["read", "volume", "volume", "copy"])
        if action == "copy":
            self.to_browser_entry("album", heard)
            for k in ("MENU", "MENU", "DOWN"):
                self.key(k)
            self.heard("发送到TF卡", 5)
            self.key("OK")
            self.heard("正在复制目录", 5)
            time.sleep(self.rng.uniform(0.0, 0.6))
            self.copies_cut += 1
        else:
            if not self.book_open:
                self.to_browser_entry("book.txt", heard)
                self.key("OK")
                self.book_open = True
                self.opened_at = time.monotonic()
            self.heard(SENTENCE.pattern, 10)
            if action == "volume":
                up = self.volume < 6 or (self.volume < 20 and self.rng.random() < 0.5)
                self.key("VOLUP" if up else "VOLDOWN")  # the reader's volume: silent
                self.volume_before = self.volume
                self.volume += 1 if up else -1
                self.volume_at = time.monotonic()
                self.changed = True
            # Now and then long enough for the change to be saved.
            time.sleep(self.rng.uniform(4.6, 5.0) if action == "volume" and self.rng.random() < 0.3
                       else self.rng.uniform(0.1, 1.2))
        self.cut()
        self.check_stores()

    def run(self):
        ok = False
        try:
            for self.rounds_done in range(self.rounds):
                self.round()
            self.start()
            ok = True
            print(f"{self.rounds} cuts: {self.resumed} resumed the book, {self.volumes_checked} settled volume "
                  f"changes kept, {self.copies_cut} copies cut")
        except (Cut, run_story.StoryError) as e:
            print(f"FAIL round {self.rounds_done + 1}: {e}")
        finally:
            if self.s.proc and self.s.proc.poll() is None:
                self.s.proc.kill()
                self.s.proc.wait()
            if self.s.fifo is not None:
                os.close(self.s.fifo)
            self.s.report(ok)
        return ok


def main():
    if len(sys.argv) not in (2, 3):
        print("usage: power_cut.py TALKBOOK [ROUNDS]", file=sys.stderr)
        return 2
    rounds = int(sys.argv[2]) if len(sys.argv) == 3 else 30
    return 0 if PowerCut(os.path.abspath(sys.argv[1]), rounds).run() else 1


if __name__ == "__main__":
    sys.exit(main())
