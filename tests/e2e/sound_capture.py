#!/usr/bin/env python3
"""sound_capture.py -- the window's sound as SDL's disk audio driver wrote it
(raw 16-bit stereo at 48 kHz) against the offline render of the same game's
recording (--audio-out, a WAV file of the same format).

An onset is the first frame louder than LEVEL after at least 15 ms of quiet.
The window's audio thread starts a sound at the start of a buffer, the
offline render at the start of a tick: a sound that starts alone then has
the same first frames in both, so it is told by its first 10 ms, frame for
frame.  Which sounds start together, or run into each other, follows the
machine's pace in the window and the ticks offline: two cues of one tick may
fall into two buffers, and cues a few ticks apart into one.  So only sounds
with no other cue within 5 ticks (alone), and with 0.2 s of quiet before
them offline (apart), or first, are sure to be told apart in the capture.

  check CAPTURE OFFLINE SOUNDS
      The end-to-end test (tests/e2e/audio.sh).  SOUNDS is the replay's
      "tick N sound:NAME" lines; its last jump was played after M.  Every
      sound that is alone and apart before M is in the capture, in order;
      none of those alone after M is; the capture is silent from 0.6 s after
      the last sound before M (the longest sound but the jingles) to its
      end.  Exit status 1 on a fault.
  offsets CAPTURE OFFLINE SOUNDS
      The benchmark (bench/window_latency.sh): how far from its place each
      sound that is alone starts in the capture, after a straight-line fit
      of the two clocks.  Prints figures only.
"""
import struct
import sys

RATE = 48000
TICK = RATE // 100          # frames a tick
LEVEL = 64                  # louder than this is sound
GAP = RATE * 15 // 1000     # the quiet before an onset
APART = RATE // 5           # a sound standing apart: this much quiet before it
NEAR = 5                    # ticks: a cue this near another is not alone
SAME = RATE // 100          # frames compared to tell a sound
TOLERANCE = 2 * LEVEL       # the quiet tail of an earlier sound may still be there
LONGEST = RATE * 6 // 10    # the longest sound but the jingles (0.6 s)


def channels(data):
    n = len(data) // 4
    v = struct.unpack("<%dh" % (2 * n), data[:4 * n])
    return v[0::2], v[1::2]


def read_raw(path):
    with open(path, "rb") as f:
        return channels(f.read())


def read_wav(path):
    with open(path, "rb") as f:
        return channels(f.read()[44:])


def read_cues(path):
    """[(tick, name)] of the "tick N sound:NAME" lines."""
    cues = []
    for line in open(path):
        part = line.split()
        if len(part) == 3 and part[2].startswith("sound:"):
            cues.append((int(part[1]), part[2][len("sound:"):]))
    return cues


def onsets(sound):
    """[(frame, quiet frames before it)] of every onset."""
    left, right = sound
    found, quiet = [], GAP
    for i, (a, b) in enumerate(zip(left, right)):
        if -LEVEL <= a <= LEVEL and -LEVEL <= b <= LEVEL:
            quiet += 1
        else:
            if quiet >= GAP:
                found.append((i, quiet))
            quiet = 0
    return found


def alone(frame, cues):
    """The offline onset at frame is the start of a sound with no other cue
    within NEAR ticks; its name, else None."""
    before = [c for c in cues if c[0] * TICK <= frame]
    if not before:
        return None
    tick, name = before[-1]
    if frame >= (tick + NEAR) * TICK or sum(1 for t, _ in cues if abs(t - tick) <= NEAR) != 1:
        return None
    return name


def same_sound(x, i, y, j):
    """The SAME frames of x from i and of y from j are the same sound."""
    for cx, cy in zip(x, y):
        a, b = cx[i:i + SAME], cy[j:j + SAME]
        if len(a) < SAME or len(b) < SAME:
            return False
        if max(abs(p - q) for p, q in zip(a, b)) > TOLERANCE:
            return False
    return True


def find(capture, got, start, offline, frame):
    """The index of the first onset of got from start that is the offline
    sound at frame, or None."""
    for k in range(start, len(got)):
        if same_sound(capture, got[k][0], offline, frame):
            return k
    return None


def seconds(frame):
    return "%.3f s" % (frame / RATE)


def check(capture_path, offline_path, sounds_path):
    capture, offline, cues = read_raw(capture_path), read_wav(offline_path), read_cues(sounds_path)
    jumps = [t for t, name in cues if name == "jump"]
    assert jumps, "the replay played no jump"
    mute_at = jumps[-1] * TICK
    every = onsets(offline)
    got = onsets(capture)
    want = [(f, alone(f, cues)) for m, (f, quiet) in enumerate(every)
            if f < mute_at and (m == 0 or quiet >= APART) and alone(f, cues)]
    muted = [(f, alone(f, cues)) for f, _ in every if f >= mute_at and alone(f, cues)]
    print("e2e: onsets: offline %d (%d after M), window %d; alone and apart before M: %s; alone after M: %s" % (
        len(every), len([f for f, _ in every if f >= mute_at]), len(got),
        " ".join(n for _, n in want), " ".join(n for _, n in muted)))
    assert want, "the offline render has no sound alone and apart before M"
    assert muted, "the offline render has no sound alone after M"
    k = 0
    for f, name in want:
        found = find(capture, got, k, offline, f)
        assert found is not None, "the window lost the %s at %s of the offline render (or played it otherwise)" % (
            name, seconds(f))
        k = found + 1
    last = got[k - 1][0]
    for f, name in muted:
        found = find(capture, got, k, offline, f)
        assert found is None, "the window played the %s after M, at %s of its capture" % (name, seconds(got[found][0]))
    tail = [v for c in capture for v in c[last + LONGEST:]]
    assert len(tail) >= RATE, "the capture ends %s after the last sound before M: M's silence is not in it" % (
        seconds(len(capture[0]) - last))
    assert max(abs(v) for v in tail) == 0, "the window played sound after M"
    print("e2e: the window's capture holds the offline render's %s in order, frame for frame,"
          " and %s of silence after M" % (", ".join(n for _, n in want), seconds(len(tail) // 2)))


def offsets(capture_path, offline_path, sounds_path):
    capture, offline, cues = read_raw(capture_path), read_wav(offline_path), read_cues(sounds_path)
    got, every = onsets(capture), onsets(offline)
    want = [f for f, _ in every if alone(f, cues)]
    a, b, k = [], [], 0
    for f in want:
        found = find(capture, got, k, offline, f)
        if found is not None:
            a.append(f)
            b.append(got[found][0])
            k = found + 1
    n = len(a)
    if n < 2:
        print("sound onsets: %d sounds found in both; no figures" % n)
        return
    # A straight line from the offline render's time to the capture's (the
    # disk driver's clock runs at its own pace), fitted by least squares.
    ma, mb = sum(a) / n, sum(b) / n
    var = sum((x - ma) ** 2 for x in a)
    scale = sum((x - ma) * (y - mb) for x, y in zip(a, b)) / var if var else 1.0
    off = sorted(abs(y - (mb + (x - ma) * scale)) * 1000 / RATE for x, y in zip(a, b))
    print("sound onsets: %d of the %d sounds alone found in the capture; clock ratio %.4f;"
          " from their place: median %.1f ms, mean %.1f ms, worst %.1f ms" % (
              n, len(want), scale, off[n // 2], sum(off) / n, off[-1]))


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] in ("check", "offsets"):
        try:
            (check if sys.argv[1] == "check" else offsets)(*sys.argv[2:])
        except AssertionError as e:
            print("e2e: %s" % e)
            sys.exit(1)
    else:
        sys.exit(__doc__)
