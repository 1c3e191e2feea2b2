#!/usr/bin/env python3
"""Runs one end-to-end story against the real player on the host board.

A story is a text file, one command per line ('#' starts a comment):

  Setting up the root (before `start`):
    cmdline TEXT            proc/cmdline (default: a v2.0 board)
    kernel TEXT             proc/version (default: Linux version 3.10.14)
    nocmdline               no proc/cmdline at all
    file PATH "TEXT"        write a file under the root ("\\n" for newlines)
    text CHARSET PATH "TEXT" [COUNT]
                            write TEXT ("\\n" for newlines) COUNT times (default
                            1), "{i}" in it replaced by the repetition's number
                            from 1, encoded in CHARSET (a Python codec name:
                            gbk, big5, utf-16, utf-8-sig)
    mkdir PATH              make a folder under the root
    name CHARSET PATH       rename the file or folder PATH so that its last
                            part is encoded in CHARSET (a name written by
                            another device: gbk, big5)
    copy SRC PATH           copy a file or folder; SRC relative to the
                            repository, or $SAMPLES/... for the sample books
    tones PATH              write the tone ladder capture WAV (tests/e2e/reccheck.py)
                            to PATH under the root
    start [ARGS...]         start talkbook (extra options after the fixed ones,
                            "$ROOT" in them replaced by the root folder);
                            after `expect exit` it starts the player again on
                            the same root (a power cycle)

  Driving the player (after `start`):
    key NAME | hold NAME MS | sleep MS | hotplug WORD | advance SECONDS
                            sent through the --keys FIFO as the player reads it
                            (advance moves the board's wall clock on)
    wait MS                 the runner pauses
    silent N                N connections to the virtual-key server that
                            never say a word, held to the end of the story
    kill                    the player is killed (SIGKILL), as by a power cut;
                            `start` starts it again on the same root
    signal NAME             the player is sent signal NAME (TERM, INT, HUP)
    clock SECONDS           (before start) --clock-offset
    date YYYY-MM-DD HH:MM:SS
                            (before start) the player's clock reads this UTC
                            time at start (an offset from the machine's clock)

  Expectations (each waits up to 3 s unless `within MS` follows):
    expect say "TEXT"       a spoken line equal to TEXT, after the last one matched
    expect next "TEXT"      the very next spoken line equals TEXT (no line in
                            between): golden walks compare line by line
    expect saying "TEXT"    a spoken line containing TEXT, after the last one matched
    expect nosay "TEXT" [within MS]
                            no spoken line containing TEXT within MS (default 1000)
    expect command "TEXT"   a shell command line equal to TEXT was issued
    expect nocommand "TEXT" no such shell command (checked at once)
    expect stdout "TEXT"    the player printed a line containing TEXT
    expect file PATH [contains "TEXT"]
    expect file PATH lacks "TEXT"
                            the file holds no TEXT (checked at once)
    expect nofile PATH      no file matches PATH (which may hold * and ?)
    expect exit CODE        the player ended with CODE
    expect heard [MS]       the line last matched by say/next was heard: from
                            its start the prompt voice (16000 Hz mono) wrote at
                            least MS ms (default 500) of PCM to the device, and
                            with `start --audio wav` that PCM is not silence
    expect cut              the line last matched by say/next cut off the sound
                            before it: the device was reset, and the new
                            line's first write sounds before what was queued
                            before the reset would have ended
    expect tone RATE CH [MS]
                            since the line last matched (or the start), at
                            least MS ms (default 1000) of PCM at RATE Hz and
                            CH channels went to the device (a ring tone, a
                            clip), not silence with `start --audio wav`
    expect clips DIR [N]    (needs `start --audio wav`) the DAISY clips of this
                            run, logged by the screen in sound.log, are clips
                            of the book in DIR (its SMIL files) and out.wav
                            holds the source decoded by ffmpeg there within
                            50 ms, clips that continue one another without a
                            jump; at least N (default 1) clips checked
                            (tests/e2e/clipcheck.py)
    expect recording FOLDER [pauses N] [rate HZ] [ch N]
                            the newest file in FOLDER is a recording of the
                            tone ladder that ends within 50 ms of the moment
                            the recording device closed, its last 200 ms
                            holding the tones played just before, with N
                            pauses (default 0) leaving gaps and nothing
                            repeated (tests/e2e/reccheck.py)

Spoken lines are the transcript's lines of every voice except "param" (the
prompt voice's parameter changes, recorded beside the speech).

  run_story.py [--emulator "CMD ARGS"] [--time-scale N] TALKBOOK STORY

--emulator runs the player through a CPU emulator (the board build under
qemu-user); --time-scale multiplies every time the runner waits for the
player (expectations, the final switch-off), not the story's own `wait`,
`sleep` and `hold` times, which are the player's timeline.

At the end of the story a player still running is switched off with a held
power key and must end within 10 s with status 0; a sanitizer report or any
other non-zero status fails the story.
"""
import array
import calendar
import glob
import os
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import wave

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The sample books (third_party/samples unless TB_SAMPLES_DIR names others).
SAMPLES = os.environ.get("TB_SAMPLES_DIR") or os.path.join(REPO, "third_party", "samples")
DEFAULT_CMDLINE = ("console=ttyS0 hard_ver=q7_v2.0_3_128mb,abcd123456240315,"
                   "v1.0,v1.1,v1.2,v1.3,v1.4 rootwait\n")
