"""The kitchen display's front attacked from other loopback addresses (127.0.0.2 and up standing in
for the kitchen's network), against tavo_kds_host on a throwaway demo site:

  oversize  a 10 MB request line, 20,000 headers and a 300 MB POST /login body: the answer, how
            long it took, how much of it the client got to send, the display's peak memory, and
            how long a tablet's request took meanwhile;
  flood     294 idle connections from 49 addresses with the display's open files at 256
            (`ulimit -n 256`), held for 9 s: a page already on its WebSocket keeps hearing the
            service (every 3 s), a new tablet is served, and the CPU the display spends;
  guesses   100 PIN guesses from 50 addresses: how many were weighed and how long they took;
  ticks     the display's tick (scan, refresh, pushes) while 200 idle connections are held and
            twenty oversized requests a second keep coming, against no attack.

    /usr/bin/python3 bench/kds/front_bench.py <build>/tests/tavo_kds_host [oversize|flood|guesses|ticks ...]
"""
import base64
import os
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

PIN = "135790"


def start_host(program, site, *args, files=None):
    def limit():
        if files:
            resource.setrlimit(resource.RLIMIT_NOFILE, (files, files))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    host = subprocess.Popen([program, site, "--listen", "0", "--pin", PIN, *args], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True, env=env, preexec_fn=limit)
    line = host.stdout.readline()
    if not line.startswith("READY "):
        raise RuntimeError("the host did not start: %r" % line)
    port = int(line.split()[1].rstrip("/").rsplit(":", 1)[1])
    return host, port


def peak_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def connect(port, source):
    s = socket.socket()
    s.bind((source, 0))
    s.settimeout(10)
    s.connect(("127.0.0.1", port))
    return s


def ask(port, source, head, body=b""):
    """One request; (status, seconds)."""
    t = time.perf_counter()
    try:
        s = connect(port, source)
        s.sendall(head + b"Host: 127.0.0.1:%d\r\nContent-Length: %d\r\n\r\n" % (port, len(body)) + body)
        answer = s.recv(4096)
        s.close()
    except OSError:  # no answer within 10 s: locked out
        answer = b""
    return int(answer[9:12] or 0), time.perf_counter() - t


def signed_in_cookie(port):
    s = connect(port, "127.0.0.1")
    body = b"pin=" + PIN.encode()
    s.sendall(b"POST /login HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Length: %d\r\n\r\n" % (port, len(body)) + body)
    answer = s.recv(4096).decode()
    s.close()
    return answer.split("tavo_kds=", 1)[1].split(";", 1)[0]


class Page:
    """A page on its WebSocket, counting what the service sends."""

    def __init__(self, port, cookie):
        self.heard = 0
        self.s = connect(port, "127.0.0.1")
        key = base64.b64encode(os.urandom(16))
        self.s.sendall(b"GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       b"Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\nCookie: tavo_kds=%s\r\n\r\n"
                       % (port, key, cookie.encode()))
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        self.s.settimeout(None)
        while True:
            data = self.s.recv(65536)
            if not data:
                return
            self.heard += data.count(b'{"now":')


