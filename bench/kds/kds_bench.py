"""The kitchen display under load, in a real headless Chromium:

  latency   POS commit to the card on screen, p50/p99, with the display refreshed by ticks of
            a given period (the service's cycle, or a short one standing in for the database's
            wake), on a board of about 60 items;
  load      1,000 open items and 50 displays (one Chromium page, 49 plain WebSocket clients):
            the page's first render, commit to screen, and the tick (scan + refresh + pushes)
            with 50 displays against none.

    /usr/bin/python3 bench/kds/kds_bench.py <build>/tests/tavo_kds_host [latency|load|all]

  service   the same commit-to-screen latency through the real program, headless on a demo site,
            woken by the database (it waits out the 30 s automatic start first), on ~60 items
            with one display and on 1,000 items with 50:

    /usr/bin/python3 bench/kds/kds_bench.py <build>/TavoKPortSrv service

  states    commit to screen, ~60 items, 1 display, while the watch lists nothing: through the
            real program before its automatic start and with "列印菜條" off, and through the
            service held in each state (tavo_kds_service, beside tavo_kds_host) for setting mode
            and stopped, which only the window reaches:

    /usr/bin/python3 bench/kds/kds_bench.py <build>/TavoKPortSrv states
"""
import base64
import os
import socket
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "kds"))
import kdsdriver as k  # noqa: E402
from kdsdriver import measure_latency, percentile  # noqa: E402


# Times the first board: from its arrival to the frame after the one that shows it, the page's own
# work (script, layout, paint) and at most one frame of waiting.
FIRST_BOARD = """
const Native = window.WebSocket;
window.WebSocket = function (...args) {
  const socket = new Native(...args);
  socket.addEventListener('message', () => {
    if (window.__render !== undefined) return;
    const arrived = performance.now();
    window.__render = null;
    // Two frames on: the first runs before the layout and paint of the cards, the second after.
    setTimeout(() => requestAnimationFrame(() => requestAnimationFrame(() => {
      window.__render = performance.now() - arrived;
    })), 0);
  });
  return socket;
};
window.WebSocket.OPEN = Native.OPEN;
"""


def fill(pos, orders, items_per_order):
    dishes = [("牛肉麵", "大"), ("排骨飯", "例"), ("酸辣湯", "小"), ("三杯雞", "大"), ("炒高麗菜", "例")]
    for o in range(orders):
        rows = []
        for i in range(items_per_order):
            name, cap = dishes[(o + i) % len(dishes)]
            kind = "A1" if i % 4 == 3 else ""
            rows.append(("加蛋" if kind else name, "" if kind else cap, 1 + i % 3, "", kind))
        pos.order("T%03d-1" % o, "T%03d" % o, rows)


def report(label, values, unit="ms"):
    print("%-58s n=%-4d p50 %7.1f %s   p99 %7.1f %s   max %7.1f %s" % (
        label, len(values), percentile(values, 50), unit, percentile(values, 99), unit, max(values), unit))


def latency(program):
    for tick, samples in ((10, 150), (1000, 40)):
        with tempfile.TemporaryDirectory(prefix="tavo-kds-bench-") as site:
            host = k.Host(program, site, tick_ms=tick).start()
            pos = k.Pos(site)
            fill(pos, 20, 3)
            page = k.browser()
            try:
                page.get(host.url)
                k.wait_until(page, lambda d: len(k.card_ids(d)) >= 20)
                values = measure_latency(page, pos, samples, (0.05, 0.3))
                report("commit to screen, refresh every %d ms, ~60 items" % tick, values)
            finally:
                k.quit_browser(page)
                host.stop()


class RawDisplay:
    """A display that only takes the pushes: a WebSocket read and thrown away."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
                           "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n"
                           % (port, key)).encode())
        head = b""
        while b"\r\n\r\n" not in head:
            head += self.sock.recv(4096)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise RuntimeError(head.split(b"\r\n")[0])
        self.received = len(head)
        threading.Thread(target=self.drain, daemon=True).start()

    def drain(self):
        # Read in gulps: fifty busy readers on a two-core machine would take the service's CPU
        # and show up as a slower tick that is not the service's own.
        try:
            while True:
                data = self.sock.recv(1 << 20)
                if not data:
                    return
                self.received += len(data)
                time.sleep(0.5)
        except OSError:
            return

    def close(self):
        self.sock.close()


class TickLog:
    """The host's tick lines as they come, with the time each arrived."""

    def __init__(self, host):
        self.ticks = []
        threading.Thread(target=self.read, args=(host.process.stdout,), daemon=True).start()

    def read(self, stream):
        for line in iter(stream.readline, ""):
            if line.startswith("TICK "):
                self.ticks.append((time.time(), int(line.split()[1])))

    def between(self, start, end):
        return [us for at, us in self.ticks if start <= at < end]


def ticks_while_feeding(log, pos, seconds):
    """Tick times (µs) while the POS adds an item every 200 ms and closes the one before, so most
    ticks push a new board of the same size."""
    start = time.time()
    n = 0
    while time.time() < start + seconds:
        pos.order("W%05d-%d" % (n, int(start)), "W", [("紅茶", "大", 1, "", "")])
        if n:
            pos.close_order("W%05d-%d" % (n - 1, int(start)))
        n += 1
        time.sleep(0.2)
    pos.close_order("W%05d-%d" % (n - 1, int(start)))
    return log.between(start, time.time())


