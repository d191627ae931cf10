#!/usr/bin/python3
"""Browser tests: the game built for the web, in Debian's headless Chromium,
against the native program.

    run.py NATIVE_CLOVENFELD NATIVE_GAME_DIR SITE_DIR RECORDING

Cases: the title screen's canvas equals the native title picture; Space and
Right play the game (read from the canvas); a recording replayed in the
browser stops at a tick of level 2 with the same work page as the native
replay, byte for byte; a missing sprite shows the native fatal report on the
page and stops the game; a key press starts the page's sound and an egg
plays one sound; a binding in the page's storage works and a hidden tab
pauses; Escape on the title screen brings the title back
and the game plays on; pause, mute and quit by touch alone and by pad alone;
K changes the keys; watching a recording; the live region.  Ends with
'N passed, N failed'."""

import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import traceback
import zipfile

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
    return [t for level, t in b.console if level in ("error", "exception")]


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


def player_only_colours():
    """R, G, B of the colours that only the player's sprites use."""
    assets = os.path.join(os.path.dirname(RECORDING), "..")
    palette = {}
    for line in open(os.path.join(assets, "palette.txt")):
        m = re.match(r"^(\S)\s+([0-9A-Fa-f]{6})\b", line)
        if m:
            palette[m.group(1)] = bytes.fromhex(m.group(2))
    player, other = set(), set()
    folder = os.path.join(assets, "sprites")
    for name in os.listdir(folder):
        chars = set()
        for line in open(os.path.join(folder, name)):
            line = line.rstrip("\n")
            if not line.startswith("# ") and line and set(line) <= set(palette):
                chars |= set(line)
        (player if name.startswith("player") else other).update(chars)
    return {palette[c] for c in player - other - {"."}}


def player_box(rgb, colours):
    """(left, top) of the pixels in the player's colours, below the HUD."""
    xs, ys = [], []
    for y in range(64, 480):
        row = rgb[y * 1920:(y + 1) * 1920]
        for x in range(640):
            if row[3 * x:3 * x + 3] in colours:
                xs.append(x)
                ys.append(y)
    assert xs, "no player on the canvas"
    return min(xs), min(ys)


def press(b, code, key, vk, text=None):
    b.key("keyDown", code, key, vk, text)
    b.key("keyUp", code, key, vk)


def case_play(b, site):
    """Click, Space starts a game, Space closes the box, Right walks; S saves."""
    # The "Level 1" box as the native game shows it after one Space.
    rec = os.path.join(WORK, "space.rec")
    with open(rec, "w") as f:
        f.write("clovenfeld-recording 1\nseed 1\n5x |\n|32\n400x |\n")
    shot = os.path.join(WORK, "box.bmp")
    r = native("--replay", rec, "--fast", "--stop-at", "infobox:Level 1", "--shot", shot)
    assert r.returncode == 0, r.stderr
    box = bmp_as_rgb(open(shot, "rb").read())

    downloads = os.path.join(WORK, "downloads")
    os.mkdir(downloads)
    b.call("Page.setDownloadBehavior", behavior="allow", downloadPath=downloads)
    b.open(site.url("?seed=1&events=1"))
    b.wait_for("Module.tick >= 2")
    b.evaluate("window.kept = []; window.addEventListener('keydown',"
               " e => kept.push(e.code + ':' + e.defaultPrevented)); true")
    b.click("#screen")
    assert b.evaluate("document.activeElement.id") == "screen", "a click does not focus the game"

    press(b, "Space", " ", 32, " ")
    b.wait_for("Module.output.some(l => / infobox:Level 1$/.test(l))")
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 2))
    got = rgba_as_rgb(b.canvas_rgba())
    assert got == box, "the Level 1 box differs from the native one: " + first_difference(got, box)

    press(b, "Space", " ", 32, " ")
    b.wait_for("Module.output.some(l => / level:1$/.test(l))")
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 2))
    colours = player_only_colours()
    x0, y0 = player_box(rgba_as_rgb(b.canvas_rgba()), colours)

    # The walk's ticks count from when the page has the key down (however
    # long the browser took to get it there).
    b.key("keyDown", "ArrowRight", "ArrowRight", 39)
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 40))
    b.key("keyUp", "ArrowRight", "ArrowRight", 39)
    x1, y1 = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
    assert x1 >= x0 + 40 and y1 == y0, "the player went from %s to %s" % ((x0, y0), (x1, y1))
    # Still for a while once Right is released.
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 20))
    x2, _ = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
    b.wait_for("Module.tick >= %d" % (tick + 40))
    assert player_box(rgba_as_rgb(b.canvas_rgba()), colours)[0] == x2, "the player walks on"

    kept = b.evaluate("kept")
    assert "Space:true" in kept and "ArrowRight:true" in kept, "game keys reach the page: %s" % kept

    press(b, "KeyS", "s", 83, "s")
    name = os.path.join(downloads, "screen.bmp")
    deadline = time.time() + 20
    while not os.path.exists(name) and time.time() < deadline:
        time.sleep(0.05)
    width, height, _ = bmp_pixels(open(name, "rb").read())
    assert (width, height) == (640, 480)
    assert not b.evaluate("Module.FS.analyzePath('/screen.bmp').exists"), "screen.bmp stays behind"
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


def case_sound(b, site):
    """A key press lets the page's sound run; the first egg taken plays one
    egg sound, which reaches the audio output."""
    b.open(site.url("?seed=1&events=1"))
    b.wait_for("Module.output.some(l => / title$/.test(l)) && Module.tick >= 2")
    b.click("#screen")
    press(b, "Space", " ", 32, " ")
    b.wait_for("Module.output.some(l => / infobox:Level 1$/.test(l))")
    b.wait_for("Module.audioContext && Module.audioContext.state === 'running'")
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 2))
    press(b, "Space", " ", 32, " ")
    b.wait_for("Module.output.some(l => / level:1$/.test(l))")
    b.evaluate("Module.audioPeak = 0; true")
    b.key("keyDown", "ArrowRight", "ArrowRight", 39)
    b.wait_for("(Module.soundCounts || {}).egg >= 1", timeout=30)
    b.key("keyUp", "ArrowRight", "ArrowRight", 39)
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 30))
    assert b.evaluate("Module.soundCounts.egg") == 1, b.evaluate("JSON.stringify(Module.soundCounts)")
    assert b.evaluate("Module.audioPeak") > 1000, "no sound reached the output"
    assert not page_errors(b), page_errors(b)


def case_pause_and_bindings(b, site):
    """A binding kept in the page's storage works (A walks left); a hidden
    tab pauses the game until P."""
    b.open(site.url("?seed=1&events=1"))
    b.wait_for("Module.tick >= 2")
    b.evaluate("localStorage.setItem('clovenfeld.settings', '# mine\\nkey.left = KeyA\\n'); true")
    b.open(site.url("?seed=1&events=1"))
    b.wait_for("Module.output.some(l => / title$/.test(l)) && Module.tick >= 2")
    b.click("#screen")
    press(b, "Space", " ", 32, " ")
    b.wait_for("Module.output.some(l => / infobox:Level 1$/.test(l))")
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 2))
    press(b, "Space", " ", 32, " ")
    b.wait_for("Module.output.some(l => / level:1$/.test(l))")
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 2))
    colours = player_only_colours()
    x0, _ = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
    b.key("keyDown", "KeyA", "a", 65)
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 30))
    b.key("keyUp", "KeyA", "a", 65)
    x1, _ = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
    assert x1 <= x0 - 20, "A bound to Left moved the player from %d to %d" % (x0, x1)
    # The tab hidden: no tick passes until P.
    b.evaluate("Object.defineProperty(document, 'hidden', {value: true, configurable: true});"
               " document.dispatchEvent(new Event('visibilitychange')); true")
    b.wait_for("Module._web_is_paused() === 1")
    tick = b.evaluate("Module.tick")
    time.sleep(0.5)
    assert b.evaluate("Module.tick") <= tick + 1, "the game went on in a hidden tab"
    press(b, "KeyP", "p", 80, "p")
    b.wait_for("Module.tick >= %d" % (tick + 10))
    assert not page_errors(b), page_errors(b)
    b.evaluate("localStorage.removeItem('clovenfeld.settings'); true")