DEFAULT_VERSION = "Linux version 3.10.14 (builder@host) #1 PREEMPT\n"


class StoryError(Exception):
    pass


# Sanitizer builds run several times slower, the more so on a busy machine:
# E2E_TIME_SCALE (set by the host-tsan test preset) stretches every wait for
# something to happen; waits for nothing to happen keep their length.
TIME_SCALE = float(os.environ.get("E2E_TIME_SCALE", "1"))


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def unquote(text):
    return text.encode("utf-8").decode("unicode_escape").encode("latin-1").decode("utf-8")


class Story:
    def __init__(self, talkbook, path, emulator=(), time_scale=1.0):
        self.talkbook = talkbook
        self.emulator = list(emulator)
        self.time_scale = time_scale
        self.path = path
        self.root = tempfile.mkdtemp(prefix="talkbook-e2e-")
        self.proc = None
        self.silent = []
        self.fifo = None
        self.said_from = 0      # transcript lines before this index are used up
        self.said_ms = None     # transcript time of the line matched last
        self.sound_from = 0     # sound.log lines of earlier runs
        self.clock = 0
        self.expected_exit = 0
        self.cmdline = DEFAULT_CMDLINE
        self.version = DEFAULT_VERSION
        for d in ("proc", "home", "mnt/emmc", "mnt/sdcard", "tmp"):
            os.makedirs(os.path.join(self.root, d), exist_ok=True)
        # What the tree supplies for the device: the speech resource, the
        # word list, collation weights, PDF tools (not the card's polyphone table).
        subprocess.run([os.path.join(REPO, "scripts", "install-home"), self.root, "--home-only"], check=True,
                       stdout=subprocess.DEVNULL)

    # -- files the player writes ------------------------------------------
    def host(self, name):
        return os.path.join(self.root, "host", name)

    def lines(self, name):
        try:
            with open(self.host(name), encoding="utf-8", errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def spoken(self, with_times=False):
        out = []
        for line in self.lines("transcript.txt"):
            parts = line.split("\t", 2)
            if len(parts) == 3 and parts[1] != "param":
                out.append((int(parts[0]), parts[2]) if with_times else parts[2])
        return out

    def under(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    # -- waiting ----------------------------------------------------------
    def wait_for(self, what, check, within_ms):
        within_ms = int(within_ms * self.time_scale * TIME_SCALE)
        deadline = time.monotonic() + within_ms / 1000.0
        while True:
            if check():
                return
            if self.proc and self.proc.poll() is not None and not check():
                raise StoryError(f"{what}: the player ended (status {self.proc.returncode}) first")
            if time.monotonic() > deadline:
                raise StoryError(f"{what}: not seen within {within_ms} ms")
            time.sleep(0.02)

    def expect_say(self, text, within, contains):
        def check():
            spoken = self.spoken(with_times=True)
            for i in range(self.said_from, len(spoken)):
                said = spoken[i][1]
                # "saying A|B": a line holding either part.
                if any(t in said for t in text.split("|")) if contains else (said == text):
                    self.said_from = i + 1
                    self.said_ms = spoken[i][0]
                    return True
            return False
        self.wait_for(f'say "{text}"', check, within)

    def expect_next(self, text, within):
        def check():
            spoken = self.spoken(with_times=True)
            if self.said_from >= len(spoken):
                return False
            if spoken[self.said_from][1] != text:
                raise StoryError(f'next "{text}": heard "{spoken[self.said_from][1]}"')
            self.said_ms = spoken[self.said_from][0]
            self.said_from += 1
            return True
        self.wait_for(f'next "{text}"', check, within)

    def speech_writes(self, start_ms, end_ms, rate="16000", ch="1"):
        """The device writes of PCM at rate and channels (16000 Hz mono: the
        prompt voice) between two times of this run, as (bytes, out.wav
        frame) pairs."""
        formats = {}
        writes = []
        for line in self.lines("sound.log")[self.sound_from:]:
            words = line.split()
            if len(words) < 3 or words[1] != "dsp":
                continue
            kv = dict(w.split("=", 1) for w in words[3:] if "=" in w)
            if words[2] in ("open", "set") and "fd" in kv and "rate" in kv:
                formats[kv["fd"]] = (kv["rate"], kv["ch"])
            elif words[2] == "write" and "bytes" in kv:
                ms = float(words[0])
                if formats.get(kv["fd"]) == (rate, ch) and start_ms <= ms < end_ms:
                    writes.append((int(kv["bytes"]), int(kv["pos"])))
        return writes

    def expect_heard(self, args, within):
        if self.said_ms is None:
            raise StoryError("heard: no line matched before")
        want_ms = int(args[0]) if args else 500
        spoken = self.spoken(with_times=True)
        end_ms = spoken[self.said_from][0] if self.said_from < len(spoken) else float("inf")
        # The insert opens (and may write) just before the line is recorded.
        start_ms = self.said_ms - 20
        state = {}

        def check():
            writes = self.speech_writes(start_ms, end_ms)
            state["ms"] = sum(b for b, _ in writes) / 32.0
            return state["ms"] >= want_ms
        try:
            self.wait_for(f"heard {want_ms} ms", check, within)
        except StoryError:
            raise StoryError(f"heard: only {state.get('ms', 0):.0f} ms of speech written, {want_ms} wanted")
        self.not_silence("heard", self.speech_writes(start_ms, end_ms), 16000, 1)

    def expect_cut(self, within):
        if self.said_ms is None:
            raise StoryError("cut: no line matched before")
        state = {}

        def check():
            # The last reset before the line divides what was queued for the
            # old sound from the new line's writes.
            queued_end, since, reset = 0.0, [], False
            for line in self.lines("sound.log")[self.sound_from:]:
                words = line.split()
                if len(words) < 3 or words[1] != "dsp":
                    continue
                kv = dict(w.split("=", 1) for w in words[3:] if "=" in w)
                if words[2] == "reset" and float(words[0]) <= self.said_ms + 1:
                    # bytes / 32: ms of the prompt voice's 16000 Hz mono
                    queued_end = max([queued_end] + [p + b / 32.0 for p, b in since])
                    since, reset = [], True
                elif words[2] == "write" and "play" in kv:
                    since.append((float(kv["play"]), int(kv["bytes"])))
            state.update(end=queued_end, first=since[0][0] if reset and since else None)
            return state["first"] is not None
        try:
            self.wait_for("cut", check, within)
        except StoryError:
            raise StoryError(f"cut: no reset before the line, or nothing written after it ({state})")
        if state["first"] >= state["end"]:
            raise StoryError(f"cut: first sample at {state['first']} ms, after the old sound's end {state['end']} ms")

    def not_silence(self, what, writes, rate, ch):
        """With a WAV outlet, the writes are not silence in out.wav."""
        try:
            with wave.open(self.host("out.wav"), "rb") as w:
                frames = array.array("h", w.readframes(w.getnframes()))
        except (FileNotFoundError, wave.Error, EOFError):
            return  # no WAV outlet: the log is all there is
        total = count = 0
        for size, pos in writes:
            n = size // (2 * ch) * 44100 // rate
            for v in frames[2 * pos:2 * (pos + n):2]:
                total += v * v
                count += 1
        rms = (total / count) ** 0.5 if count else 0
        if rms < 300:
            raise StoryError(f"{what}: the sound written is silence (RMS {rms:.0f} over {count} samples)")

    def expect_tone(self, args, within):
        rate, ch = int(args[0]), int(args[1])
        want_ms = int(args[2]) if len(args) > 2 else 1000
        start_ms = self.said_ms if self.said_ms is not None else 0
        state = {}

        def check():
            state["writes"] = self.speech_writes(start_ms, float("inf"), str(rate), str(ch))
            return sum(b for b, _ in state["writes"]) * 1000.0 / (2 * ch * rate) >= want_ms
        self.wait_for(f"tone {rate} Hz {want_ms} ms", check, within)
        self.not_silence("tone", state["writes"], rate, ch)

    # -- commands ---------------------------------------------------------
    def send(self, line):
        if not self.proc:
            raise StoryError(f"'{line}' before start")
        os.write(self.fifo, (line + "\n").encode("utf-8"))

    def start(self, extra):
        again = self.proc is not None
        if self.proc:
            if self.proc.poll() is None:
                raise StoryError("start: the player is still running")
            os.close(self.fifo)
            self.fifo = None
            self.stdout.close()
            os.unlink(os.path.join(self.root, "keys.fifo"))
            self.proc = None
            self.expected_exit = 0
        with open(self.under("proc/version"), "w") as f:
            f.write(self.version)
        if self.cmdline is not None:
            with open(self.under("proc/cmdline"), "w") as f:
                f.write(self.cmdline)
        fifo_path = os.path.join(self.root, "keys.fifo")
        os.mkfifo(fifo_path)
        # Read-write so that the FIFO has a writer from the start.
        self.fifo = os.open(fifo_path, os.O_RDWR)
        self.vkey_port = free_port()
        args = self.emulator + [self.talkbook, "--root", self.root, "--keys", fifo_path,
                "--vkey-port", str(self.vkey_port), "--audio", "null"]
        if self.clock:
            args += ["--clock-offset", str(self.clock)]
        args += extra
        os.makedirs(os.path.join(self.root, "host"), exist_ok=True)
        self.sound_from = len(self.lines("sound.log"))
        self.stdout = open(self.host("stdout.txt"), "a" if again else "w")
        self.proc = subprocess.Popen(args, stdout=self.stdout, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL)

    def run_line(self, words):
        verb = words[0]
        within = 3000
        if "within" in words:
            i = words.index("within")
            within = int(words[i + 1])
            words = words[:i]
        if verb == "cmdline":
            self.cmdline = words[1] + "\n"
        elif verb == "nocmdline":
            self.cmdline = None
        elif verb == "kernel":
            self.version = words[1] + "\n"
        elif verb == "clock":
            self.clock = int(words[1])
        elif verb == "date":
            target = calendar.timegm(time.strptime(" ".join(words[1:3]), "%Y-%m-%d %H:%M:%S"))
            self.clock = target - int(time.time())
        elif verb == "file":
            path = self.under(words[1])
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(unquote(words[2]) if len(words) > 2 else "")
        elif verb == "text":
            path = self.under(words[2])
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                text = unquote(words[3])
                count = int(words[4]) if len(words) > 4 else 1
                f.write("".join(text.replace("{i}", str(i)) for i in range(1, count + 1)).encode(words[1]))
        elif verb == "mkdir":
            os.makedirs(self.under(words[1]), exist_ok=True)
        elif verb == "name":
            path = self.under(words[2])
            folder, last = os.path.split(path)
            os.rename(path, os.path.join(os.fsencode(folder), last.encode(words[1])))
        elif verb == "copy":
            src = words[1].replace("$SAMPLES", SAMPLES)
            if not os.path.isabs(src):
                src = os.path.join(REPO, src)
            dst = self.under(words[2])
            os.makedirs(os.path.dirname(dst.rstrip("/")), exist_ok=True)
            if os.path.isdir(src):
                shutil.copytree(src, dst, dirs_exist_ok=True)
            else:
                shutil.copy(src, dst)
        elif verb == "tones":
            import reccheck
            path = self.under(words[1])
            os.makedirs(os.path.dirname(path), exist_ok=True)
            reccheck.write_ladder(path)
        elif verb == "start":
            self.start([w.replace("$ROOT", self.root) for w in words[1:]])
        elif verb in ("key", "hold", "sleep", "hotplug", "advance"):
            self.send(" ".join(words if verb != "key" else words[1:]))
        elif verb == "kill":
            self.proc.kill()
            self.proc.wait()
            self.expected_exit = self.proc.returncode
        elif verb == "signal":
            self.proc.send_signal(getattr(signal, "SIG" + words[1]))
        elif verb == "silent":
            self.connect_silent(int(words[1]))
        elif verb == "wait":
            time.sleep(int(words[1]) / 1000.0)
        elif verb == "expect":
            self.expect(words[1], words[2:], within)
        else:
            raise StoryError(f"unknown command '{verb}'")

    def connect_silent(self, n):
        # The server may not listen yet just after start.
        deadline = time.time() + 10 * self.time_scale * TIME_SCALE
        while n > 0:
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            try:
                s.connect(("127.0.0.1", self.vkey_port))
                self.silent.append(s)
                n -= 1
            except OSError:
                s.close()
                if time.time() > deadline:
                    raise StoryError("silent: no virtual-key server")
                time.sleep(0.05)

    def expect(self, kind, args, within):
        if kind == "say":
            self.expect_say(args[0], within, contains=False)
        elif kind == "next":
            self.expect_next(args[0], within)
        elif kind == "saying":
            self.expect_say(args[0], within, contains=True)
        elif kind == "heard":
            self.expect_heard(args, within)
        elif kind == "cut":
            self.expect_cut(within)
        elif kind == "tone":
            self.expect_tone(args, within)
        elif kind == "clips":
            import clipcheck
            problems, summary = clipcheck.check(self.root, args[0], self.lines("sound.log")[self.sound_from:],
                                                int(args[1]) if len(args) > 1 else 1)
            print(f"clips: {summary}")
            if problems:
                raise StoryError("clips: " + "; ".join(problems[:5]))
        elif kind == "recording":
            import reccheck
            want = {k: int(v) for k, v in zip(args[1::2], args[2::2])}
            problems, summary = reccheck.check(self.root, args[0], self.lines("sound.log")[self.sound_from:], want)
            print(f"recording: {summary}")
            if problems:
                raise StoryError("recording: " + "; ".join(problems))
        elif kind == "nosay":
            ms = within if within != 3000 else 1000
            time.sleep(ms * self.time_scale / 1000.0)
            hits = [s for s in self.spoken()[self.said_from:] if args[0] in s]
            if hits:
                raise StoryError(f'nosay "{args[0]}": heard "{hits[0]}"')
        elif kind == "command":
            self.wait_for(f'command "{args[0]}"', lambda: args[0] in self.lines("commands.txt"), within)
        elif kind == "nocommand":
            if args[0] in self.lines("commands.txt"):
                raise StoryError(f'nocommand "{args[0]}": it was issued')
        elif kind == "stdout":
            self.wait_for(f'stdout "{args[0]}"',
                          lambda: any(args[0] in l for l in self.lines("stdout.txt")), within)
        elif kind == "file" and len(args) >= 3 and args[1] == "lacks":
            with open(self.under(args[0]), encoding="utf-8", errors="replace") as f:
                if args[2] in f.read():
                    raise StoryError(f'file {args[0]}: holds "{args[2]}"')
        elif kind == "file":
            path = self.under(args[0])

            def check():
                if not os.path.exists(path):
                    return False
                if len(args) >= 3 and args[1] == "contains":
                    with open(path, encoding="utf-8", errors="replace") as f:
                        return args[2] in f.read()
                return True
            self.wait_for(f"file {args[0]}", check, within)
        elif kind == "nofile":
            found = glob.glob(self.under(args[0]))
            if found:
                raise StoryError(f"nofile {args[0]}: {found[0]} exists")
        elif kind == "exit":
            code = int(args[0])
            self.expected_exit = code
            try:
                self.proc.wait(timeout=within * self.time_scale * TIME_SCALE / 1000.0)
            except subprocess.TimeoutExpired:
                raise StoryError(f"exit {code}: still running after {within * self.time_scale * TIME_SCALE:.0f} ms")
            if self.proc.returncode != code:
                raise StoryError(f"exit {code}: ended with {self.proc.returncode}")
        else:
            raise StoryError(f"unknown expectation '{kind}'")

    def finish(self):
        if not self.proc:
            return
        if self.proc.poll() is None:
            self.send("hold POWER 2500")
            try:
                self.proc.wait(timeout=10 * self.time_scale * TIME_SCALE)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                raise StoryError("the player did not switch off within 10 s of a held power key")
        if self.proc.returncode != self.expected_exit:
            raise StoryError(f"the player ended with status {self.proc.returncode}")

    def run(self):
        ok = False
        try:
            with open(self.path, encoding="utf-8") as f:
                for number, raw in enumerate(f, 1):
                    line = raw.strip()
                    if not line or line.startswith("#"):
                        continue
                    try:
                        words = shlex.split(line, comments=True)
                        if words:
                            self.run_line(words)
                    except StoryError as e:
                        raise StoryError(f"{os.path.basename(self.path)}:{number}: {e}")
            self.finish()
            ok = True
        except StoryError as e:
            print(f"FAIL {e}")
        finally:
            if self.proc and self.proc.poll() is None:
                self.proc.kill()
                self.proc.wait()
            if self.fifo is not None:
                os.close(self.fifo)
            self.report(ok)
        return ok

    def report(self, ok):
        if ok and not os.environ.get("E2E_VERBOSE"):
            shutil.rmtree(self.root, ignore_errors=True)
            return
        print(f"--- root kept at {self.root}")
        for name in ("transcript.txt", "commands.txt", "stdout.txt", "sound.log"):
            lines = self.lines(name)
            if lines:
                print(f"--- {name} (last 40 lines)")
                print("\n".join(lines[-40:]))


def main():
    args = sys.argv[1:]
    emulator, time_scale = [], 1.0
    while len(args) > 2 and args[0] in ("--emulator", "--time-scale"):
        if args[0] == "--emulator":
            emulator = shlex.split(args[1])
        else:
            time_scale = float(args[1])
        args = args[2:]
    if len(args) != 2:
        print("usage: run_story.py [--emulator CMD] [--time-scale N] TALKBOOK STORY", file=sys.stderr)
        return 2
    ok = Story(os.path.abspath(args[0]), args[1], emulator, time_scale).run()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
