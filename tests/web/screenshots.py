#!/usr/bin/python3
"""The README's pictures of the page: level 1 just started, on a 1366 x 768
laptop and on a 390 x 844 phone (two device pixels a CSS pixel, with the
touch controls), in Debian's headless Chromium; and the level editor on the
phone, on level 3 of the site's levels.

    tests/web/screenshots.py SITE_DIR [OUT_DIR]

OUT_DIR defaults to docs/screenshots (browser-laptop.png, browser-phone.png,
editor-phone.png)."""

import base64
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

SITE = os.path.abspath(sys.argv[1])
OUT = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else
                      os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "screenshots"))


def shoot(b, site, name, width, height, touch, scale):
    b.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=scale, mobile=touch)
    b.call("Emulation.setTouchEmulationEnabled", enabled=touch, maxTouchPoints=5 if touch else 1)
    b.open(site.url("?seed=1&events=1"))
    b.wait_for("Module.output.some(l => / title$/.test(l)) && Module.tick >= 2")
    for event in ("infobox:Level 1", "level:1"):
        if touch:  # Start / OK, held for a few ticks
            x, y = b.centre(".pad.space")
            b.touch("touchStart", [(1, x, y)])
            tick = b.evaluate("Module.tick")
            b.wait_for("Module.tick >= %d" % (tick + 3))
            b.touch("touchEnd", [])
        else:
            b.key("keyDown", "Space", " ", 32, " ")
            b.key("keyUp", "Space", " ", 32)
        b.wait_for("Module.output.some(l => / %s$/.test(l))" % event)
        tick = b.evaluate("Module.tick")
        b.wait_for("Module.tick >= %d" % (tick + 5))
    png = base64.b64decode(b.call("Page.captureScreenshot", format="png")["data"])
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(png)
    print("wrote", os.path.join(OUT, name))


def shoot_editor(b, site, name, width, height):
    b.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=2, mobile=True)
    b.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
    b.open(site.url())
    b.wait_for("Module.running")
    b.evaluate("localStorage.setItem('clovenfeld.editor.work', Array.from(Module.FS.readFile('/levels/3.bmp'),"
               " c => String.fromCharCode(c)).join('')); true")
    b.open(site.url("?edit=1"))
    b.wait_for("Module.running && Module.tick >= 20")
    png = base64.b64decode(b.call("Page.captureScreenshot", format="png")["data"])
    b.evaluate("localStorage.removeItem('clovenfeld.editor.work'); true")
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(png)
    print("wrote", os.path.join(OUT, name))


def main():
    site = browser.Site(SITE)
    b = browser.Browser()
    try:
        shoot(b, site, "browser-laptop.png", 1366, 768, False, 1)
        shoot(b, site, "browser-phone.png", 390, 844, True, 2)
        shoot_editor(b, site, "editor-phone.png", 390, 844)
    finally:
        b.close()
        site.close()


if __name__ == "__main__":
    main()