def case_records(b, site):
    """The records kept in the page's storage are shown in "How to play", and
    a level reached for the first time is saved there and shown at once."""
    b.open(site.url("?seed=1&events=1"))
    b.wait_for("Module.tick >= 2")
    b.evaluate("localStorage.setItem('clovenfeld.records', '[levels]\\nlevel.1.best_score = 574\\n"
               "level.1.fewest_ticks = 1567\\n'); true")
    b.open(site.url("?seed=1&events=1"))
    shown = "document.getElementById('records-list').textContent"
    assert "15741567" in b.evaluate(shown).replace(" ", ""), b.evaluate(shown)
    assert b.evaluate("document.querySelector('#records summary').tabIndex") == 0, "the records are out of the keys' reach"
    b.click("#screen")
    start_level_1(b, lambda: press(b, "Space", " ", 32, " "))
    b.wait_for("(localStorage.getItem('clovenfeld.records') || '').includes('furthest_level = 1')")
    kept = b.evaluate("localStorage.getItem('clovenfeld.records')")
    assert "level.1.fewest_ticks = 1567" in kept, kept
    assert "Furthest level reached: 1." in b.evaluate(shown), b.evaluate(shown)
    assert not page_errors(b), page_errors(b)
    b.evaluate("localStorage.removeItem('clovenfeld.records'); true")


def case_escape_on_title(b, site):
    """Escape on the title screen cannot close a page: the title comes back as
    a new start and the game plays on."""
    b.open(site.url("?seed=1&events=1"))
    b.wait_for("Module.output.some(l => / title$/.test(l)) && Module.tick >= 2")
    b.click("#screen")
    titles = "Module.output.filter(l => / title$/.test(l)).length"
    for n in (2, 3):
        b.key("keyDown", "Escape", "Escape", 27)
        tick = b.evaluate("Module.tick")
        b.wait_for("Module.tick >= %d" % (tick + 5))
        b.key("keyUp", "Escape", "Escape", 27)
        b.wait_for("%s >= %d" % (titles, n))
    assert b.evaluate("Module.running && Module.exitStatus === undefined"), "the game ended"
    press(b, "Space", " ", 32, " ")
    b.wait_for("Module.output.some(l => / infobox:Level 1$/.test(l))")
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
    assert any(level == "error" and "Aborting due to runtime error 2" in t for level, t in b.console)
    assert "error 2" in b.evaluate("document.getElementById('status').textContent")
    tick = b.evaluate("Module.tick")
    time.sleep(0.3)
    assert b.evaluate("Module.tick") == tick, "the game still runs"
    assert b.evaluate("document.getElementById('report-file').textContent") == "File: gfx/egg.bmp"


# --- phones, pads and the page's layout -------------------------------------------

def emulate(b, width, height, touch, scale=1):
    b.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=scale, mobile=touch)
    b.call("Emulation.setTouchEmulationEnabled", enabled=touch, maxTouchPoints=5 if touch else 1)


def stop_emulating(b):
    b.call("Emulation.clearDeviceMetricsOverride")
    b.call("Emulation.setTouchEmulationEnabled", enabled=False)


def boxes(b, selector):
    return b.evaluate("Array.from(document.querySelectorAll(%r)).map(e => {"
                      " const r = e.getBoundingClientRect(); const s = getComputedStyle(e);"
                      " return [r.left, r.top, r.right, r.bottom, e.getClientRects().length > 0 && s.visibility !== 'hidden',"
                      " e.getAttribute('aria-label') || e.textContent.trim()]; })" % selector)


def start_level_1(b, step):
    """Space twice (through `step`, a function that presses Space) from the title to level 1."""
    b.wait_for("Module.output.some(l => / title$/.test(l)) && Module.tick >= 2")
    step()
    b.wait_for("Module.output.some(l => / infobox:Level 1$/.test(l))")
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 2))
    step()
    b.wait_for("Module.output.some(l => / level:1$/.test(l))")
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 2))


def tap(b, selector):
    """A finger on the control for three ticks."""
    x, y = b.centre(selector)
    b.touch("touchStart", [(1, x, y)])
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 3))
    b.touch("touchEnd", [])


def case_touch_phone(b, site):
    """A phone in portrait: the controls show under the picture, each at least
    48 px and labelled; Space twice starts a game, holding Right walks and a
    second finger on Up jumps meanwhile."""
    emulate(b, 390, 844, True, 3)
    try:
        b.open(site.url("?seed=1&events=1"))
        b.wait_for("Module.running")
        canvas = boxes(b, "#screen")[0]
        assert canvas[2] - canvas[0] >= 380 and canvas[2] <= 390, "picture %s" % canvas
        controls = boxes(b, ".pad")
        assert sorted(c[5] for c in controls) == ["Down", "Esc", "Left", "Right", "Start / OK", "Up"], controls
        for left, top, right, bottom, shown, label in controls:
            assert shown and right - left >= 48 and bottom - top >= 48, "%s: %s" % (label, (left, top, right, bottom))
            assert top >= canvas[3] and bottom <= 844, "%s overlaps the picture or leaves the screen" % label
        assert b.evaluate("getComputedStyle(document.getElementById('screen')).touchAction") == "none"

        start_level_1(b, lambda: tap(b, ".pad.space"))
        colours = player_only_colours()
        x0, y0 = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
        right, up = b.centre(".pad.right"), b.centre(".pad.up")
        b.touch("touchStart", [(1, right[0], right[1])])
        tick = b.evaluate("Module.tick")
        b.wait_for("Module.tick >= %d" % (tick + 40))
        x1, y1 = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
        assert x1 >= x0 + 40 and y1 == y0, "the player went from %s to %s" % ((x0, y0), (x1, y1))
        b.touch("touchStart", [(1, right[0], right[1]), (2, up[0], up[1])])
        b.wait_for("(Module.soundCounts || {}).jump >= 1")
        b.touch("touchEnd", [])
        x2, _ = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
        assert x2 > x1, "the player stopped walking while jumping"
        assert not page_errors(b), page_errors(b)
    finally:
        stop_emulating(b)


