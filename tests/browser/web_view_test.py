#!/usr/bin/env python3
"""The web view in a real browser: headless Chromium driven by Selenium against voxa-sim --web.

    python3 tests/browser/web_view_test.py --bin DIR --out DIR

DIR holds voxa-sim and its firmware executables; the out folder receives exit.png (the
simulator's own screenshot), web-view.png (the page) and figures printed as `measure:` lines.
Runs of voxa-sim at the real-time pace: the first compares the canvas with the simulator's
screenshot pixel for pixel; the second works the page as a person would (mouse, console,
buttons, sound) and measures what the stream costs; a short third one swaps the card."""

import argparse
import base64
import json
import math
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import png_rgb  # noqa: E402

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.select import Select
except ImportError:
    # Debian's python3-selenium lives in the system interpreter; a python3 earlier on PATH
    # (pyenv and the like) does not see it.
    if os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3") and \
            os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    raise

START_TEXT = ":No .BIN file in flash or on SD card"
PROMPTS = (">", "!", "#", "^")
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"


class Failure(Exception):
    pass


def check(cond, message):
    if not cond:
        raise Failure(message)


def wait_for(what, fn, timeout=10.0, interval=0.05):
    """Polls fn until it returns something true; fails naming what was awaited."""
    deadline = time.monotonic() + timeout
    while True:
        value = fn()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def read_png(data):
    """RGB rows of an 8-bit RGB or RGBA PNG, as (width, height, bytes of R, G, B)."""
    try:
        return png_rgb.read_png(data)
    except ValueError as e:
        raise Failure(str(e))


