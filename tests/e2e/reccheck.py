"""Checks a recording made from the tone ladder against what the player did.

The ladder (write_ladder) is a capture WAV of 100 ms tones, tone i at
400 + 80 i Hz, so any 40 ms of a recording says which part of the capture it
holds. The host board's capture runs from the first record open of the run
(the "dsp open ... mode=record" line of sound.log), so the moment the
recording device closed is a position in the capture too.

check() decodes the newest file of a folder with ffmpeg, maps every 10 ms of
it to a capture time, and finds:
  - the pieces of capture it holds (a pause shows as a jump forward);
  - the capture time of its end, which must lie within 50 ms of the moment
    the device closed (nothing dropped at the end, no padding played as
    sound), which is the same as ffprobe's duration being within 50 ms of
    the time recorded;
  - in its last 200 ms the tones the capture played just before the close.
"""
import array
import json
import math
import os
import subprocess
import wave

RATE = 22050
STEP_S = 0.1
BASE_HZ = 400
STEP_HZ = 80
TONES = 60


def write_ladder(path, tones=TONES):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        out = array.array("h")
        phase = 0.0
        per = int(RATE * STEP_S)
        for i in range(tones):
            f = BASE_HZ + STEP_HZ * i
            for _ in range(per):
                out.append(int(12000 * math.sin(phase)))
                phase += 2 * math.pi * f / RATE
        w.writeframes(out.tobytes())


def _probe(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration:stream=sample_rate,channels",
                        "-of", "json", path], capture_output=True, text=True, check=True)
    info = json.loads(r.stdout)
    if not info.get("streams") or "duration" not in info.get("format", {}):
        return None
    s = info["streams"][0]
    return float(info["format"]["duration"]), int(s["sample_rate"]), int(s["channels"])


def _decode(path):
    r = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "1", "-ar", str(RATE), "-"],
                       capture_output=True, check=True)
    a = array.array("h")
    a.frombytes(r.stdout[:len(r.stdout) // 2 * 2])
    return a


def _tones(samples):
    """(recording time, tone index) for every 10 ms hop with a clean tone."""
    win = int(0.04 * RATE)
    hop = int(0.01 * RATE)
    out = []
    for start in range(0, len(samples) - win, hop):
        seg = samples[start:start + win]
        if max(abs(x) for x in seg) < 2000:
            continue
        zc = sum(1 for a, b in zip(seg, seg[1:]) if (a < 0) != (b < 0))
        f = zc / (2 * 0.04)
        i = round((f - BASE_HZ) / STEP_HZ)
        if 0 <= i < TONES and abs(f - (BASE_HZ + STEP_HZ * i)) < STEP_HZ * 0.3:
            out.append(((start + win / 2) / RATE, i))
    return out


def _median(xs):
    xs = sorted(xs)
    return xs[len(xs) // 2]


def _record_span(sound_log):
    """(first record open, last record close) in ms from the sound.log lines."""
    opened, first, last = set(), None, None
    for line in sound_log:
        w = line.split()
        if len(w) >= 4 and w[1:3] == ["dsp", "open"] and "mode=record" in w:
            fd = w[3]
            opened.add(fd)
            first = float(w[0]) if first is None else first
        elif len(w) >= 4 and w[1:3] == ["dsp", "close"] and w[3] in opened:
            last = float(w[0])
    return first, last


def check(root, folder, sound_log, want):
    """Returns (problems, summary). want: pauses, rate, ch (each optional)."""
    d = os.path.join(root, folder.lstrip("/"))
    files = sorted((os.path.join(d, f) for f in os.listdir(d)), key=os.path.getmtime) if os.path.isdir(d) else []
    if not files:
        return [f"no recording in {folder}"], ""
    path = files[-1]
    probed = _probe(path)
    if not probed:
        return [f"{os.path.basename(path)}: no audio in it"], ""
    duration, rate, ch = probed
    problems = []
    if "rate" in want and rate != want["rate"]:
        problems.append(f"rate {rate}, want {want['rate']}")
    if "ch" in want and ch != want["ch"]:
        problems.append(f"{ch} channels, want {want['ch']}")
    first, last = _record_span(sound_log)
    if first is None or last is None:
        return problems + ["no record session in sound.log"], ""
    closed_at = (last - first) / 1000.0  # capture time when the device closed

    marks = _tones(_decode(path))
    if len(marks) < 10:
        return problems + [f"{os.path.basename(path)}: hardly any ladder tone in it"], ""
    # Capture time minus recording time, per hop; a pause makes it jump.
    diffs = [(t, i * STEP_S + STEP_S / 2 - t) for t, i in marks]
    # A hop astride two pieces hears a mixture: keep hops a neighbour agrees with.
    diffs = [d for k, d in enumerate(diffs)
             if any(0 <= j < len(diffs) and abs(diffs[j][1] - d[1]) < 0.06 for j in (k - 1, k + 1))]
    pieces, cur = [], [diffs[0][1]]
    for _, dnow in diffs[1:]:
        if abs(dnow - _median(cur)) > 0.15:
            pieces.append(_median(cur))
            cur = []
        cur.append(dnow)
    pieces.append(_median(cur))
    offsets = pieces  # capture time minus recording time, per piece
    pauses = len(offsets) - 1
    if pauses != want.get("pauses", 0):
        problems.append(f"{pauses} jumps in the capture, want {want.get('pauses', 0)}")
    if any(b <= a for a, b in zip(offsets, offsets[1:])):
        problems.append("the capture goes backwards: audio repeated")
    end = offsets[-1] + duration
    if abs(end - closed_at) > 0.05:
        problems.append(f"the recording ends at capture {end:.3f} s, the device closed at {closed_at:.3f} s")
    # Its last 200 ms: the tones played just before the close (give or take
    # a step: the close may fall on a tone's edge, an MP3 starts late by the
    # encoder's delay).
    last_tone = int(closed_at / STEP_S)
    tail = [round((t + d - STEP_S / 2) / STEP_S) for t, d in diffs if t >= duration - 0.2]
    if not tail or abs(max(tail) - last_tone) > 1:
        problems.append(f"last 200 ms hold tones {sorted(set(tail))}, the capture ended on tone {last_tone}")
    recorded = closed_at - offsets[-1]
    summary = (f"{os.path.basename(path)}: {duration:.3f} s at {rate} Hz x{ch}, recorded {recorded:.3f} s, "
               f"pieces at capture {', '.join(f'{o:.3f}' for o in offsets)}")
    return problems, summary