def case_quick_taps(b, site):
    """A press let go before the next tick still counts: touches of Up and key
    presses of Up, let go at once or after 20 ms, make a jump each."""
    emulate(b, 390, 844, True, 3)
    try:
        b.open(site.url("?seed=1&events=1"))
        b.wait_for("Module.running")
        start_level_1(b, lambda: tap(b, ".pad.space"))
        up = b.centre(".pad.up")
        for n in range(10):
            tick = b.evaluate("Module.tick")
            held = 0.02 if n % 5 >= 3 else 0  # the last two of each five are held for 20 ms
            if n < 5:
                b.touch("touchStart", [(1, up[0], up[1])])
                time.sleep(held)
                b.touch("touchEnd", [])
            else:
                b.key("keyDown", "ArrowUp", "ArrowUp", 38)
                time.sleep(held)
                b.key("keyUp", "ArrowUp", "ArrowUp", 38)
            b.wait_for("(Module.soundCounts || {}).jump >= %d" % (n + 1), timeout=10)
            b.wait_for("Module.tick >= %d" % (tick + 60))  # landed again
        assert not page_errors(b), page_errors(b)
    finally:
        stop_emulating(b)


# --- pause, quit and keys by touch, pad and keyboard ---------------------------------

def recording_seed():
    return re.search(r"^seed (\d+)$", open(RECORDING).read(), re.M).group(1)


def finger(b, selector, hold=0.1):
    """A finger on the element for `hold` seconds (no tick need pass: the game may be paused)."""
    x, y = b.centre(selector)
    b.touch("touchStart", [(1, x, y)])
    time.sleep(hold)
    b.touch("touchEnd", [])


def status(b):
    return b.evaluate("document.getElementById('status').textContent")


def assert_paused(b, menu):
    """The game is paused showing menu (1 paused, 2 "Quit?"), no tick passes, and the page says so."""
    b.wait_for("Module._web_is_paused() === 1", timeout=10)
    b.wait_for("Module._web_menu_state() === %d" % menu, timeout=10)
    tick = b.evaluate("Module.tick")
    time.sleep(0.4)
    assert b.evaluate("Module.tick") <= tick + 1, "the game went on while paused"
    assert status(b).startswith("Paused"), "the status says %r while paused" % status(b)
    assert b.evaluate("document.getElementById('quit-ask').hidden") == (menu != 2), "Yes / No shown wrongly"


def assert_playing(b):
    b.wait_for("Module._web_is_paused() === 0", timeout=10)
    tick = b.evaluate("Module.tick")
    b.wait_for("Module.tick >= %d" % (tick + 5))
    assert not status(b).startswith("Paused"), status(b)


def assert_quit(b):
    """The game ended as Escape ends it: the "Final Score" box, said in the live region."""
    b.wait_for("Module.output.some(l => / infobox:Final Score: \\d+$/.test(l))")
    b.wait_for("/Final Score: \\d+/.test(document.getElementById('announce').textContent)")
    assert b.evaluate("document.getElementById('announce').getAttribute('aria-live')") == "polite"


def case_touch_pause_and_quit(b, site):
    """By touch alone, level 1 of our recording's seed: Pause pauses and a tap
    on the picture resumes (so does Start / OK); Fullscreen and back, the
    controls walking in both; Sound mutes, which a reload remembers; Esc asks
    "Quit?", No plays on and Yes ends the game."""
    emulate(b, 390, 844, True, 3)
    try:
        b.open(site.url("?seed=%s&events=1" % recording_seed()))
        b.wait_for("Module.running")
        start_level_1(b, lambda: tap(b, ".pad.space"))
        finger(b, "#pause")
        assert_paused(b, 1)
        finger(b, "#screen")
        assert_playing(b)
        finger(b, "#pause")
        assert_paused(b, 1)
        finger(b, ".pad.space")
        assert_playing(b)
        # Fullscreen and back by touch, the controls working in both: Right walks.
        colours = player_only_colours()
        for on in ("true", "false"):
            finger(b, "#fullscreen")
            b.wait_for("!!document.fullscreenElement === %s" % on, timeout=10)
            x0, _ = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
            right = b.centre(".pad.right")
            b.touch("touchStart", [(1, right[0], right[1])])
            tick = b.evaluate("Module.tick")
            b.wait_for("Module.tick >= %d" % (tick + 20))
            b.touch("touchEnd", [])
            x1, _ = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
            assert x1 > x0, "Right did not walk with fullscreen %s (x %d, then %d)" % (on, x0, x1)
        finger(b, "#mute")
        b.wait_for("document.getElementById('mute').textContent === 'Sound: off'")
        finger(b, ".pad.esc")
        assert_paused(b, 2)
        assert not b.evaluate("Module.output.some(l => / infobox:Final Score/.test(l))"), "one Esc ended the game"
        finger(b, "#quit-no")
        assert_playing(b)
        finger(b, ".pad.esc")
        assert_paused(b, 2)
        finger(b, "#quit-yes")
        assert_quit(b)
        assert "Level 1" in b.evaluate("document.getElementById('announce').textContent"), "the box was not said"
        assert not page_errors(b), page_errors(b)
        b.open(site.url())
        b.wait_for("Module.running && Module.tick >= 2")
        assert b.evaluate("document.getElementById('mute').textContent") == "Sound: off", "the reload forgot the mute"
    finally:
        b.evaluate("localStorage.removeItem('clovenfeld.settings'); true")
        stop_emulating(b)


def case_pad_pause_and_quit(b, site):
    """With a pad alone (A 0, B 1, Back 8, Start 9, Y 3): Start pauses and
    resumes, Y mutes, Back asks "Quit?", B plays on, A says yes."""
    script = b.call("Page.addScriptToEvaluateOnNewDocument", source=FAKE_PAD)["identifier"]
    try:
        b.open(site.url("?seed=%s&events=1" % recording_seed()))
        b.wait_for("Module.running && Module.tick >= 2")
        b.evaluate("padOn = true")

        def button(n):
            b.evaluate("padButton(%d, true)" % n)
            time.sleep(0.15)  # the game looks at the pads every tick, and every 50 ms while paused
            b.evaluate("padButton(%d, false)" % n)
            time.sleep(0.15)
        start_level_1(b, lambda: button(0))
        button(9)
        assert_paused(b, 1)
        button(9)
        assert_playing(b)
        button(3)
        b.wait_for("document.getElementById('mute').textContent === 'Sound: off'")
        button(8)
        assert_paused(b, 2)
        assert not b.evaluate("Module.output.some(l => / infobox:Final Score/.test(l))"), "Back ended the game"
        button(1)
        assert_playing(b)
        button(8)
        assert_paused(b, 2)
        button(0)
        assert_quit(b)
        assert not page_errors(b), page_errors(b)
    finally:
        b.call("Page.removeScriptToEvaluateOnNewDocument", identifier=script)
        b.evaluate("localStorage.removeItem('clovenfeld.settings'); true")


def case_keys_overlay(b, site):
    """K in the pause overlay changes the keys as on the desktop: A for Left,
    Esc keeping the rest; saved in the page's storage."""
    b.open(site.url("?seed=1&events=1"))
    b.click("#screen")
    start_level_1(b, lambda: press(b, "Space", " ", 32, " "))
    press(b, "KeyP", "p", 80, "p")
    b.wait_for("Module._web_is_paused() === 1")
    press(b, "KeyK", "k", 75, "k")  # each key is answered as it comes
    press(b, "KeyA", "a", 65, "a")
    for _ in range(9):
        press(b, "Escape", "Escape", 27)
    kept = b.evaluate("localStorage.getItem('clovenfeld.settings') || ''")
    assert re.search(r"^key\.left = KeyA, ArrowLeft$", kept, re.M), "not kept: %r" % kept
    press(b, "KeyP", "p", 80, "p")
    assert_playing(b)
    assert not page_errors(b), page_errors(b)
    b.evaluate("localStorage.removeItem('clovenfeld.settings'); true")


