"""The kitchen display on the demo site, as a 1920x1080 monitor shows it, into a PNG.

    /usr/bin/python3 scripts/kds_screenshot.py <build> docs/kds.png

The demo POS feed writes the orders; a few are then dated back 12 and 25 minutes, so that the
picture shows the ageing colours as well.
"""
import os
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "kds"))
import kdsdriver as k  # noqa: E402

build, out = sys.argv[1], sys.argv[2]
with tempfile.TemporaryDirectory(prefix="tavo-kds-shot-") as site:
    demo = os.path.join(build, "demo", "tavo_demo")
    subprocess.run([demo, "init", site], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([demo, "feed", site, "--interval", "0", "--count", "40", "--seed", "7"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    db = sqlite3.connect(os.path.join(site, "tavo.db"))
    pids = [r[0] for r in db.execute(
        "SELECT OrderPID FROM ORDERI WHERE KPort = 'PK' AND OPDate IS NULL GROUP BY OrderPID ORDER BY MIN(RNo)")]
    for pid, minutes in zip(pids, (25, 12, 11)):
        when = time.localtime(time.time() - minutes * 60)
        db.execute("UPDATE ORDERI SET OrderTime = ? WHERE OrderPID = ?", (time.strftime("%H:%M:%S", when), pid))
    db.commit()
    host = k.Host(os.path.join(build, "tests", "tavo_kds_host"), site).start()
    page = k.browser(1920, 1080)
    try:
        page.get(host.url)
        k.wait_until(page, lambda d: len(k.card_ids(d)) >= 3)
        time.sleep(0.5)
        page.save_screenshot(out)
    finally:
        k.quit_browser(page)
        host.stop()
print(out)
