"""The kitchen display on a throwaway demo site, a POS writing to it, and headless Chromium pages
on it: shared by the browser tests and the benchmark."""
import os
import random
import shutil
import socket
import sqlite3
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Host:
    """tavo_kds_host on a site folder; start() and stop() may be called again (a restart)."""

    def __init__(self, program, site, address="127.0.0.1", pin="", tick_ms=50, report_ticks=False):
        self.program, self.site, self.address, self.pin = program, site, address, pin
        self.tick_ms, self.report_ticks = tick_ms, report_ticks
        # 0 at first: the host listens on a port the kernel gives it, and keeps that one on a restart.
        # A port found free beforehand can be taken by a browser's connection before the host binds it.
        self.port = 0
        self.process = None
        self.url = None

    def start(self):
        args = [self.program, self.site, "--listen", str(self.port), "--address", self.address,
                "--tick", str(self.tick_ms)]
        if self.pin:
            args += ["--pin", self.pin]
        if self.report_ticks:
            args.append("--report-ticks")
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line.startswith("READY "):
            raise RuntimeError("the host did not start: %r" % line)
        self.port = int(line.split()[1].rstrip("/").rsplit(":", 1)[1])
        self.url = "http://127.0.0.1:%d/" % self.port
        return self

    def stop(self):
        if self.process:
            self.process.kill()
            self.process.wait()
            self.process.stdout.close()
            self.process = None


class Program:
    """The program itself, headless, on a demo site of its own with its display on a free port;
    `listing` is "列印菜條". The automatic start comes 30 s after `loaded`. The service held in a
    state (tavo_kds_service) starts the same way, its state in `args`."""

    def __init__(self, program, site, listing=True, args=()):
        self.program, self.site, self.listing, self.args = program, site, listing, list(args)
        self.port = free_port()
        self.url = "http://127.0.0.1:%d/" % self.port
        self.process = None
        self.loaded = None

    def start(self):
        # A port found free can still be taken before the display binds it (a browser's connection
        # gets its port from the same range): then the program starts again on another.
        for _ in range(5):
            if self.launch():
                return self
            self.stop()
            self.port = free_port()
            self.url = "http://127.0.0.1:%d/" % self.port
        raise RuntimeError("the display found no free port")

    def launch(self):
        build = os.path.dirname(self.program)
        if os.path.basename(build) == "tests":
            build = os.path.dirname(build)
        demo = os.path.join(build, "demo", "tavo_demo")
        subprocess.run([demo, "init", self.site], check=True, stdout=subprocess.DEVNULL)
        os.makedirs(os.path.join(self.site, "config", "Tavo3"), exist_ok=True)
        with open(os.path.join(self.site, "config", "Tavo3", "Tavo3.conf"), "w") as conf:
            conf.write("[TAVOC]\nDEFKPORT=PK\nPRINTITEM=%s\n[KDS]\nPORT=%d\n"
                       % ("Y" if self.listing else "N", self.port))
        # A runtime folder of its own: its lock is not that of another copy running on the machine.
        runtime = os.path.join(self.site, "run")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = dict(os.environ, TAVO_HOME=self.site, XDG_CONFIG_HOME=os.path.join(self.site, "config"),
                   XDG_RUNTIME_DIR=runtime)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        self.process = subprocess.Popen([self.program] + self.args, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE, text=True)
        # The display says its address while the service loads, just before the start is armed.
        while True:
            line = self.process.stderr.readline()
            if not line:
                raise RuntimeError("the program ended before its display listened")
            if "kds\t" in line:
                break
        self.reader = threading.Thread(target=self.process.stderr.read, daemon=True)
        self.reader.start()
        if "無法在" in line:
            return False
        self.loaded = time.time()
        return True

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait()
            self.reader.join(5)
            self.process.stderr.close()
            self.process = None