def compare_rgb(width, a, b, what):
    """Fails with the first differing pixels when two RGB pictures of one width differ."""
    check(len(a) == len(b), f"{what}: sizes differ ({len(a) // 3} against {len(b) // 3} pixels)")
    if a == b:
        return
    bad = [i // 3 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3]]
    first = ", ".join(f"({p % width},{p // width}) {tuple(a[p * 3:p * 3 + 3])} against "
                      f"{tuple(b[p * 3:p * 3 + 3])}" for p in bad[:5])
    raise Failure(f"{what}: {len(bad)} pixels differ, first {first}")


class Simulator:
    """voxa-sim with the web view in the background; stderr is collected by a thread."""

    def __init__(self, bin_dir, state, *args):
        self.lines = []
        self.proc = subprocess.Popen(
            [os.path.join(bin_dir, "voxa-sim"), "--state", state, "--web", "0", *args],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
            start_new_session=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        try:
            m = wait_for("voxa-sim to print the web view's address",
                         lambda: self._match(r"voxa-sim: web view at (http://\S+)") or
                         (self.proc.poll() is not None and self._died()), timeout=15)
        except BaseException:
            self.stop(signal.SIGKILL)
            raise
        self.url = m.group(1)
        self.origin = re.match(r"http://[^/]+", self.url).group(0)
        token = re.search(r"[?&]token=([^&]+)", self.url)
        self.token = token.group(1) if token else None

    def _read(self):
        for raw in self.proc.stderr:
            self.lines.append(raw.decode(errors="replace").rstrip("\n"))

    def _match(self, pattern):
        for line in list(self.lines):
            m = re.search(pattern, line)
            if m:
                return m
        return None

    def _died(self):
        time.sleep(0.2)
        raise Failure(f"voxa-sim ended with {self.proc.returncode}: {' | '.join(self.lines)}")

    def api(self, path, method="GET", body=None, headers=None, token=True):
        """(status, body) of a request to the server, 4xx included."""
        if token and self.token:
            path += ("&" if "?" in path else "?") + "token=" + self.token
        req = urllib.request.Request(self.origin + path, data=body, method=method,
                                     headers=headers or {})
        try:
            with urllib.request.urlopen(req, timeout=5) as r:
                return r.status, r.read()
        except urllib.error.HTTPError as e:
            return e.code, e.read()

    def stats(self):
        status, body = self.api("/api/stats")
        check(status == 200, f"GET /api/stats answered {status}")
        return json.loads(body)

    def thread_cpu(self):
        """CPU seconds of every thread of voxa-sim but the main one."""
        total = 0
        task = f"/proc/{self.proc.pid}/task"
        for tid in os.listdir(task):
            if int(tid) == self.proc.pid:
                continue
            try:
                with open(f"{task}/{tid}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue  # the thread ended meanwhile
            total += int(fields[11]) + int(fields[12])  # utime, stime
        return total / os.sysconf("SC_CLK_TCK")

    def stop(self, sig=signal.SIGINT):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
            try:
                self.proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        self.reader.join(timeout=2)
        return self.proc.returncode


class Page:
    """The page in headless Chromium."""

    def __init__(self, url, profile):
        opts = webdriver.ChromeOptions()
        opts.binary_location = CHROMIUM
        for arg in ("--headless=new", "--window-size=1400,1000", "--no-sandbox",
                    "--disable-dev-shm-usage", "--disable-gpu", "--force-device-scale-factor=1",
                    f"--user-data-dir={profile}", "--no-first-run"):
            opts.add_argument(arg)
        opts.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=opts)
        try:
            self.driver.set_script_timeout(30)
            self.driver.get(url)
            wait_for("the page to get hello and its first frame",
                     lambda: self.js("return !!(window.voxa && window.voxa.ready)"), timeout=15)
            self.width, self.height = self.js(
                "return [window.voxa.hello.width, window.voxa.hello.height]")
            self.canvas = self.driver.find_element(By.ID, "panel")
            self.input = self.driver.find_element(By.ID, "line")
        except BaseException:
            self.driver.quit()
            raise

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def console(self):
        text = self.js("return window.voxa.consoleText()")
        return text.split("\n") if text else []

    def frames(self):
        return self.js("return window.voxa.stats.frames")

    def pixels(self, x=0, y=0, w=None, h=None):
        w = self.width if w is None else w
        h = self.height if h is None else h
        return base64.b64decode(self.js("return window.voxa.pixels(...arguments)", x, y, w, h))

    def settle(self, quiet=0.6, timeout=10):
        """Waits until no frame has arrived for `quiet` seconds (and none is being decoded)."""
        def quiet_now():
            age = self.js("return performance.now() - window.voxa.stats.lastFrameAt") / 1000
            return age >= quiet
        wait_for("frames to stop arriving", quiet_now, timeout=timeout, interval=0.1)

    def command(self, line, timeout=5):
        """Types a line into the page's console, Enter; returns the reply lines before the
        prompt, which must be '>'."""
        n = len(self.console())
        self.input.send_keys(line + Keys.ENTER)

        def answered():
            new = self.console()[n:]
            for i, text in enumerate(new[1:], 1):
                if text in PROMPTS:
                    return new, i
            return None
        try:
            new, i = wait_for(f"the reply to {line!r}", answered, timeout=timeout)
        except Failure as e:
            raise Failure(f"{e}; console ends {self.console()[-6:]}") from None
        check(new[0] == line, f"the console echoed {new[0]!r} for {line!r}")
        check(new[i] == ">", f"{line!r} was answered {new[1:i + 1]}")
        return new[1:i]

    def wait_console(self, what, pred, timeout=8):
        try:
            return wait_for(what, lambda: pred(self.console()), timeout=timeout)
        except Failure as e:
            raise Failure(f"{e}; console ends {self.console()[-8:]}") from None

    def severe_log(self):
        return [e for e in self.driver.get_log("browser") if e.get("level") == "SEVERE"]

    def quit(self):
        self.driver.quit()


def wait_started(page, starts_before=0):
    """Waits for the module's start-up text and prompt in the console."""
    def started(lines):
        idx = [i for i, t in enumerate(lines) if t == START_TEXT]
        return len(idx) > starts_before and ">" in lines[idx[-1]:]
    page.wait_console("the module's start-up text and prompt", started, timeout=10)


def run_pixels(bin_dir, tmp, out):
    """The canvas is the simulator's own screenshot, pixel for pixel."""
    shot = os.path.join(out, "exit.png")
    if os.path.exists(shot):
        os.remove(shot)
    sim = Simulator(bin_dir, os.path.join(tmp, "state"), "--no-sd", "--com0", "web",
                    "--screenshot", shot)
    page = None
    try:
        page = Page(sim.url, os.path.join(tmp, "chrome1"))
        wait_started(page)
        for line in ("S FFF 036", "z", "r 40 40 239 139 1 F80", "f 24",
                     't "Voxa web view" 300 60', "f m16", "S 0F0 036", 't "mono 0123" 300 140 T',
                     "c 600 300 80 1", "xs 200 40 40 239 139", "xbbs 150", "*orient 1"):
            page.command(line)
        page.settle()
        # Dimmed and mirrored, so that the level and flip arithmetic are compared too.
        look = wait_for("the panel to be dimmed and mirrored", lambda: page.js(
            "const p = window.voxa.panel; return p.level > 0 && p.level < 1 && p.flipX && p")
            or None, timeout=3)
        canvas = page.pixels()
        colours = {canvas[i:i + 3] for i in range(0, len(canvas), 3)}
        # A dark or blank screen would equal a dark or blank canvas: the drawing must show.
        check(len(colours) >= 6, f"the canvas shows only {len(colours)} colours")
        code = sim.stop()
        check(code == 0, f"voxa-sim ended with {code} on SIGINT: {' | '.join(sim.lines[-5:])}")
        with open(shot, "rb") as f:
            w, h, png = read_png(f.read())
        check((w, h) == (page.width, page.height),
              f"exit.png is {w}x{h}, the page's panel {page.width}x{page.height}")
        compare_rgb(w, canvas, png, "canvas against exit.png")
        print(f"ok: canvas equals exit.png ({w}x{h}, {len(colours)} colours, "
              f"backlight {look['level']:.3f}, mirrored)")
    finally:
        if page:
            page.quit()
        sim.stop()


def click_at(page, x, y, hold=0.3):
    """A real mouse press at panel pixel (x, y), held long enough for the touch sampler."""
    a = ActionChains(page.driver)
    a.move_to_element_with_offset(page.canvas, *offset(page, x, y))
    a.click_and_hold().pause(hold).release().perform()


def offset(page, x, y):
    """The offset from the canvas' centre to the middle of panel pixel (x, y) as the page
    scales and places the canvas. WebDriver starts from the element's centre rounded down and
    moves the pointer by whole CSS pixels."""
    r = page.js("const r = arguments[0].getBoundingClientRect();"
                "return [r.left, r.top, r.width, r.height]", page.canvas)
    left, top, width, height = r
    return (round(left + (x + 0.5) * width / page.width) - math.floor(left + width / 2),
            round(top + (y + 0.5) * height / page.height) - math.floor(top + height / 2))


def run_interaction(bin_dir, tmp, out):
    # With a token every request of the page must carry it, so each control below checks that.
    sim = Simulator(bin_dir, os.path.join(tmp, "state2"), "--com0", "web", "--no-sd",
                    "--web-token")
    check(sim.token, f"--web-token printed no token in {sim.url}")
    page = None
    try:
        page = Page(sim.url, os.path.join(tmp, "chrome2"))
        wait_started(page)
        hello = page.js("return window.voxa.hello")
        check(hello["console"] == 0 and not page.input.get_property("disabled"),
              f"--com0 web gives console {hello['console']}, input disabled "
              f"{page.input.get_property('disabled')}")
        for button in ("card-in", "card-out"):
            check(not page.driver.find_element(By.ID, button).is_enabled(),
                  f"{button} is enabled without a card")

        # Mouse on a hotspot: its touch report reaches the console.
        page.command("S 000 FFF")
        page.command("z")
        page.command("xs 130 100 100 299 199")
        reports = sum(1 for t in page.console() if t == "x130")
        click_at(page, 200, 150)
        page.wait_console("the hotspot's report x130 after a mouse click",
                          lambda c: sum(1 for t in c if t == "x130") > reports)
        print("ok: a mouse click on hotspot 130 reported x130")

        # Scaled by a fraction, the pointer still lands on the pixel under it: a hotspot that
        # reports the position within it tells where the module felt the finger.
        Select(page.driver.find_element(By.ID, "view")).select_by_value("smooth")
        scale = page.js("return arguments[0].getBoundingClientRect().width", page.canvas) / \
            page.width
        check(abs(scale - round(scale)) > 0.01, f"the smooth view scales by {scale}")
        page.command("xxy 131 400 100 599 199")
        felt = []
        for x, y in ((450, 130), (587, 191)):
            reports = [t for t in page.console() if t.startswith("x131")]
            click_at(page, x, y)
            text = page.wait_console(
                f"the report of hotspot 131 for ({x},{y})",
                lambda c: [t for t in c if t.startswith("x131")][len(reports):])[0]
            m = re.fullmatch(r"x131 (\d+) (\d+)", text)
            check(m and abs(int(m[1]) - (x - 400)) <= 1 and abs(int(m[2]) - (y - 100)) <= 1,
                  f"a click at ({x},{y}) scaled by {scale:.3f} was reported as {text!r}")
            felt.append(text)
        print(f"ok: clicks at a scale of {scale:.3f} reach the module at their pixels ({felt})")
        Select(page.driver.find_element(By.ID, "view")).select_by_value("fit")

        # A drag with touch debugging on leaves crosses along the whole path.
        page.command("*debug 1")
        page.settle()
        band_y, band_h = 320, 60
        before = page.pixels(0, band_y, page.width, band_h)
        path = [(100 + 100 * i, 350) for i in range(7)]
        chain = ActionChains(page.driver)
        chain.move_to_element_with_offset(page.canvas, *offset(page, *path[0])).click_and_hold()
        chain.pause(0.3)
        for x, y in path[1:]:
            chain.move_to_element_with_offset(page.canvas, *offset(page, x, y)).pause(0.3)
        chain.release().perform()
        page.settle()
        after = page.pixels(0, band_y, page.width, band_h)
        changed = [(i // 3 % page.width, band_y + i // 3 // page.width)
                   for i in range(0, len(after), 3) if after[i:i + 3] != before[i:i + 3]]
        for x, y in path[1:-1]:
            near = [p for p in changed if abs(p[0] - x) <= 12 and abs(p[1] - y) <= 12]
            check(near, f"no touch cross near ({x},{y}) after the drag; "
                        f"{len(changed)} pixels changed in the band")
        print(f"ok: the drag drew crosses at all {len(path) - 2} intermediate points")
        page.command("*debug 0")

        reply = page.command("vers")
        check(len(reply) == 1 and reply[0].startswith("VOXA5-PLUS V"), f"vers answered {reply}")

        # Reset and power cycle: the start-up again, and the module answers afterwards.
        for button, starts in (("reset", 1), ("power", 2)):
            page.driver.find_element(By.ID, button).click()
            wait_started(page, starts)
            reply = page.command("vers")
            check(reply and reply[0].startswith("VOXA5-PLUS V"),
                  f"after {button} vers answered {reply}")
            wait_for(f"the status to say running after {button}",
                     lambda: (page.js("return window.voxa.status") or {}).get("state")
                     == "running", timeout=3)
        print("ok: Reset and Power cycle show the start-up again and the module answers")

        # Sound on, a beep, sound off: nothing goes wrong in the page.
        sound = page.driver.find_element(By.ID, "sound")
        check(sound.text == "Sound off", f"the sound button starts as {sound.text!r}")
        sound.click()
        check(sound.text == "Sound on", f"after a click the sound button says {sound.text!r}")
        page.command("beep 300")
        # The beep reaches the oscillator: its gain rises while the tone lasts.
        def sounding():
            s = page.js("return window.voxa.sound")
            return s if s["gain"] > 0 and s["hz"] > 0 else None
        heard = wait_for("the page's oscillator to sound the beep", sounding, timeout=2,
                         interval=0.02)
        sound.click()
        check(sound.text == "Sound off", f"after a second click it says {sound.text!r}")
        check(not page.js("return window.voxa.sound.on"), "the sound stayed on")
        page.command("beep 100")
        time.sleep(0.3)
        severe = page.severe_log()
        check(not severe, f"the browser logged errors: {severe}")
        print(f"ok: sound on played a beep ({heard['hz']:.0f} Hz, gain {heard['gain']:.3f}, "
              f"audio {heard['state']}); sound off; no errors in the browser log")

        # Only the page's own origin may act on the module.
        n = sum(1 for t in page.console() if t.startswith("VOXA5-PLUS V"))
        status, body = sim.api("/api/console", "POST", b"vers",
                               {"Origin": "http://evil.example"})
        check(status == 403, f"a POST from a foreign origin answered {status} {body!r}")
        status, body = sim.api("/api/console", "POST", b"vers")
        check(status == 204, f"a POST without Origin answered {status} {body!r}")
        page.wait_console("the reply to the POSTed vers",
                          lambda c: sum(1 for t in c if t.startswith("VOXA5-PLUS V")) > n)
        time.sleep(0.5)
        got = sum(1 for t in page.console() if t.startswith("VOXA5-PLUS V")) - n
        check(got == 1, f"two POSTs of vers (one refused) gave {got} replies")
        status, _ = sim.api("/api/stats", token=False)
        check(status == 403, f"GET /api/stats without the token answered {status}")
        print("ok: a foreign Origin gets 403 and reaches nothing; no Origin works; "
              "no token gets 403")

        # The screenshot endpoint is what the page shows.
        page.settle()
        status, png = sim.api("/api/screenshot.png")
        check(status == 200, f"GET /api/screenshot.png answered {status}")
        w, h, rgb = read_png(png)
        compare_rgb(w, page.pixels(), rgb, "canvas against /api/screenshot.png")
        print("ok: /api/screenshot.png is a PNG equal to the canvas")

        measure(page, sim)

        # A screen and a console worth showing for the picture of the page.
        for line in ("S FFF 123", "z", "r 0 0 799 59 1 2A6", "f 32B", 't "VOXA5-PLUS" 24 6 T',
                     "f 16", 't "The screen of the simulated module, live" 24 90',
                     "r 40 150 330 420 1 EB3", "S 4AF 123", "c 560 285 130 1", "S 000 123",
                     "f m16", 't "touch me" 120 270 T', "xs 130 40 150 330 420", "vers"):
            page.command(line)
        page.settle()
        page.driver.save_screenshot(os.path.join(out, "web-view.png"))
        severe = page.severe_log()
        check(not severe, f"the browser logged errors: {severe}")
    finally:
        if page:
            page.quit()
        sim.stop()


def run_card(bin_dir, tmp):
    """With a card given at start the card buttons take it out and put it back."""
    card = os.path.join(tmp, "card")
    os.makedirs(card)
    sim = Simulator(bin_dir, os.path.join(tmp, "state3"), "--com0", "web", "--sd", card)
    page = None
    try:
        page = Page(sim.url, os.path.join(tmp, "chrome3"))
        check(page.js("return window.voxa.hello.card") != "", "hello names no card")
        for button, inside in (("card-out", False), ("card-in", True)):
            element = page.driver.find_element(By.ID, button)
            check(element.is_enabled(), f"{button} is disabled with a card given")
            element.click()
            wait_for(f"the status to show the card {'in' if inside else 'out'} after {button}",
                     lambda: (page.js("return window.voxa.status") or {}).get("card") is inside
                     and page.driver.find_element(By.ID, "st-card").text ==
                     f"card {'in' if inside else 'out'}", timeout=5)
        print("ok: Card remove and Card insert take the card out and put it back")
    finally:
        if page:
            page.quit()
        sim.stop()


def frame_bytes_for(page, sim, lines):
    page.settle()
    before = sim.stats()
    for line in lines:
        page.command(line)
    # The prompt may come back before the change's frame has gone out (frames go at most 60
    # times a second, and a slow build falls behind): wait for the server to have sent it.
    wait_for("the change's frame to be sent",
             lambda: sim.stats()["frames"] > before["frames"], timeout=10, interval=0.05)
    page.settle()
    return sim.stats()["frame_bytes"] - before["frame_bytes"]


def measure(page, sim):
    small = frame_bytes_for(page, sim, ["r 300 300 399 399 1 F0F"])
    print(f"measure: frame_bytes_100x100 {small} bytes")
    page.command("S 000 0F0")
    full = frame_bytes_for(page, sim, ["z"])
    print(f"measure: frame_bytes_full_screen {full} bytes")
    check(0 < small < 25000, f"a 100x100 change cost {small} bytes of frame data")
    check(full > small, f"a full-screen change cost {full} bytes, a 100x100 one {small}")

    # Continuous redraw: whole-screen fills faster than the page is updated. Each fill has a
    # colour of its own (in RGB565), so that every update the server samples is a change: two
    # colours in turn would often look unchanged between two samples.
    page.settle()
    sent0 = sim.stats()["frames"]
    frames0, cpu0, t0 = page.frames(), sim.thread_cpu(), time.monotonic()
    i = 0
    while time.monotonic() - t0 < 3.0:
        colour = f"{(i % 32) << 3:02X}{(i // 32 % 64) << 2:02X}40"
        status, _ = sim.api("/api/console", "POST", f"r 0 0 799 479 1 {colour}".encode())
        check(status == 204, f"POST /api/console answered {status} during the redraw")
        i += 1
        time.sleep(0.01)
    seconds = time.monotonic() - t0
    frames, cpu = page.frames() - frames0, sim.thread_cpu() - cpu0
    sent = sim.stats()["frames"] - sent0
    print(f"measure: redraw_lines_sent {i / seconds:.1f} 1/s")
    print(f"measure: updates_per_second {frames / seconds:.1f} 1/s")
    print(f"measure: server_frames_per_second {sent / seconds:.1f} 1/s")
    print(f"measure: web_threads_cpu {cpu / seconds:.3f} cores")
    check(frames > 0, "no frame arrived while the screen was redrawn for 3 s")
    page.settle(timeout=20)
    server = sim.stats()
    check(server["clients"] == 1, f"the server counts {server['clients']} pages")
    check(page.frames() - frames0 == server["frames"] - sent0,
          f"the server sent {server['frames'] - sent0} frames during the redraw, the page "
          f"applied {page.frames() - frames0}")

    # Draw line to pixels on the canvas, measured in the page itself.
    delays = []
    for k in range(10):
        colour = "FFFF00" if k % 2 else "00FFFF"  # neither is one of the redraw's
        delay = page.driver.execute_async_script("""
            const [line, x, y, done] = arguments;
            const before = window.voxa.pixel(x, y).join();
            const t0 = performance.now();
            fetch('/api/console' + location.search, {method: 'POST', body: line});
            const poll = () => {
              if (window.voxa.pixel(x, y).join() !== before) done(performance.now() - t0);
              else if (performance.now() - t0 > 5000) done(-1);
              else requestAnimationFrame(poll);
            };
            requestAnimationFrame(poll);""", f"r 690 30 749 89 1 {colour}", 720, 60)
        check(delay >= 0, f"the pixel did not change within 5 s of {colour}")
        delays.append(delay)
        page.settle(quiet=0.2)
    median = statistics.median(delays)
    print(f"measure: draw_to_canvas_latency_median {median:.1f} ms")
    print(f"measure: draw_to_canvas_latency_max {max(delays):.1f} ms")
    check(median < 500, f"the median delay from a draw line to the canvas was {median:.0f} ms")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bin", required=True, help="folder of voxa-sim and its firmware")
    ap.add_argument("--out", required=True, help="folder for exit.png and web-view.png")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for tool in (CHROMIUM, CHROMEDRIVER, os.path.join(args.bin, "voxa-sim")):
        if not os.access(tool, os.X_OK):
            print(f"FAIL: {tool} is missing", file=sys.stderr)
            return 1
    # ctest's time-out and a plain kill end the test with SIGTERM: the finally clauses must
    # still stop voxa-sim and the browser.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAIL: terminated"))
    tmp = tempfile.mkdtemp(prefix="voxa-web-test-")
    started = time.monotonic()
    try:
        run_pixels(args.bin, tmp, os.path.abspath(args.out))
        run_interaction(args.bin, tmp, os.path.abspath(args.out))
        run_card(args.bin, tmp)
    except Failure as e:
        print(f"FAIL: {e}", file=sys.stderr)
        return 1
    except Exception as e:  # the browser or its driver failed: still a clear one-line verdict
        text = (getattr(e, "msg", None) or str(e)).strip().splitlines()
        print(f"FAIL: {type(e).__name__}: {text[0] if text else ''}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print(f"web view test passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
