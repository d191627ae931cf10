"""Headless Chromium driven through the DevTools protocol, for the browser tests
and the browser benchmark: a static file server on 127.0.0.1, a fresh browser
profile, one page, and a few calls (evaluate, keys, clicks, console)."""

import base64
import functools
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import websocket  # Debian: python3-websocket

CHROMIUM_FLAGS = [
    "--headless=new", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-default-apps", "--disable-extensions", "--mute-audio",
    "--window-size=1024,768",
]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript"})

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.server.requests.append(self.path)
        super().do_GET()

    def copyfile(self, source, outputfile):
        data = source.read()
        self.server.bytes_sent += len(data)  # the bodies served, not the headers
        outputfile.write(data)


class Site:
    """Serves a folder on 127.0.0.1 at a free port, in a thread."""

    def __init__(self, folder):
        handler = functools.partial(QuietHandler, directory=folder)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.server.requests = []  # the paths asked for, in order
        self.server.bytes_sent = 0
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def url(self, query=""):
        return "http://127.0.0.1:%d/index.html%s" % (self.port, query)

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class Browser:
    """One headless Chromium with one page."""

    def __init__(self, chromium="chromium"):
        self.profile = tempfile.mkdtemp(prefix="clovenfeld-chromium-")
        flags = list(CHROMIUM_FLAGS)
        if os.geteuid() == 0:
            flags.append("--no-sandbox")
        self.proc = subprocess.Popen(
            [chromium, *flags, "--user-data-dir=" + self.profile, "--remote-debugging-port=0",
             "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.time() + 60
        while not os.path.exists(port_file) or os.path.getsize(port_file) == 0:
            if self.proc.poll() is not None or time.time() > deadline:
                self.close()
                raise RuntimeError("chromium did not start")
            time.sleep(0.05)
        port = int(open(port_file).read().split()[0])
        pages = []
        while not pages:
            with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port, timeout=10) as r:
                pages = [t for t in json.load(r) if t["type"] == "page"]
            if time.time() > deadline:
                raise RuntimeError("chromium has no page")
        self.ws = websocket.create_connection(pages[0]["webSocketDebuggerUrl"], timeout=60,
                                              suppress_origin=True)
        self.next_id = 0
        self.console = []      # (level, text) of console messages and exceptions
        self.fail_urls = []    # with Fetch enabled: requests whose URL contains one of these fail
        self.call("Runtime.enable")
        self.call("Page.enable")
        self.call("Log.enable")

    def _handle(self, msg):
        method = msg.get("method")
        if method == "Runtime.consoleAPICalled":
            text = " ".join(str(a.get("value", a.get("description", ""))) for a in msg["params"]["args"])
            self.console.append((msg["params"]["type"], text))
        elif method == "Runtime.exceptionThrown":
            d = msg["params"]["exceptionDetails"]
            self.console.append(("exception", d.get("exception", {}).get("description", d.get("text"))))
        elif method == "Fetch.requestPaused":
            # Answered without waiting: the reply is read and dropped by a later call.
            p = msg["params"]
            fail = any(u in p["request"]["url"] for u in self.fail_urls)
            self.next_id += 1
            self.ws.send(json.dumps({"id": self.next_id, "method": "Fetch.failRequest" if fail else "Fetch.continueRequest",
                                     "params": dict(requestId=p["requestId"], **({"errorReason": "Failed"} if fail else {}))}))
        elif method == "Log.entryAdded":
            e = msg["params"]["entry"]
            self.console.append((e["level"], e["text"] + (" " + e["url"] if e.get("url") else "")))

    def call(self, method, **params):
        self.next_id += 1
        my_id = self.next_id
        self.ws.send(json.dumps({"id": my_id, "method": method, "params": params}))
        while True:
            msg = json.loads(self.ws.recv())
            if msg.get("id") == my_id:
                if "error" in msg:
                    raise RuntimeError("%s: %s" % (method, msg["error"]))
                return msg.get("result", {})
            self._handle(msg)

    def evaluate(self, expression):
        r = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in r:
            raise RuntimeError("evaluate %s: %s" % (expression, r["exceptionDetails"]))
        return r["result"].get("value")

    def wait_for(self, expression, timeout=60.0, interval=0.02):
        """Polls a JavaScript expression until it is truthy; returns its value."""
        deadline = time.time() + timeout
        while True:
            v = self.evaluate(expression)
            if v:
                return v
            if time.time() > deadline:
                raise TimeoutError("waited %.0f s for %s" % (timeout, expression))
            time.sleep(interval)

    def open(self, url):
        self.console.clear()
        self.call("Page.navigate", url=url)
        self.wait_for("document.readyState === 'complete' && typeof Module === 'object'")

    def click(self, selector):
        box = self.evaluate("(() => { const r = document.querySelector(%s).getBoundingClientRect();"
                            " return [r.x + r.width / 2, r.y + r.height / 2]; })()" % json.dumps(selector))
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1], button="left", clickCount=1)

    def key(self, kind, code, key, vk, text=None):
        """kind: keyDown, keyUp; code: KeyboardEvent.code; vk: Windows key code."""
        params = dict(type=kind, code=code, key=key, windowsVirtualKeyCode=vk, nativeVirtualKeyCode=vk)
        if kind == "keyDown" and text:
            params["text"] = text
        self.call("Input.dispatchKeyEvent", **params)

    def touch(self, kind, points):
        """kind: touchStart, touchMove, touchEnd; points: every finger down after
        the event as (id, x, y) (CSS pixels); touchEnd lifts them all."""
        self.call("Input.dispatchTouchEvent", type=kind,
                  touchPoints=[dict(id=i, x=x, y=y) for i, x, y in points])

    def centre(self, selector):
        """(x, y) of the middle of the element in CSS pixels."""
        return self.evaluate("(() => { const r = document.querySelector(%s).getBoundingClientRect();"
                             " return [r.x + r.width / 2, r.y + r.height / 2]; })()" % json.dumps(selector))

    def canvas_rgba(self, selector="#screen"):
        """The canvas pixels as R, G, B, A bytes, row by row from the top."""
        b64 = self.evaluate(
            "(() => { const c = document.querySelector(%s);"
            " const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
            " let s = ''; for (let i = 0; i < d.length; i += 32768)"
            " s += String.fromCharCode.apply(null, d.subarray(i, i + 32768)); return btoa(s); })()"
            % json.dumps(selector))
        return base64.b64decode(b64)

    def read_file(self, path):
        """A file of the game's virtual file system."""
        b64 = self.evaluate(
            "(() => { const d = Module.FS.readFile(%s); let s = '';"
            " for (let i = 0; i < d.length; i += 32768)"
            " s += String.fromCharCode.apply(null, d.subarray(i, i + 32768)); return btoa(s); })()"
            % json.dumps(path))
        return base64.b64decode(b64)

    def close(self):
        try:
            if getattr(self, "ws", None):
                self.ws.close()
        except Exception:
            pass
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


# A test run stopped from outside (a time-out) still closes its browser.
signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