class Pos:
    """A POS terminal: its own connection to the site's database, committing each order."""

    def __init__(self, site):
        self.db = sqlite3.connect(os.path.join(site, "tavo.db"), timeout=10)

    def order(self, pid, table, items, kport="PK", when=None):
        """items: (name, price class, qty, remark, item type) each; returns the RNo of the last."""
        when = when or time.localtime()
        day, clock = time.strftime("%Y/%m/%d", when), time.strftime("%H:%M:%S", when)
        cur = self.db.cursor()
        for name, cap, qty, remark, kind in items:
            cur.execute(
                "INSERT INTO ORDERI (KPort, OrderPID, TblName, OrderTime, OrderDate, ItemName, ItemType, "
                "PriceCap, Price, Qty, Amt, Remark, DelMark, FileDate) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                (kport, pid, table, clock, day + " 00:00:00", name, kind, cap, 100, qty, 100 * qty, remark,
                 "", day + " " + clock))
        self.db.commit()
        return cur.lastrowid

    def close_order(self, pid):
        self.db.execute("UPDATE ORDERI SET OPDate = '2026/01/01' WHERE OrderPID = ?", (pid,))
        self.db.commit()


# Marks the moment a card carrying "LAT-<n>" is first in a frame.
WATCH = """
window.__seen = window.__seen || {};
if (!window.__watching) {
  window.__watching = true;
  const cards = document.getElementById('cards');
  new MutationObserver((mutations) => {
    const found = [];
    for (const m of mutations)
      for (const n of m.addedNodes)
        for (const hit of (n.textContent || '').matchAll(/LAT-(\\d+)/g)) found.push(hit[1]);
    // The frame after the one that paints the card: the moment it is surely on screen.
    if (found.length)
      requestAnimationFrame(() => requestAnimationFrame(() => {
        const t = Date.now();
        for (const f of found) if (!(f in window.__seen)) window.__seen[f] = t;
      }));
  }).observe(cards, { childList: true, subtree: true });
}
"""


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


def measure_latency(page, pos, samples, pause, first=0):
    """POS commit to card on screen (ms) of `samples` orders, numbered from `first`, each closed
    once seen, with a random pause before each."""
    page.execute_script(WATCH)
    latencies = []
    for n in range(first, first + samples):
        time.sleep(random.uniform(*pause))
        pid = "L%04d-1" % n
        pos.order(pid, "L%04d" % n, [("擔仔麵", "", 1, "LAT-%d" % n, "")])
        committed = time.time() * 1000
        seen = wait_until(page, lambda d: d.execute_script("return window.__seen[%d]" % n), 15)
        latencies.append(seen - committed)
        pos.close_order(pid)
    return latencies


def notice(driver):
    """What the page says of the watch above the cards; empty when it says nothing."""
    return driver.execute_script(
        "const n = document.getElementById('notice'); return n.hidden ? '' : n.textContent")


def browser(width=1280, height=800):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    profile = tempfile.mkdtemp(prefix="tavo-kds-chromium-")
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--user-data-dir=" + profile,
                 "--window-size=%d,%d" % (width, height)):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                              options=options)
    # The page's own size, as the screen of that size shows it (the window's is larger).
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})
    driver.profile_dir = profile
    return driver


def quit_browser(driver):
    driver.quit()
    shutil.rmtree(driver.profile_dir, ignore_errors=True)


def card_ids(driver):
    """The order ids of the cards on the page, in their order; read at once, as a new board may
    replace the cards between two reads."""
    return driver.execute_script("return [...document.querySelectorAll('#cards .card')].map(c => c.dataset.id)")


def card(driver, order_id):
    return driver.find_element(By.CSS_SELECTOR, '#cards .card[data-id="%s"]' % order_id)


def wait_until(driver, condition, seconds=10):
    return WebDriverWait(driver, seconds, poll_frequency=0.02,
                         ignored_exceptions=[StaleElementReferenceException]).until(lambda d: condition(d))


def http_get(url, headers=None):
    """(status, headers, body text) of a GET; error statuses are answers too."""
    request = urllib.request.Request(url, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=10) as r:
            return r.status, dict(r.headers), r.read().decode("utf-8")
    except urllib.error.HTTPError as e:
        return e.code, dict(e.headers), e.read().decode("utf-8")
