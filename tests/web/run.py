#!/usr/bin/python3
"""Browser tests: the game built for the web, in Debian's headless Chromium,
against the native program.

    run.py NATIVE_CLOVENFELD NATIVE_GAME_DIR SITE_DIR RECORDING

Cases: the title screen's canvas equals the native title picture; Space and
Right play the game (read from the canvas); a recording replayed in the
browser stops at a tick of level 2 with the same work page as the native
replay, byte for byte; a missing sprite shows the native fatal report on the
page and stops the game.  Ends with 'N passed, N failed'."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

NATIVE, GAME_DIR, SITE, RECORDING = (os.path.abspath(a) for a in sys.argv[1:5])
WORK = tempfile.mkdtemp(prefix="clovenfeld-web-test-")


def native(*args, cwd=GAME_DIR):
    return subprocess.run([NATIVE, *args], cwd=cwd, capture_output=True, text=True, timeout=300)


def bmp_pixels(data):
    """(width, height, rows of B, G, R, A bytes from the top) of a 32-bit BMP."""
    assert data[:2] == b"BM", "not a BMP"
    offset = int.from_bytes(data[10:14], "little")
    width = int.from_bytes(data[18:22], "little")
    height = int.from_bytes(data[22:26], "little", signed=True)
    assert int.from_bytes(data[28:30], "little") == 32 and height > 0
    rows = [data[offset + y * width * 4: offset + (y + 1) * width * 4] for y in range(height)]
    return width, height, rows[::-1]


def bmp_as_rgb(data):
    """The BMP's pixels as R, G, B bytes, top row first."""
    _, _, rows = bmp_pixels(data)
    out = bytearray()
    for row in rows:
        for x in range(0, len(row), 4):
            out += bytes((row[x + 2], row[x + 1], row[x]))
    return bytes(out)


def rgba_as_rgb(rgba):
    out = bytearray(len(rgba) // 4 * 3)
    out[0::3] = rgba[0::4]
    out[1::3] = rgba[1::4]
    out[2::3] = rgba[2::4]
    return bytes(out)


def first_difference(a, b, width=640, channels=3):
    for i in range(min(len(a), len(b))):
        if a[i] != b[i]:
            p = i // channels
            return "first difference at x=%d y=%d" % (p % width, p // width)
    return "sizes %d and %d" % (len(a), len(b))


def page_errors(b):
    return [t for level, t in b.console if level in ("error", "exception") and "favicon" not in t]


# --- the cases ------------------------------------------------------------------

def case_title(b, site):
    """The title screen on the canvas equals the native title picture."""
    shot = os.path.join(WORK, "title.bmp")
    r = native("--headless", "--stop-at", "title", "--shot", shot)
    assert r.returncode == 0, r.stderr
    want = bmp_as_rgb(open(shot, "rb").read())
    b.open(site.url("?events=1"))
    b.wait_for("Module.output.some(l => / title$/.test(l)) && Module.tick >= 2")
    got = rgba_as_rgb(b.canvas_rgba())
    assert got == want, "title canvas differs from the native picture: " + first_difference(got, want)
    assert b.evaluate("document.getElementById('report').hidden"), "the error report is shown"
    assert not page_errors(b), page_errors(b)


def case_replay_level2(b, site):
    """A replay stopped at a tick of level 2 keeps the native work page."""
    r = native("--headless", "--fast", "--replay", RECORDING, "--events", "--stop-at", "level:3")
    assert r.returncode == 0, r.stderr
    ticks = dict((name, int(t)) for t, name in re.findall(r"^tick (\d+) (\S+)", r.stdout, re.M))
    stop = (ticks["level:2"] + ticks["level:3"]) // 2
    shot = os.path.join(WORK, "replay.bmp")
    r = native("--headless", "--fast", "--replay", RECORDING, "--stop-tick", str(stop), "--shot", shot)
    assert r.returncode == 0, r.stderr
    want = open(shot, "rb").read()
    b.open(site.url("?replay=%s&fast=1&stop=%d" % (os.path.basename(RECORDING), stop)))
    status = b.wait_for("Module.exitStatus !== undefined && String(Module.exitStatus)", timeout=120)
    assert status == "0", "the browser run ended with status %s: %s" % (status, b.console)
    assert b.evaluate("Module.tick") == stop
    got = b.read_file("/shot.bmp")
    assert got == want, "work page at tick %d differs: %s" % (
        stop, first_difference(got[54:], want[54:], channels=4))
    assert not page_errors(b), page_errors(b)


def case_fatal_report(b, site):
    """A missing sprite: the native fatal report on the page, and the game stops."""
    broken = os.path.join(WORK, "broken")
    shutil.copytree(GAME_DIR, broken, ignore=shutil.ignore_patterns("clovenfeld", "*.stamp"))
    os.remove(os.path.join(broken, "gfx", "egg.bmp"))
    r = native("--headless", "--fast", "--stop-at", "title", cwd=broken)
    assert r.returncode == 2 and "Aborting due to runtime error 2" in r.stderr, (r.returncode, r.stderr)
    b.open(site.url("?without=gfx/egg.bmp"))
    status = b.wait_for("Module.exitStatus !== undefined && String(Module.exitStatus)")
    assert status == "2", "exit status " + status
    shown = b.evaluate("document.getElementById('report').hidden ? '' :"
                       " document.getElementById('report').textContent")
    assert shown.strip() == r.stderr.strip(), "page shows %r, native %r" % (shown, r.stderr)
    assert "error 2" in b.evaluate("document.getElementById('status').textContent")
    tick = b.evaluate("Module.tick")
    time.sleep(0.3)
    assert b.evaluate("Module.tick") == tick, "the game still runs"


CASES = [case_title, case_replay_level2, case_fatal_report]


def main():
    site = browser.Site(SITE)
    passed = failed = 0
    b = browser.Browser()
    try:
        for case in CASES:
            name = case.__name__[len("case_"):]
            start = time.time()
            try:
                case(b, site)
                passed += 1
                print("PASS %s (%.1f s)" % (name, time.time() - start), flush=True)
            except Exception:
                failed += 1
                print("FAIL %s" % name, flush=True)
                traceback.print_exc()
    finally:
        b.close()
        site.close()
        shutil.rmtree(WORK, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
