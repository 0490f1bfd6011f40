#!/usr/bin/python3
"""The firmware image in QEMU's versatilepb machine, against voxa-sim.

  qemu_test.py --images DIR --sim PATH [--out DIR] [--measure]

1. Boot: the WVGA image starts, prints its start-up prompt, and answers "vers" with the same
   version line as voxa-sim's firmware.
2. Pixels: a drawing script sent over the serial line leaves exactly the frame buffer that
   voxa-sim leaves for the same lines (QEMU's screen dump of the PL110 against voxa-sim's
   screenshot, compared as RGB565).
3. Card: the firmware writes its screen capture to the FAT image QEMU has as the SD card;
   after QEMU quits, fsck.fat finds no error and the file holds the screen.
4. Reset: "*RESET" restarts the firmware through the board's reset, and what it saved in the
   EEPROM before (the configuration name) is still there after the start-up prompt.
5. The images' C library subset, built for the host, against the host's C library
   (libc_check.cpp).

--measure also counts the guest instructions per command line for a few lines (QEMU's exec
trace), for comparison with the simulator's host figures; reported, not checked.

Each run works in a temporary folder of its own; QEMU is killed on every way out. Artefacts
(screen dumps, the capture, the QEMU log) go to --out when given.
"""
import argparse
import atexit
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import png_rgb  # noqa: E402

PANEL = "wvga"
WIDTH, HEIGHT = 800, 480

# Shapes, lines and text in two fonts in several colours; no arcs or meters, whose
# trigonometry is the one part that may legitimately round differently on another C library.
DRAWING = [
    "S FFF 013",
    "z",
    "f 32B",
    't "Hello from QEMU" 40 30 T',
    "r 40 100 240 220 1 F00",
    "r 260 100 460 220 1 0F0",
    "r 480 100 680 220 1 00F",
    "S FF0 013",
    "r 30 90 690 230",
    "c 140 330 60 1",
    "c 300 330 40",
    "tr 260 390 360 270 460 390 F80",
    "l 500 270 700 390",
    "l 700 270 500 390",
    "S 0FF 013",
    "f 16",
    't "circle, triangle, lines: 0123456789" 40 420 T',
    't "opaque text" 500 440',
]

failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


# ---------------------------------------------------------------------------------------------
# Images


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError(f"{path}: not an 8-bit binary PPM")
    w, h = int(fields[1]), int(fields[2])
    return w, h, data[pos:pos + w * h * 3]


def read_png(path):
    """RGB or RGBA, 8 bits per channel, not interlaced: what voxa-sim writes."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        return png_rgb.read_png(data)
    except ValueError as e:
        raise ValueError(f"{path}: {e}")


def to_565(rgb):
    """8-bit channels back to the 5:6:5 pixel they expand: QEMU shifts the bits up (0x1F
    becomes 248), voxa-sim replicates them (0x1F becomes 255); the top bits are the pixel in
    both."""
    return [((rgb[i] >> 3) << 11) | ((rgb[i + 1] >> 2) << 5) | (rgb[i + 2] >> 3)
            for i in range(0, len(rgb), 3)]


def read_bmp_555(path):
    """The firmware's capture: 16-bit BMP, 5 bits per colour; returns (w, h, [x555] top row
    first)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP")
    offset = struct.unpack_from("<I", data, 10)[0]
    w, h = struct.unpack_from("<ii", data, 18)
    bpp, compression = struct.unpack_from("<HI", data, 28)
    if bpp != 16:
        raise ValueError(f"{path}: {bpp} bits per pixel")
    masks = (0x7C00, 0x03E0, 0x001F)
    if compression == 3:
        masks = struct.unpack_from("<III", data, 54)
    if masks != (0x7C00, 0x03E0, 0x001F):
        raise ValueError(f"{path}: not 5:5:5 (masks {masks})")
    stride = (w * 2 + 3) & ~3
    rows = []
    for r in range(abs(h)):
        start = offset + r * stride
        rows.append(list(struct.unpack_from(f"<{w}H", data, start)))
    if h > 0:
        rows.reverse()  # bottom row first in the file
    return w, abs(h), [p for row in rows for p in row]


