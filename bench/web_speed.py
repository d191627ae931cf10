#!/usr/bin/python3
"""Speed of the browser build in Debian's headless Chromium.

    bench/web_speed.py SITE_DIR [SECONDS] [NATIVE_PROGRAM]

Prints: the real-time tick rate (a recorded game replayed at play speed), the
fast replay rate over the whole recorded game (and, given the native program
of the same build, in its game folder, its own fast replay of the game run
here in turn, and how many times slower the browser is), the time
putImageData takes for a page, 2-D putImageData against a WebGL texture upload
for a whole page, and the sizes of the shipped files, plain and gzipped."""

import gzip
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import browser  # noqa: E402

SITE = os.path.abspath(sys.argv[1])
SECONDS = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
NATIVE = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
RECORDING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "assets", "recordings", "game.rec")

# Times every putImageData of the page (installed before the page's scripts run).
TIMING = """
(() => {
  const put = CanvasRenderingContext2D.prototype.putImageData;
  window.paintMs = 0; window.paints = 0; window.paintRows = 0;
  CanvasRenderingContext2D.prototype.putImageData = function (d, x, y) {
    const t = performance.now(); put.apply(this, arguments);
    window.paintMs += performance.now() - t; window.paints++; window.paintRows += d.height;
  };
})();
"""

# A whole 640 x 480 page, 200 times: putImageData against a WebGL texture upload and draw.
UPLOADS = """
(() => {
  const n = 200, w = 640, h = 480, px = new Uint8ClampedArray(w * h * 4);
  for (let i = 0; i < px.length; i++) px[i] = (i * 7) & 255;
  const c2 = document.createElement('canvas'); c2.width = w; c2.height = h;
  const ctx = c2.getContext('2d', {alpha: false}); const img = new ImageData(px, w, h);
  let t = performance.now();
  for (let i = 0; i < n; i++) { px[i] = i & 255; ctx.putImageData(img, 0, 0); }
  ctx.getImageData(0, 0, 1, 1);
  const put = (performance.now() - t) / n;
  const cg = document.createElement('canvas'); cg.width = w; cg.height = h;
  const gl = cg.getContext('webgl', {antialias: false, alpha: false});
  if (!gl) return [put, -1];
  const sh = (type, src) => { const s = gl.createShader(type); gl.shaderSource(s, src); gl.compileShader(s); return s; };
  const p = gl.createProgram();
  gl.attachShader(p, sh(gl.VERTEX_SHADER, 'attribute vec2 a; varying vec2 v; void main() { v = a * 0.5 + 0.5; gl_Position = vec4(a, 0.0, 1.0); }'));
  gl.attachShader(p, sh(gl.FRAGMENT_SHADER, 'precision mediump float; varying vec2 v; uniform sampler2D s; void main() { gl_FragColor = texture2D(s, v); }'));
  gl.linkProgram(p); gl.useProgram(p);
  gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
  gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-1, -1, 1, -1, -1, 1, 1, 1]), gl.STATIC_DRAW);
  gl.enableVertexAttribArray(0); gl.vertexAttribPointer(0, 2, gl.FLOAT, false, 0, 0);
  gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
  gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
  gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
  gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
  gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
  const bytes = new Uint8Array(px.buffer), one = new Uint8Array(4);
  t = performance.now();
  for (let i = 0; i < n; i++) {
    bytes[i] = i & 255;
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, w, h, 0, gl.RGBA, gl.UNSIGNED_BYTE, bytes);
    gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
  }
  gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, one);
  return [put, (performance.now() - t) / n, gl.getParameter(gl.VERSION)];
})()
"""


def main():
    site = browser.Site(SITE)
    b = browser.Browser()
    try:
        b.call("Page.addScriptToEvaluateOnNewDocument", source=TIMING)
        # Real time: the recorded game at play speed.
        b.open(site.url("?replay=game.rec"))
        b.wait_for("Module.tick >= 100")
        t0, k0, p0 = time.time(), b.evaluate("Module.tick"), b.evaluate("[paintMs, paints, paintRows]")
        time.sleep(SECONDS)
        t1, k1, p1 = time.time(), b.evaluate("Module.tick"), b.evaluate("[paintMs, paints, paintRows]")
        paints = p1[1] - p0[1]
        print("real time:  %.1f ticks/s over %.0f s (goal 100); %d paints, %.3f ms and %.0f rows each"
              % ((k1 - k0) / (t1 - t0), t1 - t0, paints, (p1[0] - p0[0]) / max(paints, 1),
                 (p1[2] - p0[2]) / max(paints, 1)))
        # Fast: the whole recorded game.
        b.open(site.url("?replay=game.rec&fast=1"))
        start = time.time()
        b.wait_for("Module.exitStatus !== undefined", timeout=600, interval=0.1)
        took = time.time() - start
        ticks = b.evaluate("Module.tick")
        print("fast:       %d ticks in %.1f s = %.0f ticks/s (status %s)"
              % (ticks, took, ticks / took, b.evaluate("Module.exitStatus")))
        if NATIVE:
            start = time.time()
            subprocess.run([NATIVE, "--headless", "--fast", "--replay", RECORDING], cwd=os.path.dirname(NATIVE),
                           check=True, stdout=subprocess.DEVNULL)
            native = time.time() - start
            print("native:     %d ticks in %.1f s = %.0f ticks/s; the browser takes %.2f times as long"
                  % (ticks, native, ticks / native, took / native))
        put, gl, *version = b.evaluate(UPLOADS)
        print("whole page: putImageData %.3f ms, WebGL texImage2D + draw %.3f ms (%s)"
              % (put, gl, version[0] if version else "no WebGL"))
    finally:
        b.close()
        site.close()
    total = total_gz = 0
    for name in sorted(os.listdir(SITE)):
        data = open(os.path.join(SITE, name), "rb").read()
        gz = len(gzip.compress(data, 9))
        total += len(data)
        total_gz += gz
        print("%-16s %8d bytes, %8d gzipped" % (name, len(data), gz))
    print("%-16s %8d bytes, %8d gzipped" % ("all", total, total_gz))


if __name__ == "__main__":
    main()