def load(program):
    with tempfile.TemporaryDirectory(prefix="tavo-kds-bench-") as site:
        host = k.Host(program, site, tick_ms=100, report_ticks=True).start()
        log = TickLog(host)
        pos = k.Pos(site)
        fill(pos, 200, 5)  # 1,000 open items
        page = k.browser(1920, 1080)
        try:
            # The first render: from the start of the navigation to the frame with 200 cards, and
            # of that the page's own work on the board.
            page.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": FIRST_BOARD})
            loads, renders = [], []
            for _ in range(10):
                page.get(host.url)
                k.wait_until(page, lambda d: len(k.card_ids(d)) >= 200)
                loads.append(page.execute_script(
                    "return new Promise(r => requestAnimationFrame(() => requestAnimationFrame("
                    "() => r(performance.now()))))"))
                renders.append(k.wait_until(page, lambda d: d.execute_script("return window.__render")))
            report("page load to 1,000 items on screen (1920x1080)", loads)
            report("of which the board: message to frame, 1,000 items", renders)

            idle = ticks_while_feeding(log, pos, 20)
            displays = [RawDisplay(host.port) for _ in range(49)]
            busy = ticks_while_feeding(log, pos, 20)
            report("tick (scan + refresh + push), 1 display, 1,000 items", [t / 1000 for t in idle])
            report("tick (scan + refresh + push), 50 displays, 1,000 items", [t / 1000 for t in busy])
            print("tick mean with 50 displays / with 1: %.2f" % (statistics.mean(busy) / statistics.mean(idle)))
            print("bytes pushed to each plain display: %d" % statistics.mean(d.received for d in displays))

            values = measure_latency(page, pos, 60, (0.05, 0.3))
            report("commit to screen, 50 displays, 1,000 items, 100 ms ticks", values)
            for d in displays:
                d.close()
        finally:
            k.quit_browser(page)
            host.stop()


def service(program, orders=20, items=3, displays=1):
    """The real service, its cycle at 4 s and its wake on: what a kitchen gets from the POS, on a
    board of orders x items with `displays` pages connected (one Chromium page, the rest plain
    WebSocket clients)."""
    with tempfile.TemporaryDirectory(prefix="tavo-kds-service-") as site:
        running = k.Program(program, site).start()
        try:
            time.sleep(31)  # the automatic start, after which the watch lists
            pos = k.Pos(site)
            fill(pos, orders, items)
            page = k.browser(1920, 1080)
            others = [RawDisplay(running.port) for _ in range(displays - 1)]
            try:
                page.get(running.url)
                k.wait_until(page, lambda d: len(k.card_ids(d)) >= orders)
                values = measure_latency(page, pos, 150 if displays == 1 else 60, (0.05, 0.3))
                report("commit to screen, the program woken by SQLite, %d items, %d displays"
                       % (orders * items, displays), values)
            finally:
                for d in others:
                    d.close()
                k.quit_browser(page)
        finally:
            running.stop()


def state_latency(program, args=(), listing=True, wait=0, samples=150, within=None):
    """Commit to screen (ms) on ~60 items of a program started on a new site, after `wait` s,
    measured until `within` s after its load at most."""
    with tempfile.TemporaryDirectory(prefix="tavo-kds-state-") as site:
        running = k.Program(program, site, listing=listing, args=list(args)).start()
        try:
            pos = k.Pos(site)
            fill(pos, 20, 3)
            page = k.browser(1920, 1080)
            try:
                page.get(running.url)
                k.wait_until(page, lambda d: len(k.card_ids(d)) >= 20)
                time.sleep(max(0, running.loaded + wait - time.time()))
                values = []
                while len(values) < samples and (within is None or time.time() - running.loaded < within):
                    values += measure_latency(page, pos, 1, (0.05, 0.3), len(values))
                return values, k.notice(page)
            finally:
                k.quit_browser(page)
        finally:
            running.stop()


def states(program):
    held = os.path.join(os.path.dirname(program), "tests", "tavo_kds_service")
    # A shared machine's load shows in every p99: said with the figures.
    print("load average at the start: %.1f" % os.getloadavg()[0])
    # The program's own 30 s before its start hold fewer samples: two runs are pooled.
    before = []
    for _ in range(2):
        values, said = state_latency(program, within=28)
        before += values
    report("before the automatic start (%s), the program" % said, before)
    values, said = state_latency(program, listing=False, wait=31)
    report("列印菜條 off (%s), the program" % said, values)
    for state in ("waiting", "setting", "notlisting", "stopped"):
        values, said = state_latency(held, args=[state])
        report("%s (%s), the service held" % (state, said), values)


if __name__ == "__main__":
    program = sys.argv[1]
    what = sys.argv[2] if len(sys.argv) > 2 else "all"
    if what == "service":
        service(program)
        service(program, 200, 5, 50)
    if what == "states":
        states(program)
    if what in ("latency", "all"):
        latency(program)
    if what in ("load", "all"):
        load(program)
