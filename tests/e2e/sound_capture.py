#!/usr/bin/env python3
"""sound_capture.py -- the window's sound as SDL's disk audio driver wrote it
(raw 16-bit stereo at 48 kHz) against the offline render of the same game's
recording (--audio-out, a WAV file of the same format).

An onset is the first frame louder than LEVEL after at least 15 ms of quiet.
The window's audio thread starts a sound at the start of a buffer, the
offline render at the start of a tick: the same sound then has the same
frames, so a sound is told by its first 10 ms, frame for frame.  The spacing
of the window's sounds follows the machine's pace, not the game's ticks, so
two sounds that stand close together in the offline render may run into one
in the window's capture; the first sound, and a sound that stands apart
(0.2 s of quiet before it), cannot.

  check CAPTURE OFFLINE SOUNDS
      The end-to-end test (tests/e2e/audio.sh).  SOUNDS is the replay's
      "tick N sound:NAME" lines; its last jump was played after M.  Every
      sound in the capture is one the offline render has before M, in order;
      every sound standing apart there is in the capture; the offline render
      has sounds after M and the capture is silent from its last sound on.
      Exit status 1 on a fault.
  offsets CAPTURE OFFLINE
      The benchmark (bench/window_latency.sh): how far from its place each
      sound found in both starts in the capture, after a straight-line fit of
      the two clocks.  Prints figures only.
"""
import struct
import sys

RATE = 48000
LEVEL = 64                  # louder than this is sound
GAP = RATE * 15 // 1000     # the quiet before an onset
APART = RATE // 5           # a sound standing apart: this much quiet before it
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


def same_sound(x, i, y, j):
    """The SAME frames of x from i and of y from j are the same sound."""
    for cx, cy in zip(x, y):
        a, b = cx[i:i + SAME], cy[j:j + SAME]
        if len(a) < SAME or len(b) < SAME:
            return False
        if max(abs(p - q) for p, q in zip(a, b)) > TOLERANCE:
            return False
    return True


def match(capture, got, offline, want):
    """Pairs (k, m): the capture's onset got[k] is the offline onset want[m],
    in order; None when an onset of the capture is none of the offline ones
    left, with the index of that onset."""
    pairs, m = [], 0
    for k, (at, _) in enumerate(got):
        while m < len(want) and not same_sound(capture, at, offline, want[m][0]):
            m += 1
        if m == len(want):
            return None, k
        pairs.append((k, m))
        m += 1
    return pairs, None


def seconds(frame):
    return "%.3f s" % (frame / RATE)


def check(capture_path, offline_path, sounds_path):
    capture, offline = read_raw(capture_path), read_wav(offline_path)
    jumps = [int(l.split()[1]) for l in open(sounds_path) if l.rstrip().endswith(" sound:jump")]
    assert jumps, "the replay played no jump"
    mute_at = jumps[-1] * RATE // 100
    every = onsets(offline)
    want = [o for o in every if o[0] < mute_at]
    muted = [o for o in every if o[0] >= mute_at]
    got = onsets(capture)
    print("e2e: onsets: offline %d (%d after M), window %d" % (len(every), len(muted), len(got)))
    assert muted, "the offline render has no sound after M"
    assert got, "the window's capture holds no sound"
    pairs, stray = match(capture, got, offline, want)
    assert pairs is not None, "the window's sound at %s of its capture is none the offline render has before M" % (
        seconds(got[stray][0]))
    found = {m for _, m in pairs}
    apart = [m for m, (_, quiet) in enumerate(want) if m == 0 or quiet >= APART]
    lost = [m for m in apart if m not in found]
    assert not lost, "the window lost the offline render's sounds at %s" % ", ".join(seconds(want[m][0]) for m in lost)
    # M: nothing after the last sound before it (and the capture went on).
    tail_from = got[-1][0] + LONGEST
    tail = [v for c in capture for v in c[tail_from:]]
    assert tail, "the capture ends %s after its last sound: M's silence is not in it" % (
        seconds(len(capture[0]) - got[-1][0]))
    assert max(abs(v) for v in tail) == 0, "the window played sound after M"
    print("e2e: the window's capture holds %d of the offline render's %d sounds before M (all %d that stand apart),"
          " frame for frame and in order, and %s of silence after M" % (
              len(pairs), len(want), len(apart), seconds(len(tail) // 2)))


def offsets(capture_path, offline_path):
    capture, offline = read_raw(capture_path), read_wav(offline_path)
    got, want = onsets(capture), onsets(offline)
    pairs, stray = match(capture, got, offline, want)
    if pairs is None:
        print("sound onsets: the capture's sound at %s is none of the offline render's; no figures" % (
            seconds(got[stray][0])))
        return
    if len(pairs) < 2:
        print("sound onsets: %d sounds found in both; no figures" % len(pairs))
        return
    a = [want[m][0] for _, m in pairs]
    b = [got[k][0] for k, _ in pairs]
    # A straight line from the offline render's time to the capture's (the
    # disk driver's clock runs at its own pace), fitted by least squares.
    n = len(a)
    ma, mb = sum(a) / n, sum(b) / n
    var = sum((x - ma) ** 2 for x in a)
    scale = sum((x - ma) * (y - mb) for x, y in zip(a, b)) / var if var else 1.0
    off = sorted(abs(y - (mb + (x - ma) * scale)) * 1000 / RATE for x, y in zip(a, b))
    print("sound onsets: %d of %d offline sounds found in the capture; clock ratio %.4f;"
          " from their place: median %.1f ms, mean %.1f ms, worst %.1f ms" % (
              n, len(want), scale, off[n // 2], sum(off) / n, off[-1]))


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "check":
        try:
            check(*sys.argv[2:])
        except AssertionError as e:
            print("e2e: %s" % e)
            sys.exit(1)
    elif len(sys.argv) == 4 and sys.argv[1] == "offsets":
        offsets(*sys.argv[2:])
    else:
        sys.exit(__doc__)