def case_watching(b, site):
    """While a recording is watched the status says so, not "Playing."; the
    page's address loses watch=1, so a reload plays a game.  The viewer:
    Space pauses on the native replay's picture of that tick; Right and the
    Step button each go one tick on; Up and Down set the speed from 1/2x to
    8x; H hides the progress line; at 1/2x N reaches level 2 far sooner than
    that speed would; Esc ends the watching with status 0."""
    r = native("--headless", "--fast", "--replay", RECORDING, "--events", "--stop-at", "level:2")
    level2 = int(re.search(r"^tick (\d+) level:2$", r.stdout, re.M).group(1))
    b.open(site.url())
    rec = open(RECORDING, "rb").read()
    b.evaluate("sessionStorage.setItem('clovenfeld.watch', atob(%s)); true" % json.dumps(base64.b64encode(rec).decode()))
    b.open(site.url("?watch=1&events=1"))
    b.wait_for("Module.running && Module.tick >= 5")
    b.click("#screen")
    assert status(b) == "Watching the recording.", status(b)
    assert "watch" not in b.evaluate("location.search"), b.evaluate("location.href")
    assert not b.evaluate("document.getElementById('view-controls').hidden"), "no watching controls"

    def shows_tick(tick):
        b.wait_for("Module.view && Module.view.paused && Module.view.tick === %d && Module.tick === %d" % (tick, tick),
                   timeout=10)
        time.sleep(0.2)
        shot = os.path.join(WORK, "watch-%d.bmp" % tick)
        r = native("--headless", "--fast", "--replay", RECORDING, "--stop-tick", str(tick), "--shot", shot)
        assert r.returncode == 0, r.stderr
        want, got = bmp_as_rgb(open(shot, "rb").read()), rgba_as_rgb(b.canvas_rgba())
        assert got == want, "paused at tick %d, the canvas differs from the replay's: %s" % (
            tick, first_difference(got, want))

    press(b, "Space", " ", 32)
    b.wait_for("Module.view && Module.view.paused", timeout=10)
    time.sleep(0.3)
    tick = b.evaluate("Module.view.tick")
    shows_tick(tick)
    assert status(b).startswith("Watching: paused"), status(b)
    press(b, "ArrowRight", "ArrowRight", 39)
    shows_tick(tick + 1)
    b.click("#view-controls [data-view='2']")
    shows_tick(tick + 2)
    speeds = []
    for code, key, vk in [("ArrowUp", "ArrowUp", 38)] * 4 + [("ArrowDown", "ArrowDown", 40)] * 5:
        press(b, code, key, vk)
        speeds.append(b.wait_for("Module.view.speedX2"))
        time.sleep(0.05)
    assert b.evaluate("Module.view.speedX2") == 1, speeds
    assert 16 in speeds, "Up did not reach 8x: %s" % speeds
    assert not b.evaluate("document.getElementById('view-line').hidden"), "no progress line"
    press(b, "KeyH", "h", 72, "h")
    b.wait_for("document.getElementById('view-line').hidden", timeout=5)
    start = time.time()
    press(b, "KeyN", "n", 78, "n")
    b.wait_for("Module.output.some(l => / level:2$/.test(l))", timeout=60)
    half_speed = (level2 - tick) / 50.0
    assert time.time() - start < half_speed / 2, "N took %.1f s to level 2 (1/2x takes %.0f s)" % (
        time.time() - start, half_speed)
    press(b, "Escape", "Escape", 27)
    assert b.wait_for("Module.exitStatus !== undefined && String(Module.exitStatus)", timeout=10) == "0"
    assert not page_errors(b), page_errors(b)

    b.open(b.evaluate("location.href"))
    b.wait_for("Module.running && Module.tick >= 2")
    assert "--watch" not in b.evaluate("Module.arguments"), "the reload watches the recording again"


def case_assists_and_practice(b, site):
    """On a touch screen: paused on the title screen, the Assists button and
    the 3 key step the lives (kept in the page's storage); L (or Practice)
    lists the levels the records have reached, and the arrows and Play start
    level 3 alone."""
    b.open(site.url())
    b.evaluate("localStorage.setItem('clovenfeld.records', '[levels]\\nfurthest_level = 3\\n');"
               " localStorage.removeItem('clovenfeld.settings'); true")
    emulate(b, 900, 700, True)
    try:
        b.open(site.url("?seed=1&events=1"))
        b.wait_for("Module.output.some(l => / title$/.test(l)) && Module.tick >= 2")
        finger(b, "#pause")
        assert_paused(b, 1)
        assert not b.evaluate("document.getElementById('menu-practice').hidden"), "no Practice on the title"
        finger(b, "#menu-buttons [data-menu-key='4']")
        b.wait_for("Module._web_menu_state() === 4", timeout=10)
        press(b, "Digit3", "3", 51, "3")
        b.wait_for("/lives = 5/.test(localStorage.getItem('clovenfeld.settings') || '')", timeout=10)
        finger(b, "#assists [data-menu-key='41']")
        b.wait_for("Module._web_menu_state() === 1", timeout=10)
        press(b, "KeyL", "l", 76, "l")  # the level list by keys, and back
        b.wait_for("Module._web_menu_state() === 5", timeout=10)
        press(b, "Escape", "Escape", 27)
        b.wait_for("Module._web_menu_state() === 1", timeout=10)
        finger(b, "#menu-practice")
        b.wait_for("Module._web_menu_state() === 5", timeout=10)
        for _ in range(3):
            finger(b, "#levels [data-menu-key='79']")
        finger(b, "#levels [data-menu-key='40']")
        b.wait_for("Module.output.some(l => / infobox:Level 3$/.test(l))", timeout=20)
        assert not b.evaluate("Module.output.some(l => / infobox:Level [124]$/.test(l))"), b.evaluate("Module.output")
        assert not page_errors(b), page_errors(b)
    finally:
        stop_emulating(b)
        b.evaluate("localStorage.removeItem('clovenfeld.records'); localStorage.removeItem('clovenfeld.settings'); true")


def case_announcements(b, site):
    """The live region says what the picture shows: the score level 1 leaves,
    as the native game counts it, and the next level's box."""
    r = native("--headless", "--fast", "--replay", RECORDING, "--events", "--stop-at", "level:2")
    assert r.returncode == 0, r.stderr
    score = re.search(r"^tick \d+ score:(\d+)$", r.stdout, re.M).group(1)
    stop = int(re.search(r"^tick (\d+) level:2$", r.stdout, re.M).group(1)) + 2
    b.open(site.url("?replay=%s&fast=1&stop=%d" % (os.path.basename(RECORDING), stop)))
    b.wait_for("Module.exitStatus !== undefined", timeout=120)
    said = b.evaluate("Array.from(document.querySelectorAll('#announce p')).map(p => p.textContent)")
    assert said[-2:] == ["Level 1 done. Score: %s." % score, "Level 2"], said