def attack(port, source, head, repeated, total):
    """Sends `head` then `repeated` until `total` bytes or the server answers; (status, seconds, sent)."""
    s = connect(port, source)
    t = time.perf_counter()
    answer = bytearray()
    done = threading.Event()

    def read():
        try:
            while True:
                data = s.recv(4096)
                if not data:
                    break
                answer.extend(data)
        except OSError:
            pass
        done.set()

    threading.Thread(target=read, daemon=True).start()
    sent = 0
    chunk = repeated * (65536 // len(repeated))
    try:
        s.sendall(head)
        while sent < total and not done.is_set():
            s.sendall(chunk)
            sent += len(chunk)
    except OSError:
        pass
    done.wait(10)
    seconds = time.perf_counter() - t
    s.close()
    return int(bytes(answer[9:12]) or 0), seconds, sent


def oversize(program, site):
    host, port = start_host(program, site)
    try:
        base = peak_kb(host.pid)
        print("display's peak memory before: %.1f MB" % (base / 1024))
        hdr = b"Host: 127.0.0.1:%d\r\n" % port
        cases = [
            ("10 MB request line", b"GET /", b"a" * 64, 10 * 1024 * 1024),
            ("20,000 headers", b"GET / HTTP/1.1\r\n" + hdr, b"X-Filler: 1\r\n", 20000 * 13),
            ("300 MB POST /login body", b"POST /login HTTP/1.1\r\n" + hdr + b"Content-Length: 300000000\r\n\r\n",
             b"pin=0000&", 300_000_000),
        ]
        for name, head, repeated, total in cases:
            tablet = []
            stop = threading.Event()

            def poll():
                while not stop.is_set():
                    tablet.append(ask(port, "127.0.0.3", b"GET /kds.css HTTP/1.1\r\n")[1])
                    time.sleep(0.02)
            poller = threading.Thread(target=poll)
            poller.start()
            status, seconds, sent = attack(port, "127.0.0.2", head, repeated, total)
            stop.set()
            poller.join()
            print("%-26s answered %d in %5.1f ms, %7.1f KB sent of %7.1f MB; peak memory %.1f MB; "
                  "tablet's request meanwhile: max %.1f ms" % (
                      name, status, seconds * 1000, sent / 1024, total / 1e6, peak_kb(host.pid) / 1024,
                      max(tablet or [0]) * 1000))
    finally:
        host.kill()
        host.wait()


def flood(program, site):
    host, port = start_host(program, site, files=256)
    try:
        page = Page(port, signed_in_cookie(port))
        time.sleep(0.5)
        before_cpu = cpu_seconds(host.pid)
        idle = []
        refused = 0
        for i in range(294):
            try:
                idle.append(connect(port, "127.0.0.%d" % (10 + i % 49)))
            except OSError:
                refused += 1
        heard = page.heard
        t = time.perf_counter()
        time.sleep(9)
        status, seconds = ask(port, "127.0.0.70", b"GET /kds.css HTTP/1.1\r\n")
        cpu = cpu_seconds(host.pid) - before_cpu
        wall = time.perf_counter() - t
        alive = 0
        for s in idle:
            s.setblocking(False)
            try:
                s.recv(1)  # an end or a reset: the display closed it
            except BlockingIOError:
                alive += 1
            except OSError:
                pass
            s.close()
        print("294 idle connections, open files 256: %d still held after 9 s, %d refused at connect; "
              "the page heard the service %d times in %.1f s; a new tablet: %d in %.1f ms; display CPU %.0f %% "
              "of a core" % (alive, refused, page.heard - heard, wall, status, seconds * 1000, 100 * cpu / wall))
    finally:
        host.kill()
        host.wait()


def guesses(program, site):
    host, port = start_host(program, site)
    try:
        t = time.perf_counter()
        statuses = {}
        for round_ in range(2):
            for i in range(50):
                body = b"pin=%d" % (100000 + i * 2 + round_)
                status, _ = ask(port, "127.0.0.%d" % (10 + i), b"POST /login HTTP/1.1\r\n", body)
                statuses[status] = statuses.get(status, 0) + 1
        seconds = time.perf_counter() - t
        right, _ = ask(port, "127.0.0.80", b"POST /login HTTP/1.1\r\n", b"pin=" + PIN.encode())
        print("100 PIN guesses from 50 addresses in %.2f s: %s; the right PIN from a new address then: %d"
              % (seconds, ", ".join("%d x %d" % (n, s) for s, n in sorted(statuses.items())), right))
    finally:
        host.kill()
        host.wait()


def ticks(program, site):
    host, port = start_host(program, site, "--tick", "50", "--report-ticks")
    values = []
    threading.Thread(target=lambda: [values.append(int(line.split()[1])) for line in host.stdout
                                     if line.startswith("TICK")], daemon=True).start()
    try:
        time.sleep(1)
        values.clear()
        time.sleep(5)
        calm = list(values)
        held = [connect(port, "127.0.0.%d" % (10 + i % 40)) for i in range(200)]
        stop = threading.Event()

        def keep_attacking():
            hdr = b"Host: 127.0.0.1:%d\r\n" % port
            # Twenty oversized requests a second, each pushing up to 1 MB.
            while not stop.is_set():
                attack(port, "127.0.0.2", b"GET /", b"a" * 64, 1024 * 1024)
                time.sleep(0.05)
                attack(port, "127.0.0.2", b"POST /login HTTP/1.1\r\n" + hdr + b"Content-Length: 300000000\r\n\r\n",
                       b"x" * 64, 1024 * 1024)
                time.sleep(0.05)
        attacker = threading.Thread(target=keep_attacking)
        attacker.start()
        values.clear()
        time.sleep(5)
        attacked = list(values)
        stop.set()
        attacker.join()
        for s in held:
            s.close()
        # Medians: on a shared machine a few ticks preempted by others weigh on a mean.
        print("tick: median %.0f us calm (%d ticks), %.0f us under attack (%d ticks): ratio %.2f" % (
            statistics.median(calm), len(calm), statistics.median(attacked), len(attacked),
            statistics.median(attacked) / statistics.median(calm)))
    finally:
        host.kill()
        host.wait()


def main():
    program = sys.argv[1]
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 4096)), hard))
    chosen = sys.argv[2:] or ["oversize", "flood", "guesses", "ticks"]
    for measure in (globals()[name] for name in chosen):
        with tempfile.TemporaryDirectory(prefix="tavo-front-") as site:
            measure(program, site)


if __name__ == "__main__":
    main()