def first_differences(a, b, w, limit=5):
    out = []
    for i, (p, q) in enumerate(zip(a, b)):
        if p != q:
            out.append(f"({i % w},{i // w}) {p:04X} vs {q:04X}")
            if len(out) == limit:
                break
    return ", ".join(out)


# ---------------------------------------------------------------------------------------------
# The C library subset on the host


def libc_check(workdir):
    here = os.path.dirname(os.path.abspath(__file__))
    libc = os.path.join(here, "..", "..", "boards", "arm926", "libc.cpp")
    obj = os.path.join(workdir, "libc.o")
    renamed = os.path.join(workdir, "libc_voxa.o")
    program = os.path.join(workdir, "libc_check")
    # Built as for the target: no builtins, no loops turned into library calls.
    subprocess.run(["g++", "-std=c++20", "-O2", "-ffreestanding", "-fno-builtin",
                    "-fno-tree-loop-distribute-patterns", "-fno-exceptions", "-fno-rtti",
                    "-c", libc, "-o", obj], check=True)
    subprocess.run(["objcopy", "--prefix-symbols=voxa_", obj, renamed], check=True)
    subprocess.run(["g++", "-std=c++20", "-O2", "-Wno-stringop-truncation",
                    os.path.join(here, "libc_check.cpp"), renamed, "-o", program], check=True)
    result = subprocess.run([program], capture_output=True, text=True, timeout=120)
    print(result.stdout, end="", flush=True)
    check(result.returncode == 0, "libc subset against the host's C library")