def case_touch_recording(b, site):
    """A game recorded in the browser, played by touch (walk and jump), replays
    natively to the same work page at the tick the browser stopped."""
    stop = 2000  # ticks: the play by touch takes well under this, however slow the browser
    emulate(b, 390, 844, True, 3)
    try:
        b.open(site.url("?record=1&seed=7&events=1&stop=%d" % stop))
        b.wait_for("Module.running && Module._web_is_recording() === 1")
        start_level_1(b, lambda: tap(b, ".pad.space"))
        right, up = b.centre(".pad.right"), b.centre(".pad.up")
        tick = b.evaluate("Module.tick")
        b.touch("touchStart", [(1, right[0], right[1])])
        b.wait_for("Module.tick >= %d" % (tick + 30))
        b.touch("touchStart", [(1, right[0], right[1]), (2, up[0], up[1])])
        b.wait_for("(Module.soundCounts || {}).jump >= 1")
        b.touch("touchEnd", [])
        assert b.evaluate("Module.tick") < stop - 50, "the touch play took too long for the recording"
        status = b.wait_for("Module.exitStatus !== undefined && String(Module.exitStatus)", timeout=120)
        assert status == "0", "the recorded run ended with %s: %s" % (status, b.console)
        assert b.evaluate("document.getElementById('record').textContent") == "Record"
        got, rec = b.read_file("/shot.bmp"), b.read_file("/clovenfeld.rec")
    finally:
        stop_emulating(b)
    path = os.path.join(WORK, "touch.rec")
    with open(path, "wb") as f:
        f.write(rec)
    shot = os.path.join(WORK, "touch.bmp")
    r = native("--headless", "--fast", "--replay", path, "--stop-tick", str(stop), "--shot", shot)
    assert r.returncode == 0, r.stderr
    want = open(shot, "rb").read()
    assert got == want, "work page at tick %d differs: %s" % (stop, first_difference(got[54:], want[54:], channels=4))
    # The same file opened on the page (kept in the tab's session storage) plays back alike.
    b.evaluate("sessionStorage.setItem('clovenfeld.watch', atob(%s)); true" % json.dumps(base64.b64encode(rec).decode()))
    b.open(site.url("?watch=1&fast=1&stop=%d" % stop))
    status = b.wait_for("Module.exitStatus !== undefined && String(Module.exitStatus)", timeout=120)
    assert status == "0" and b.read_file("/shot.bmp") == want, "the opened recording plays back otherwise"


FAKE_PAD = """
window.fakePad = {buttons: Array.from({length: 17}, () => ({pressed: false, value: 0})), axes: [0, 0, 0, 0],
                  connected: true, mapping: 'standard', index: 0, id: 'test pad'};
window.padOn = false;
navigator.getGamepads = () => [window.padOn ? window.fakePad : null, null, null, null];
window.padButton = (n, down) => { fakePad.buttons[n] = {pressed: down, value: down ? 1 : 0}; return true; };
"""


def case_gamepad(b, site):
    """A pad (a scripted navigator.getGamepads) hides the touch controls; A
    twice starts a game and the D-pad walks."""
    emulate(b, 1024, 768, True)
    script = b.call("Page.addScriptToEvaluateOnNewDocument", source=FAKE_PAD)["identifier"]
    try:
        b.open(site.url("?seed=1&events=1"))
        b.wait_for("Module.running && Module.tick >= 2")
        assert boxes(b, ".pad.space")[0][4], "no touch controls on a touch screen"
        b.evaluate("padOn = true")
        b.wait_for("!document.body.classList.contains('touchscreen')")
        assert not boxes(b, ".pad.space")[0][4], "touch controls shown with a pad"

        def press_a():
            b.evaluate("padButton(0, true)")
            tick = b.evaluate("Module.tick")
            b.wait_for("Module.tick >= %d" % (tick + 3))
            b.evaluate("padButton(0, false)")
        start_level_1(b, press_a)
        colours = player_only_colours()
        x0, _ = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
        b.evaluate("padButton(15, true)")
        tick = b.evaluate("Module.tick")
        b.wait_for("Module.tick >= %d" % (tick + 40))
        b.evaluate("padButton(15, false)")
        x1, _ = player_box(rgba_as_rgb(b.canvas_rgba()), colours)
        assert x1 >= x0 + 40, "the D-pad moved the player from %d to %d" % (x0, x1)
        assert not page_errors(b), page_errors(b)
    finally:
        b.call("Page.removeScriptToEvaluateOnNewDocument", identifier=script)
        stop_emulating(b)


# --- the page's layout, its buttons and its accessibility ----------------------------

# Width, height, touch screen, device pixels a CSS pixel.
LAYOUTS = [(360, 640, True, 2), (640, 360, True, 2), (390, 844, True, 3), (844, 390, True, 3),
           (820, 1180, True, 2), (1180, 820, True, 2), (1280, 720, False, 1), (1366, 768, False, 1),
           (1920, 1080, False, 1)]

# What the page shows (in fullscreen, only the fullscreen element).
MEASURE = """(() => {
  const full = document.fullscreenElement;
  const box = e => { const r = e.getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom]; };
  const clipped = e => { for (let a = e; a; a = a.parentElement) { const r = a.getBoundingClientRect();
                           if ((r.width <= 1 || r.height <= 1) && getComputedStyle(a).overflow === 'hidden') return true; }
                         return false; };  // as for a screen reader only
  const shown = e => e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden' &&
                     !clipped(e) && (!full || full.contains(e));
  const all = s => Array.from(document.querySelectorAll(s)).filter(shown);
  const c = document.getElementById('screen');
  return {scroll: [document.documentElement.scrollWidth, document.documentElement.scrollHeight],
          canvas: box(c), rendering: getComputedStyle(c).imageRendering, full: !!full,
          header: all('header').map(box)[0] || null,
          controls: all('.touch').map(box),
          buttons: all('button').map(e => [e.id || e.textContent.trim(), box(e)]),
          texts: all('h1, #status, #howto').map(e => [e.id || e.tagName, box(e)])};
})()"""


def axe_script():
    """axe-core, as tests/web/package-lock.json pins it: npm ci installs it
    once into the build folder beside the site."""
    here = os.path.dirname(os.path.abspath(__file__))
    folder = os.path.join(os.path.dirname(SITE), "npm")
    lock = open(os.path.join(here, "package-lock.json")).read()
    script = os.path.join(folder, "node_modules", "axe-core", "axe.min.js")
    kept = os.path.join(folder, "package-lock.json")
    if not (os.path.exists(script) and os.path.exists(kept) and open(kept).read() == lock):
        os.makedirs(folder, exist_ok=True)
        for name in ("package.json", "package-lock.json"):
            shutil.copy(os.path.join(here, name), folder)
        r = subprocess.run(["npm", "ci", "--prefer-offline", "--no-audit", "--no-fund"], cwd=folder,
                           capture_output=True, text=True, timeout=300)
        assert r.returncode == 0, "npm ci: " + r.stdout + r.stderr
    return open(script).read()


def axe_violations(b, source):
    """The violations axe-core finds on the page (of any impact: a page that
    blocks zooming or leaves a control outside a landmark is only "moderate")."""
    if not b.evaluate("typeof axe === 'object'"):
        b.evaluate(source + "\n;true")
    return b.evaluate("axe.run(document, {resultTypes: ['violations']}).then(r => r.violations"
                      ".map(v => v.id + ' (' + v.impact + '): ' + v.nodes.map(n => n.target.join(' ')).join(', ')))")


