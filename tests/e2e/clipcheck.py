"""Checks the DAISY screen's clips against what really played.

The screen writes a line per clip to the host's sound log
("T sound daisy clip src=F begin=MS end=MS rate=R ch=C skip=BYTES": the
clip's first sample lies BYTES into what the screen writes next), and the
host logs every device write with its frame position in out.wav (44100 Hz
stereo). For each clip this finds the out.wav frame of its first sample and
compares the PCM there with the source file decoded by ffmpeg at the clip's
time: the best alignment must lie within 50 ms, and clips that continue one
another in one file must keep the same alignment (nothing repeated, nothing
missing). Each clip's end and start must also be a clip of the book's SMIL
files (the start may lie inside the clip after a resume or a time jump).
"""
import array
import glob
import os
import re
import subprocess
import wave

WAV_RATE = 44100
TOLERANCE_MS = 50
PROBE = 256  # samples compared at each clip


def smil_clips(book_dir):
    """(src, begin_ms, end_ms) of every audio element of the book."""
    clips = []

    def ms(value):
        value = value.strip()
        if value.startswith("npt="):
            value = value[4:]
        if value.endswith("ms"):
            return float(value[:-2])
        if value.endswith("s"):
            return float(value[:-1]) * 1000
        parts = [float(p) for p in value.split(":")]
        total = 0.0
        for p in parts:
            total = total * 60 + p
        return total * 1000
    for path in glob.glob(os.path.join(book_dir, "*.smil")):
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for tag in re.findall(r"<audio\b[^>]*>", text):
            attrs = dict(re.findall(r'([\w:-]+)="([^"]*)"', tag))
            begin = attrs.get("clip-begin", attrs.get("clipBegin"))
            end = attrs.get("clip-end", attrs.get("clipEnd"))
            if "src" in attrs and begin is not None and end is not None:
                clips.append((attrs["src"], ms(begin), ms(end)))
    return clips


def clip_lines(log_lines):
    """The clips with the out.wav frame of their first sample (None when
    never written)."""
    fmt = None
    clips = []
    for line in log_lines:
        words = line.split()
        if len(words) < 3:
            continue
        kv = dict(w.split("=", 1) for w in words[2:] if "=" in w)
        if words[1] == "dsp" and words[2] in ("open", "set") and "rate" in kv:
            fmt = (int(kv["rate"]), int(kv["ch"]))
        elif words[1] == "sound" and words[2] == "restore" and "rate" in kv:
            fmt = (int(kv["rate"]), int(kv["ch"]))
        elif words[1] == "sound" and words[2:4] == ["daisy", "clip"]:
            # A clip not written yet when the next begins was left unheard.
            for c in clips:
                c["open"] = False
            clips.append({"src": kv["src"], "begin": int(kv["begin"]), "end": int(kv["end"]),
                          "rate": int(kv["rate"]), "ch": int(kv["ch"]), "skip": int(kv["skip"]),
                          "pos": None, "time": float(words[0]), "open": True})
        elif words[1] == "dsp" and words[2] == "write" and "bytes" in kv and fmt:
            size, pos = int(kv["bytes"]), int(kv["pos"])
            for c in clips:
                if not c["open"] or fmt != (c["rate"], c["ch"]):
                    continue
                frames = round(size // (2 * c["ch"]) * WAV_RATE / c["rate"])
                if c["pos"] is not None:
                    # Only the run of writes that follow one another in
                    # out.wav: after a prompt the clip lies elsewhere.
                    if abs(pos - (c["pos"] + c["written"])) <= 2:
                        c["written"] = pos + frames - c["pos"]
                    else:
                        c["open"] = False
                elif c["skip"] < size:
                    skipped = round(c["skip"] // (2 * c["ch"]) * WAV_RATE / c["rate"])
                    c["pos"] = pos + skipped
                    c["written"] = frames - skipped
                else:
                    c["skip"] -= size
    return clips


def decode(path, rate):
    raw = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", path, "-ac", "1", "-ar", str(rate),
                          "-f", "s16le", "-"], check=True, stdout=subprocess.PIPE).stdout
    return array.array("h", raw)