# ---------------------------------------------------------------------------------------------
# QEMU


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Qemu:
    running = []

    def __init__(self, elf, card, workdir, extra=()):
        self.workdir = workdir
        self.monitor_path = os.path.join(workdir, "monitor.sock")
        port = free_port()
        self.log = open(os.path.join(workdir, "qemu.log"), "wb")
        cmd = ["qemu-system-arm", "-M", "versatilepb", "-m", "256", "-kernel", elf,
               "-display", "none", "-nic", "none",
               "-audiodev", "none,id=silent", "-global", "pl041.audiodev=silent",
               "-serial", f"tcp:127.0.0.1:{port},server=on,wait=on", "-serial", "null",
               "-monitor", f"unix:{self.monitor_path},server=on,wait=off", *extra]
        if card:
            cmd += ["-drive", f"if=sd,format=raw,file={card}"]
        self.proc = subprocess.Popen(cmd, stdout=self.log, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        Qemu.running.append(self)
        self.sock = None
        deadline = time.time() + 10
        while self.sock is None:
            try:
                self.sock = socket.create_connection(("127.0.0.1", port), timeout=1)
            except OSError:
                if self.proc.poll() is not None or time.time() > deadline:
                    raise RuntimeError("QEMU did not open its serial port (see qemu.log)")
                time.sleep(0.05)
        self.pending = b""

    def read_until(self, suffixes, timeout):
        """Bytes up to and including the first of suffixes (a reply's prompt)."""
        deadline = time.time() + timeout
        while True:
            for s in suffixes:
                at = self.pending.find(s)
                if at >= 0:
                    out, self.pending = self.pending[:at + len(s)], self.pending[at + len(s):]
                    return out
            left = deadline - time.time()
            if left <= 0:
                out, self.pending = self.pending, b""
                raise TimeoutError(f"no prompt within {timeout} s; got {out!r}")
            self.sock.settimeout(left)
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                continue
            if not chunk:
                raise RuntimeError("QEMU closed the serial port")
            self.pending += chunk

    def command(self, line, timeout=10):
        self.sock.sendall(line.encode() + b"\r")
        return self.read_until([b">\r", b"!\r"], timeout)

    def monitor(self, text, wait_for_prompt=True):
        with socket.socket(socket.AF_UNIX) as m:
            m.connect(self.monitor_path)
            m.settimeout(10)
            got = b""
            while b"(qemu)" not in got:
                got += m.recv(4096)
            m.sendall(text.encode() + b"\n")
            got = b""
            if not wait_for_prompt:
                # Until QEMU closes the connection.
                try:
                    while m.recv(4096):
                        pass
                except OSError:
                    pass
            else:
                while b"(qemu)" not in got:
                    chunk = m.recv(4096)
                    if not chunk:
                        break
                    got += chunk
            return got

    def screendump(self, path):
        self.monitor(f"screendump {path}")
        # The dump is written by the monitor command; wait until the whole file is there.
        for _ in range(100):
            if os.path.exists(path) and os.path.getsize(path) >= WIDTH * HEIGHT * 3:
                return
            time.sleep(0.05)
        raise RuntimeError("no screen dump")

    def quit(self):
        try:
            self.monitor("quit", wait_for_prompt=False)
            self.proc.wait(timeout=10)
        finally:
            self.kill()

    def kill(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
        if self.sock:
            self.sock.close()
        self.log.close()
        if self in Qemu.running:
            Qemu.running.remove(self)


def kill_all():
    for q in list(Qemu.running):
        q.kill()


def make_card(path):
    # QEMU wants a card whose size is a power of two.
    with open(path, "wb") as f:
        f.truncate(32 * 1024 * 1024)
    subprocess.run(["mkfs.fat", "-F", "16", "-n", "VOXATEST", path], check=True,
                   stdout=subprocess.DEVNULL)


# ---------------------------------------------------------------------------------------------
# voxa-sim


def sim_run(sim, workdir, lines, screenshot=None):
    """Plays lines as the host on voxa-sim; returns the bytes com0 sent."""
    script = os.path.join(workdir, "sim.vsim")
    log = os.path.join(workdir, "sim.log")
    with open(script, "w") as f:
        f.write("expect-timeout 5000\nwait-for \">\\r\"\n")
        for line in lines:
            escaped = line.replace("\\", "\\\\").replace('"', '\\"')
            f.write(f'send "{escaped}\\r"\nwait-for ">\\r"\n')
        if screenshot:
            f.write(f"screenshot {screenshot}\n")
    state = os.path.join(workdir, "sim-state")
    os.makedirs(state, exist_ok=True)
    subprocess.run([sim, "--panel", PANEL, "--fast", "--state", state, "--script", script,
                    "--log", log], check=True, stdout=subprocess.DEVNULL, timeout=60)
    out = b""
    with open(log, encoding="utf-8") as f:
        for entry in f:
            m = re.match(r"\s*[\d.]+ com0 out  (.*)$", entry.rstrip("\n"))
            if m:
                out += m.group(1).replace("\\r", "\r").encode("latin-1")
    return out


# ---------------------------------------------------------------------------------------------
# Instruction counts


def symbol_range(elf, name):
    out = subprocess.run(["arm-none-eabi-nm", "-S", elf], check=True, capture_output=True,
                         text=True).stdout
    for entry in out.splitlines():
        parts = entry.split()
        if len(parts) == 4 and parts[3] == name:
            start = int(parts[0], 16)
            return start, start + int(parts[1], 16)
    raise KeyError(name)


class ExecTrace:
    """Counts guest instructions from QEMU's in_asm and exec logs (TBs unchained, so every
    block executed is logged). Instructions inside interrupt handling are counted apart, and
    the timer's ticks among them, so that the 1 ms tick's work does not count as a line's."""

    def __init__(self, path, elf):
        self.path = path
        self.offset = 0
        self.tb_size = {}
        self.irq_vector = 0x18
        self.irq_start, self.irq_end = symbol_range(elf, "irq_handler")
        self.timer_start, self.timer_end = symbol_range(elf, "_ZN12_GLOBAL__N_19timer_isrEv")
        self.in_irq = False
        self.irq_is_timer = False
        self.irq_count = 0
        self.partial = ""
        self.current_tb = None

    def take(self):
        """Counts since the last call: (instructions outside the timer tick, timer ticks,
        instructions in timer ticks)."""
        with open(self.path, encoding="latin-1") as f:
            f.seek(self.offset)
            text = f.read()
            self.offset = f.tell()
        text = self.partial + text
        lines = text.split("\n")
        self.partial = lines.pop()
        work = ticks = tick_work = 0
        for line in lines:
            if line.startswith("IN:"):
                self.current_tb = None
                continue
            m = re.match(r"^0x([0-9a-f]{8}):  [0-9a-f]{8} ", line)
            if m:
                pc = int(m.group(1), 16)
                if self.current_tb is None:
                    self.current_tb = pc
                    self.tb_size[pc] = 0
                self.tb_size[self.current_tb] += 1
                continue
            self.current_tb = None
            if not line.startswith("Trace "):
                continue
            m = re.search(r"/([0-9a-f]{8})/", line)
            if not m:
                continue
            pc = int(m.group(1), 16)
            n = self.tb_size.get(pc, 0)
            if pc == self.irq_vector:
                self.in_irq = True
                self.irq_is_timer = False
                self.irq_count = 0
            if self.in_irq:
                self.irq_count += n
                if self.timer_start <= pc < self.timer_end:
                    self.irq_is_timer = True
                if self.irq_start < pc < self.irq_end:
                    # The block after the dispatcher's return ends the interrupt.
                    self.in_irq = False
                    if self.irq_is_timer:
                        ticks += 1
                        tick_work += self.irq_count
                    else:
                        work += self.irq_count
            else:
                work += n
        return work, ticks, tick_work


def measure(elf, card, workdir, lines, repeat=10):
    log = os.path.join(workdir, "exec.log")
    q = Qemu(elf, card, workdir, extra=["-d", "in_asm,nochain", "-D", log])
    try:
        q.read_until([b">\r"], 15)
        q.monitor("log in_asm,exec,nochain")
        trace = ExecTrace(log, elf)
        q.command("vers")
        time.sleep(0.2)
        trace.take()
        # Idle: the main loop's passes between ticks, per tick.
        time.sleep(1.0)
        idle_work, idle_ticks, idle_tick_work = trace.take()
        per_tick_idle = idle_work / max(idle_ticks, 1)
        per_tick = idle_tick_work / max(idle_ticks, 1)
        print(f"info  idle: {idle_ticks} ticks, {per_tick:.0f} instructions per tick in the "
              f"timer interrupt, {per_tick_idle:.0f} in the main loop between ticks")
        results = []
        for line in lines:
            q.command(line)  # first run: translation and caches settle
            trace.take()
            total = 0
            for _ in range(repeat):
                q.command(line)
                work, ticks, _ = trace.take()
                total += work - ticks * per_tick_idle
            results.append((line, total / repeat))
        return results
    finally:
        q.kill()


# ---------------------------------------------------------------------------------------------


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--images", required=True, help="folder of voxa-<panel>.elf for QEMU")
    ap.add_argument("--sim", required=True, help="voxa-sim")
    ap.add_argument("--out", help="folder for the artefacts")
    ap.add_argument("--measure", action="store_true", help="count instructions per line")
    args = ap.parse_args()

    elf = os.path.join(args.images, f"voxa-{PANEL}.elf")
    for tool in ("qemu-system-arm", "mkfs.fat", "fsck.fat", "mcopy", "mdir", "g++", "objcopy"):
        if shutil.which(tool) is None:
            print(f"qemu_test: {tool} is not installed")
            return 2
    if not os.path.isfile(elf) or not os.access(args.sim, os.X_OK):
        print(f"qemu_test: {elf} or {args.sim} missing")
        return 2

    atexit.register(kill_all)
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda s, f: sys.exit(128 + s))

    started = time.time()
    with tempfile.TemporaryDirectory(prefix="voxa-qemu-test.") as tmp:
        card = os.path.join(tmp, "card.img")
        make_card(card)
        sim_dir = os.path.join(tmp, "sim")
        os.makedirs(sim_dir)
        sim_png = os.path.join(sim_dir, "sim.png")
        sim_out = sim_run(args.sim, sim_dir, ["vers"] + DRAWING, screenshot=sim_png)
        sim_vers = sim_out.split(b">\r")[1] if sim_out.count(b">\r") > 1 else b""

        qemu_dir = os.path.join(tmp, "qemu")
        os.makedirs(qemu_dir)
        dump = os.path.join(qemu_dir, "qemu.ppm")
        q = Qemu(elf, card, qemu_dir)
        try:
            # Boot and version
            boot = q.read_until([b">\r"], 15)
            check(boot.endswith(b">\r"), f"boot: start-up prompt ({boot!r})")
            vers = q.command("vers")
            check(re.fullmatch(rb"VOXA5-PLUS V\d+\.\d+\.\d+ WVGA \r>\r", vers) is not None
                  and vers == sim_vers + b">\r",
                  f"vers: {vers!r} (voxa-sim: {sim_vers + b'>' + chr(13).encode()!r})")

            # Drawing, then the frame buffer against voxa-sim's
            replies = [q.command(line) for line in DRAWING]
            bad = [(l, r) for l, r in zip(DRAWING, replies) if r != b">\r"]
            check(not bad, f"drawing: every line answered with the prompt {bad[:3]}")
            q.screendump(dump)
            qw, qh, qrgb = read_ppm(dump)
            sw, sh, srgb = read_png(sim_png)
            check((qw, qh) == (sw, sh) == (WIDTH, HEIGHT), f"screen size {qw}x{qh}, {sw}x{sh}")
            qpix, spix = to_565(qrgb), to_565(srgb)
            differing = sum(1 for a, b in zip(qpix, spix) if a != b)
            check(differing == 0 and len(qpix) == len(spix),
                  f"pixels: QEMU's frame buffer equals voxa-sim's screenshot in RGB565 "
                  f"({differing} of {len(qpix)} differ"
                  + (f": {first_differences(qpix, spix, qw)})" if differing else ")"))
            check(len(set(qpix)) >= 6, f"the drawing has {len(set(qpix))} colours")

            # The screen capture on the card
            reply = q.command("*getScreenAsBMPFile", timeout=30)
            check(reply.startswith(b":writing SD File VOXA0000.BMP") and reply.endswith(b">\r"),
                  f"capture: {reply!r}")
            # Reset: the EEPROM (RAM on this board) must survive it, the frame buffer need not
            name = f"qemu-{os.getpid()}"
            check(q.command(f'*config "{name}"') == b">\r", "*config saves a name")
            q.sock.sendall(b"*RESET\r")
            again = q.read_until([b">\r"], 15)
            check(again.endswith(b">\r") and b"No bin file" in again,
                  f"*RESET: the start-up prompt again ({again!r})")
            kept = q.command("*config")
            check(kept == name.encode() + b"\r>\r", f"the EEPROM kept the name: {kept!r}")

            q.quit()
        finally:
            q.kill()

        fsck = subprocess.run(["fsck.fat", "-n", card], capture_output=True, text=True)
        check(fsck.returncode == 0, f"fsck.fat -n: exit {fsck.returncode} "
              f"{fsck.stdout.strip().splitlines()[-1:]}")
        listing = subprocess.run(["mdir", "-b", "-i", card, "::"], capture_output=True,
                                 text=True).stdout
        check("VOXA0000.BMP" in listing, f"the card holds VOXA0000.BMP ({listing.split()})")
        bmp = os.path.join(qemu_dir, "VOXA0000.BMP")
        got = subprocess.run(["mcopy", "-n", "-i", card, "::VOXA0000.BMP", bmp],
                             capture_output=True)
        if check(got.returncode == 0, "mcopy of VOXA0000.BMP"):
            bw, bh, bpix = read_bmp_555(bmp)
            # The capture keeps 5 bits of green: the frame buffer's pixel without green's
            # lowest bit.
            want = [((p >> 11) << 10) | (((p >> 6) & 0x1F) << 5) | (p & 0x1F) for p in qpix]
            differing = sum(1 for a, b in zip(bpix, want) if a != b)
            check((bw, bh) == (WIDTH, HEIGHT) and differing == 0,
                  f"capture: {bw}x{bh}, equal to the screen in RGB555 ({differing} differ"
                  + (f": {first_differences(bpix, want, bw)})" if differing else ")"))

        libc_dir = os.path.join(tmp, "libc")
        os.makedirs(libc_dir)
        libc_check(libc_dir)

        if args.measure:
            measure_dir = os.path.join(tmp, "measure")
            os.makedirs(measure_dir)
            for line, count in measure(elf, card, measure_dir,
                                       ["vers", "S 0 FFFF", "l 10 10 20 20", 't "Hello" 10 10',
                                        "r 0 0 799 479 1 00F", "z"]):
                print(f"info  {line!r}: {count:,.0f} guest instructions per line")

        if args.out:
            os.makedirs(args.out, exist_ok=True)
            for path in (dump, sim_png, os.path.join(qemu_dir, "qemu.log"), bmp):
                if os.path.exists(path):
                    shutil.copy(path, args.out)

    print(f"qemu_test: {len(failures)} failure(s), {time.time() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