def check_layout(b, what, width, height, touch, dpr):
    """No scrollbar; everything within the window and nothing over anything
    else; buttons at least 48 px; a one-line header; the picture 4:3, filling
    90% of the width or height it is left (after the header and, on a touch
    screen, the controls), sharp where it is one device pixel a pixel or more,
    at a whole scale where one fills 90% (but in fullscreen, which fills as
    --fit does), and its text 8 px tall on a phone."""
    m = b.evaluate(MEASURE)
    assert m["scroll"][0] <= width and m["scroll"][1] <= height, "%s scrolls: %s" % (what, m["scroll"])
    items = [("picture", m["canvas"])] + m["buttons"] + m["texts"]
    for name, r in items:
        assert r[0] >= -0.5 and r[1] >= -0.5 and r[2] <= width + 0.5 and r[3] <= height + 0.5, \
            "%s: %s leaves the window: %s" % (what, name, r)
    for i, (n1, r1) in enumerate(items):
        for n2, r2 in items[i + 1:]:
            assert min(r1[2], r2[2]) - max(r1[0], r2[0]) <= 0.5 or min(r1[3], r2[3]) - max(r1[1], r2[1]) <= 0.5, \
                "%s: %s %s and %s %s overlap" % (what, n1, r1, n2, r2)
    for name, r in m["buttons"]:
        assert r[2] - r[0] >= 48 and r[3] - r[1] >= 48, "%s: %s is %gx%g" % (what, name, r[2] - r[0], r[3] - r[1])
    if touch:
        assert len(m["controls"]) == 2, "%s: the touch controls are not shown" % what
    left, top, right, bottom = 0, 0, width, height
    if m["header"]:
        assert m["header"][3] - m["header"][1] <= 48, "%s: the header is more than a line: %s" % (what, m["header"])
        top = m["header"][3]
    c = m["canvas"]
    if touch:  # the controls beside the picture take their columns, those above or below their rows
        for r in m["controls"] + [r for _, r in m["buttons"]]:
            if r[1] < c[3] and r[3] > c[1]:
                if r[2] <= c[0]:
                    left = max(left, r[2])
                elif r[0] >= c[2]:
                    right = min(right, r[0])
            elif r[1] >= c[3]:
                bottom = min(bottom, r[1])
            elif r[3] <= c[1]:
                top = max(top, r[3])
    cw, ch, aw, ah = c[2] - c[0], c[3] - c[1], right - left, bottom - top
    assert abs(cw * 3 - ch * 4) <= 2, "%s: the picture is %gx%g, not 4:3" % (what, cw, ch)
    assert cw >= 0.9 * aw or ch >= 0.9 * ah, "%s: the picture is %gx%g in %gx%g" % (what, cw, ch, aw, ah)
    device = round(cw * dpr)
    assert (m["rendering"] in ("pixelated", "crisp-edges")) == (device >= 640), \
        "%s: %d device pixels wide drawn %s" % (what, device, m["rendering"])
    largest = min(aw, ah * 4 / 3) * dpr
    whole = int(largest // 640)
    if not m["full"] and whole >= 1 and whole * 640 >= 0.9 * largest:
        assert device == whole * 640, "%s: %d device pixels wide, not %dx" % (what, device, whole)
    if width == 390:
        assert 16 * ch / 480 >= 8, "%s: the picture's text is %.1f px tall" % (what, 16 * ch / 480)
    return m


def case_layouts(b, site):
    """Phones, a tablet and laptops, each in and out of fullscreen (the play
    area with its controls, entered by its button): check_layout, and axe-core
    finds nothing.  On a laptop "How to play" is in sight and there
    are no touch controls; on a phone it opens in a dialog that keeps the
    keys, and in fullscreen Start / OK works."""
    source = axe_script()
    try:
        for width, height, touch, dpr in LAYOUTS:
            emulate(b, width, height, touch, dpr)
            b.open(site.url("?seed=1&events=1"))
            b.wait_for("Module.running && Module.tick >= 2")
            for full in (False, True):
                what = "%dx%d%s" % (width, height, " fullscreen" if full else "")
                if full:
                    tap(b, "#fullscreen") if touch else b.click("#fullscreen")
                    b.wait_for("document.fullscreenElement && document.body.classList.contains('fullscreen')", timeout=10)
                    b.evaluate("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(() => r(true))))")
                m = check_layout(b, what, width, height, touch, dpr)
                if not touch and not full:
                    assert "howto" in [n for n, _ in m["texts"]], "%s: How to play is not in sight" % what
                    assert not boxes(b, ".pad.up")[0][4], "touch controls without a touch screen"
                problems = axe_violations(b, source)
                assert not problems, "%s: axe-core finds: %s" % (what, problems)
            if (width, height) == (844, 390):
                tap(b, ".pad.space")
                b.wait_for("Module.output.some(l => / infobox:Level 1$/.test(l))", timeout=10)
            b.evaluate("document.exitFullscreen().then(() => true)")
            b.wait_for("!document.fullscreenElement && !document.body.classList.contains('fullscreen')")
            if (width, height) == (390, 844):
                # "How to play" in its dialog: Escape closes it and is not the game's.
                titles = b.evaluate("Module.output.filter(l => / title$/.test(l)).length")
                tap(b, "#help")
                b.wait_for("document.getElementById('help-dialog').contains(document.getElementById('legend'))")
                assert not axe_violations(b, source), "How to play: " + str(axe_violations(b, source))
                press(b, "Escape", "Escape", 27)
                b.wait_for("!document.getElementById('help-dialog').open")
                tick = b.evaluate("Module.tick")
                b.wait_for("Module.tick >= %d" % (tick + 5))
                assert b.evaluate("Module.output.filter(l => / title$/.test(l)).length") == titles, \
                    "Escape in the dialog reached the game"
            assert not page_errors(b), page_errors(b)
    finally:
        stop_emulating(b)


def case_one_click(b, site):
    """During play one click on a button of the bar acts: nothing moves under
    the pointer while it is down.  After a click on "How to play" the keys
    still reach the game."""
    emulate(b, 1366, 768, False)
    try:
        b.open(site.url("?seed=1&events=1"))
        b.wait_for("Module.running && Module.output.some(l => / title$/.test(l)) && Module.tick >= 2")
        b.click("#screen")
        places = "Array.from(document.querySelectorAll('button')).map(e => JSON.stringify(e.getBoundingClientRect()))"
        for n in range(2):
            muted = b.evaluate("Module._web_audio_muted()")
            x, y = b.centre("#mute")
            before = b.evaluate(places)
            b.call("Input.dispatchMouseEvent", type="mousePressed", x=x, y=y, button="left", clickCount=1)
            assert b.evaluate(places) == before, "the buttons moved when Sound was pressed"
            b.call("Input.dispatchMouseEvent", type="mouseReleased", x=x, y=y, button="left", clickCount=1)
            assert b.evaluate("Module._web_audio_muted()") != muted, "one click on Sound did nothing"
        b.click("#howto p")
        assert b.evaluate("document.activeElement.id") != "screen"
        press(b, "Space", " ", 32, " ")
        b.wait_for("Module.output.some(l => / infobox:Level 1$/.test(l))", timeout=10)
        assert not page_errors(b), page_errors(b)
    finally:
        stop_emulating(b)


def case_first_visit(b, site):
    """A first visit downloads the site about once: the page's own files and
    the service worker's offline copy together at most 1.1 times the site,
    and the copy holds every file whole."""
    fresh = browser.Site(SITE)  # a new origin: nothing of it in any cache
    try:
        b.open(fresh.url())
        b.wait_for("navigator.serviceWorker.ready.then(() => caches.keys()).then(k => k.length === 1 &&"
                   " caches.open(k[0]).then(c => c.keys()).then(r => r.length >= 11))")
        sizes = {f: os.path.getsize(os.path.join(SITE, f)) for f in os.listdir(SITE)}
        sent = fresh.server.bytes_sent
        assert sent <= 1.1 * sum(sizes.values()), "%d bytes served for a site of %d" % (sent, sum(sizes.values()))
        kept = b.evaluate("(async () => { const c = await caches.open((await caches.keys())[0]); const out = [];"
                          " for (const r of await c.keys())"
                          "   out.push([new URL(r.url).pathname, (await (await c.match(r)).arrayBuffer()).byteLength]);"
                          " return out; })()")
        for path, size in kept:
            name = path.lstrip("/") or "index.html"
            assert size == sizes[name], "the offline copy of %s has %d bytes of %d" % (name, size, sizes[name])
    finally:
        forget_offline(b)
        fresh.close()


def forget_offline(b):
    """Drops the service worker and its cache (of the page's origin)."""
    b.evaluate("navigator.serviceWorker.getRegistrations().then(rs => Promise.all(rs.map(r => r.unregister())))"
               ".then(() => caches.keys()).then(ks => Promise.all(ks.map(k => caches.delete(k)))).then(() => true)")


def case_blocked_wasm(b, site):
    """clovenfeld.wasm does not come: the page says so, naming the file."""
    b.open(site.url("?stop=1"))
    b.wait_for("navigator.serviceWorker.ready.then(() => true)")  # the page starts it once it has the files
    forget_offline(b)
    b.fail_urls = ["clovenfeld.wasm"]
    b.call("Network.enable")
    b.call("Network.setCacheDisabled", cacheDisabled=True)
    # A worker being dropped may still serve the next page; its requests would
    # not be the page's to block.
    b.call("Network.setBypassServiceWorker", bypass=True)
    b.call("Fetch.enable", patterns=[{"urlPattern": "*clovenfeld.wasm*"}])
    try:
        b.open(site.url())
        shown = b.wait_for("!document.getElementById('failure').hidden &&"
                           " document.getElementById('failure').textContent")
        assert "clovenfeld.wasm" in shown and "could not be loaded" in shown, shown
        assert b.evaluate("document.getElementById('loading').hidden"), "the progress bar stays"
    finally:
        b.call("Fetch.disable")
        b.call("Network.setCacheDisabled", cacheDisabled=False)
        b.call("Network.setBypassServiceWorker", bypass=False)
        b.fail_urls = []


def case_offline(b, site):
    """After one visit the page loads and plays offline, every file from the
    service worker's cache of this build."""
    b.open(site.url())
    b.wait_for("navigator.serviceWorker.ready.then(() => caches.keys()).then(k => k.length === 1 &&"
               " caches.open(k[0]).then(c => c.keys()).then(r => r.length >= 11))")
    version = b.evaluate("caches.keys().then(k => k[0])")
    worker = open(os.path.join(SITE, "sw.js")).read()
    assert version == "clovenfeld-" + re.search(r'BUILD = "([0-9a-f]{16})"', worker).group(1), version
    b.call("Network.enable")
    b.call("Network.emulateNetworkConditions", offline=True, latency=0, downloadThroughput=-1, uploadThroughput=-1)
    try:
        del site.server.requests[:]
        b.open(site.url("?events=1"))
        b.wait_for("Module.output.some(l => / title$/.test(l)) && Module.tick >= 2")
        # The browser's own check for a new worker may get through; nothing else does.
        asked = [r for r in site.server.requests if r != "/sw.js"]
        assert not asked, "asked the server offline: %s" % asked
        assert not page_errors(b), page_errors(b)
    finally:
        b.call("Network.emulateNetworkConditions", offline=False, latency=0, downloadThroughput=-1, uploadThroughput=-1)
        forget_offline(b)


def case_pack(b, site):
    """The example pack, zipped and dropped on the page, is kept and chosen
    (the game gets --pack); choosing the game's own levels under "Packs"
    drops --pack, and picking the pack again brings it back; its folder,
    given to the folder picker, is kept and played too.  Its first
    level's proof, watched in the pack, plays with the native --pack
    replay's events to the level's end (natively the built-in levels refuse
    it).  The page's storage is left without packs."""
    source = os.path.join(os.path.dirname(os.path.dirname(RECORDING)), "packs", "example")
    pack_zip = os.path.join(WORK, "example.zip")
    with zipfile.ZipFile(pack_zip, "w", zipfile.ZIP_DEFLATED) as z:
        for rel in ["pack.ini"] + ["levels/" + f for f in sorted(os.listdir(os.path.join(source, "levels")))] + \
                ["proofs/" + f for f in sorted(os.listdir(os.path.join(source, "proofs")))]:
            z.write(os.path.join(source, rel), rel)
    proof = os.path.join(source, "proofs", "level-1.rec")
    env = dict(os.environ, XDG_DATA_HOME=os.path.join(WORK, "data"))
    r = subprocess.run([NATIVE, "--headless", "--fast", "--pack", pack_zip, "--replay", proof, "--events"],
                       cwd=GAME_DIR, env=env, capture_output=True, text=True, timeout=300)
    assert r.returncode == 0, r.stderr
    want = r.stdout.splitlines()
    assert want[-1].endswith(" sound:level-clear"), want[-3:]
    assert native("--headless", "--fast", "--replay", proof).returncode != 0, "the proof plays without its pack"

    def reloaded(before):
        # The page reloads itself: an evaluation may meet the navigation.
        deadline = time.time() + 60
        while True:
            try:
                if b.evaluate("!window.%s && document.readyState === 'complete' && typeof Module === 'object' && "
                              "Module.running && Module.tick >= 2" % before):
                    return
            except RuntimeError:
                pass
            assert time.time() < deadline, "the page did not reload and play"
            time.sleep(0.05)

    b.open(site.url())
    try:
        b.evaluate("window.before = 1; const dt = new DataTransfer(); dt.items.add(new File("
                   "[Uint8Array.from(atob(%s), c => c.charCodeAt(0))], 'example.zip'));"
                   " document.dispatchEvent(new DragEvent('drop', {dataTransfer: dt, bubbles: true, cancelable: true}));"
                   " true" % json.dumps(base64.b64encode(open(pack_zip, "rb").read()).decode()))
        reloaded("before")
        args = b.evaluate("Module.arguments")
        assert args[args.index("--pack") + 1] == "/pack.zip", args
        assert b.evaluate("document.getElementById('pack-list').value") == "example.zip"
        for choice, played in (("", False), ("example.zip", True)):
            b.evaluate("window.before = 1; const l = document.getElementById('pack-list'); l.value = %s;"
                       " l.dispatchEvent(new Event('change')); true" % json.dumps(choice))
            reloaded("before")
            assert ("--pack" in b.evaluate("Module.arguments")) == played, b.evaluate("Module.arguments")
        assert not page_errors(b), page_errors(b)
        # The pack's folder, through the folder picker: kept beside the zip and played.
        node = b.call("DOM.getDocument")["root"]["nodeId"]
        node = b.call("DOM.querySelector", nodeId=node, selector="#pack-dir")["nodeId"]
        b.evaluate("window.before = 1; true")
        b.call("DOM.setFileInputFiles", nodeId=node, files=[source])
        reloaded("before")
        args = b.evaluate("Module.arguments")
        assert args[args.index("--pack") + 1] == "/pack", args
        assert b.evaluate("Array.from(document.getElementById('pack-list').options).map(o => o.text)") == [
            "Clovenfeld (the game's own levels)", "example.zip", "example (folder)"]
        assert not page_errors(b), page_errors(b)

        b.evaluate("sessionStorage.setItem('clovenfeld.watch', atob(%s)); true" %
                   json.dumps(base64.b64encode(open(proof, "rb").read()).decode()))
        b.open(site.url("?watch=1&events=1&fast=1"))
        b.wait_for("Module.output.some(l => / sound:level-clear$/.test(l))", timeout=120)
        got = b.evaluate("Module.output.filter(l => /^tick /.test(l))")
        assert got[:len(want)] == want, "the proof in the browser: %s" % next(
            ("%r, not %r" % (g, w) for g, w in zip(got, want) if g != w), "%d lines" % len(got))
        assert not page_errors(b), page_errors(b)
    finally:
        b.evaluate("Object.keys(localStorage).filter(k => k.startsWith('clovenfeld.pack'))"
                   ".forEach(k => localStorage.removeItem(k)); true")


def case_editor(b, site):
    """The level editor on a phone-sized page, by touch alone: a floor with
    the rectangle, a ladder with the line, eggs, the duck's start; Save keeps
    the level in the page's storage with exactly those cells; Prove runs
    every round in the prover's worker; Publish's form (typed) makes a pack
    that the native --verify-pack accepts.  A reload opens the same work."""
    emulate(b, 900, 700, True)
    b.open(site.url())
    b.evaluate("localStorage.removeItem('clovenfeld.editor.work'); true")
    b.open(site.url("?edit=1"))
    b.wait_for("Module.running && Module.tick >= 5")
    rect = b.evaluate("(() => { const r = document.getElementById('screen').getBoundingClientRect();"
                      " return [r.left, r.top, r.width, r.height]; })()")

    def at(x, y):
        return rect[0] + (x + 0.5) * rect[2] / 640, rect[1] + (y + 0.5) * rect[3] / 480

    def ticks(n):
        tick = b.evaluate("Module.tick")
        b.wait_for("Module.tick >= %d" % (tick + n))

    finger = [0]

    def stroke(points):
        # Each stroke a finger of its own, apart in time, so none is taken for a double tap.
        finger[0] += 1
        x, y = at(*points[0])
        b.touch("touchStart", [(finger[0], x, y)])
        ticks(4)
        for p in points[1:]:
            x, y = at(*p)
            b.touch("touchMove", [(finger[0], x, y)])
            ticks(4)
        b.touch("touchEnd", [])
        ticks(30)

    def cell(col, row):
        return col * 16 + 8, 16 + row * 16 + 8

    def palette(i):
        stroke([(i * 32 + 16, 432)])

    try:
        palette(1)
        stroke([(328 + 32 + 16, 432)])                       # the rectangle
        stroke([cell(3, 9), cell(12, 9), cell(24, 9)])        # a floor
        palette(4)
        stroke([(328 + 64 + 16, 432)])                       # the line
        stroke([cell(24, 9), cell(24, 13)])                   # a ladder
        stroke([(328 + 16, 432)])                            # the pencil
        palette(7)
        for c, r in ((6, 8), (30, 13), (31, 13)):
            stroke([cell(c, r)])
        palette(6)
        stroke([cell(36, 2)])
        ticks(10)
        press(b, "F2", "F2", 113)
        b.wait_for("localStorage.getItem('clovenfeld.editor.work') !== null")
        kept = b.evaluate("btoa(localStorage.getItem('clovenfeld.editor.work'))")
        data = base64.b64decode(kept)
        width, height = int.from_bytes(data[18:22], "little"), int.from_bytes(data[22:26], "little")
        offset = int.from_bytes(data[10:14], "little")
        rows = []
        for r in range(height):
            line = data[offset + (height - 1 - r) * width: offset + (height - r) * width]
            rows.append("".join(".#SsHPDo|-"[v] for v in line))
        assert rows[9] == "#..#####################H..............#", rows
        assert rows[13][24] == "H" and rows[13][30:32] == "oo" and rows[8][6] == "o" and rows[2][36] == "D", rows

        press(b, "F6", "F6", 117)
        b.wait_for("Module.proverAnswers.length >= 3", timeout=240)
        assert b.evaluate("Module.proverAnswers") == [0, 0, 0], b.evaluate("Module.proverAnswers")
        press(b, "F9", "F9", 120)
        ticks(3)
        for text in ("Web Pack", "Tab", "Tester", "Enter", "Enter", "A level drawn by touch", "Enter"):
            if text in ("Tab", "Enter"):
                press(b, text, text, 9 if text == "Tab" else 13, "\r" if text == "Enter" else None)
            else:
                for ch in text:
                    code = "Key" + ch.upper() if ch.isalpha() else "Space"
                    press(b, code, ch, ord(ch.upper()), ch)
                ticks(2)
        b.wait_for("Module.published !== undefined", timeout=30)
        published = b.evaluate("Module.published")
        assert published["id"] == "web-pack", published["id"]
        folder = os.path.join(WORK, "web-pack")
        for rel, text in published["files"].items():
            os.makedirs(os.path.dirname(os.path.join(folder, rel)), exist_ok=True)
            with open(os.path.join(folder, rel), "wb") as f:
                f.write(text.encode("latin-1"))
        assert sorted(published["files"]) == ["levels/1.bmp", "pack.ini", "proofs/level-1.rec",
                                              "proofs/level-10.rec", "proofs/level-19.rec"], sorted(published["files"])
        r = native("--verify-pack", folder)
        assert r.returncode == 0, r.stdout + r.stderr
        assert not page_errors(b), page_errors(b)
        b.open(site.url("?edit=1"))
        b.wait_for("Module.running && Module.tick >= 2")
        assert b.evaluate("Module.arguments").count("/work/level.bmp") == 1, b.evaluate("Module.arguments")
    finally:
        stop_emulating(b)
        b.evaluate("Object.keys(localStorage).filter(k => k.startsWith('clovenfeld.pack') ||"
                   " k === 'clovenfeld.editor.work').forEach(k => localStorage.removeItem(k)); true")


CASES = [case_title, case_play, case_sound, case_pause_and_bindings, case_records, case_escape_on_title, case_replay_level2,
         case_fatal_report, case_blocked_wasm, case_one_click, case_first_visit, case_keys_overlay, case_watching, case_assists_and_practice,
         case_announcements, case_quick_taps, case_touch_phone, case_touch_pause_and_quit, case_touch_recording,
         case_gamepad, case_pad_pause_and_quit, case_layouts, case_offline, case_pack, case_editor]


# After a two-finger touch, Chromium's emulated touches no longer reach later
# pages of that browser: the cases after one start with a browser of their own.
FRESH_BROWSER = {case_assists_and_practice, case_touch_pause_and_quit, case_touch_recording, case_gamepad, case_layouts,
                 case_editor}


def main():
    site = browser.Site(SITE)
    passed = failed = 0
    b = browser.Browser()
    try:
        only = os.environ.get("CLOVENFELD_WEB_CASES")  # a comma-separated choice, for working on a case
        for case in CASES:
            name = case.__name__[len("case_"):]
            if only and name not in only.split(","):
                continue
            start = time.time()
            if case in FRESH_BROWSER:
                b.close()
                b = browser.Browser()
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
