"""The kitchen display on a throwaway demo site, a POS writing to it, and headless Chromium pages
on it: shared by the browser tests and the benchmark."""
import os
import shutil
import socket
import sqlite3
import subprocess
import tempfile
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
        self.port = free_port()
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
        self.url = "http://127.0.0.1:%d/" % self.port
        return self

    def stop(self):
        if self.process:
            self.process.kill()
            self.process.wait()
            self.process.stdout.close()
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