def best_lag(played, source, start, max_lag):
    """The lag (in source samples) at which played matches source[start+lag:],
    and the relative error there; (None, err) when nothing matches."""
    ref = sum(abs(v) for v in played) or 1

    def error(lag, limit):
        total = 0
        base = start + lag
        if base < 0 or base + len(played) > len(source):
            return float("inf")
        for i, v in enumerate(played):
            total += abs(v - source[base + i])
            if total > limit:
                return float("inf")
        return total
    err0 = error(0, float("inf"))
    if err0 / ref < 0.05:
        return 0, err0 / ref
    best, best_err = None, err0
    for lag in range(-max_lag, max_lag + 1):
        e = error(lag, best_err)
        if e < best_err:
            best, best_err = lag, e
    if best is None or best_err / ref > 0.2:
        return None, best_err / ref
    return best, best_err / ref


def check(root, book_dir_fixed, log_lines, minimum):
    """Returns (problems, summary). book_dir_fixed is the book folder as the
    player names it (under the root)."""
    book_dir = os.path.join(root, book_dir_fixed.lstrip("/"))
    clips = clip_lines(log_lines)
    book = smil_clips(book_dir)
    problems = []
    try:
        with wave.open(os.path.join(root, "host", "out.wav"), "rb") as w:
            frames = array.array("h", w.readframes(w.getnframes()))
    except (FileNotFoundError, wave.Error, EOFError):
        return ["no out.wav (start --audio wav)"], ""
    sources = {}
    checked, lags, worst = 0, [], 0.0
    previous = None
    for c in clips:
        name = f'{c["src"]} {c["begin"]}-{c["end"]}'
        # The book's own clip: the same end, the start inside it.
        ok = any(src == c["src"] and abs(e - c["end"]) <= TOLERANCE_MS and b - TOLERANCE_MS <= c["begin"] < e
                 for src, b, e in book) if c["end"] >= 0 else any(src == c["src"] for src, _, _ in book)
        if not ok:
            problems.append(f"{name}: not a clip of the book")
        if c["pos"] is None:
            previous = None
            continue  # left before a sample of it was written
        rate = c["rate"]
        if c["src"] not in sources:
            sources[c["src"]] = decode(os.path.join(book_dir, c["src"]), rate)
        source = sources[c["src"]]
        start = round(c["begin"] * rate / 1000)
        length = (round(c["end"] * rate / 1000) if c["end"] >= 0 else len(source)) - start
        # The loudest stretch of the clip's first second, of what was written
        # before a key cut it: silence aligns anywhere.
        span = min(length, rate, c["written"] * rate // WAV_RATE) - PROBE
        best_at, best_energy = 0, -1
        for at in range(0, max(span, 1), PROBE // 2):
            energy = sum(abs(v) for v in source[start + at:start + at + PROBE])
            if energy > best_energy:
                best_at, best_energy = at, energy
        if best_energy < PROBE * 200 or span < 0:
            previous = None
            continue
        played = array.array("h")
        for i in range(best_at, best_at + PROBE):
            j = c["pos"] + round(i * WAV_RATE / rate)
            if 2 * j + 1 >= len(frames):
                break
            played.append((frames[2 * j] + frames[2 * j + 1]) // 2)
        if len(played) < PROBE:
            previous = None
            continue  # not written in full before the story ended
        lag, err = best_lag(played, source, start + best_at, rate * TOLERANCE_MS // 1000)
        if lag is None:
            problems.append(f"{name}: out.wav at frame {c['pos']} is not the source within {TOLERANCE_MS} ms "
                            f"(error {err:.2f})")
            previous = None
            continue
        checked += 1
        lags.append(lag * 1000.0 / rate)
        worst = max(worst, abs(lag) * 1000.0 / rate)
        if previous and previous["src"] == c["src"] and previous["end"] == c["begin"] and \
                abs(previous["lag"] - lag) > 1:
            problems.append(f"{name}: follows {previous['begin']}-{previous['end']} with a jump of "
                            f"{lag - previous['lag']} samples")
        c["lag"] = lag
        previous = c
    if checked < minimum:
        problems.append(f"only {checked} clips checked, {minimum} wanted")
    summary = f"{len(clips)} clips logged, {checked} checked, worst alignment {worst:.2f} ms"
    return problems, summary
