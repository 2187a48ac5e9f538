#!/usr/bin/python3
"""veldra-hub's web, measured (not a test: nothing fails). Starts the real simulator
and hub on 127.0.0.91 and prints a table:
  - tap to device command: a click on a routing cell in headless Chromium (dispatched by
    script) until the simulator has received the INP command (its --commands file),
    through the page's fetch, the hub's queue and the OUT + INP exchanges;
  - front-panel change to page: an announcement injected into the simulator until the
    page shows it (polled through WebDriver, about 2 ms a look);
  - 50 WebSocket clients: the hub's resident memory before and after they connect, and
    the time from a REST change to its event at the last of them.
  VELDRA_SIM=build/veldra-sim VELDRA_HUB=build/veldra-hub bench/bench_web.py [runs]"""
import json
import os
import selectors
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from hub_rig import Hub, Sim, WebSocket, chromium, wait_for  # noqa: E402

ADDR = "127.0.0.91"
RUNS = int(sys.argv[1]) if len(sys.argv) > 1 else 20


def pct(xs, p):
    xs = sorted(xs)
    return xs[min(len(xs) - 1, int(round(p / 100.0 * (len(xs) - 1))))]


def row(name, xs, note=""):
    print("| %s | %.1f ms | %.1f ms | %d | %s |" % (name, statistics.median(xs), pct(xs, 90),
                                                   len(xs), note))


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    tmp = tempfile.TemporaryDirectory(prefix="veldra-bench-web-")
    sim = Sim(ADDR, tmp.name)
    commands = os.path.join(tmp.name, "commands.txt")

    def start_with_log():
        sim.proc = subprocess.Popen(
            [os.environ["VELDRA_SIM"], "--tcp", "%s:%d" % (sim.addr, sim.port), "--state",
             sim.state_file, "--inject", sim.inject_path, "--commands", commands],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        assert sim.proc.stdout.readline() == "veldra-sim ready\n"
    sim.start = start_with_log
    sim.start()
    hub = Hub(ADDR, tmp.name, "%s:%d" % (ADDR, sim.port))
    hub.start()
    d = chromium(1280, 800)
    try:
        d.get(hub.base + "/")
        assert wait_for(lambda: "Device connected" in d.find_element("id", "status").text, 15)

        def lines():
            with open(commands) as f:
                return f.read().splitlines()

        def cell_on(o, i):
            return d.execute_script(
                'var e=document.querySelector(\'[data-cell="%d-%d"]\');'
                'return !!e && e.classList.contains("on");' % (o, i))

        tap = []
        for k in range(RUNS):
            inp = 1 + k % 4 if (1 + k % 4) != sim.state()["routing"][1] else 1 + (k + 1) % 4
            n = len(lines())
            cell = d.find_element("css selector", '[data-cell="2-%d"]' % inp)
            t0 = time.monotonic()
            # The page's own click handler (WebDriver's click adds its input pipeline).
            d.execute_script("arguments[0].click()", cell)
            wait_for(lambda: "INP%03d" % inp in lines()[n:], 10, 0.0005)
            tap.append((time.monotonic() - t0) * 1000)
            wait_for(lambda: cell_on(2, inp), 10, 0.001)

        fp = []
        for k in range(RUNS):
            state = hub.request("GET", "/api/v1/state")[1]
            out = state["output"]
            inp = 1 + k % 4 if (1 + k % 4) != state["routing"][out - 1] else 1 + (k + 1) % 4
            t0 = time.monotonic()
            sim.inject("INP%03d" % inp)
            wait_for(lambda: cell_on(out, inp), 10, 0.0005)
            fp.append((time.monotonic() - t0) * 1000)
    finally:
        d.quit()

    before = rss_kib(hub.proc.pid)
    clients = [WebSocket(ADDR, hub.http_port) for _ in range(50)]
    for c in clients:
        c.next_event()
    after = rss_kib(hub.proc.pid)
    fan = []
    for k in range(RUNS):
        inp = 1 + k % 4 if (1 + k % 4) != hub.request("GET", "/api/v1/state")[1]["routing"][0] \
            else 1 + (k + 1) % 4
        sel = selectors.DefaultSelector()
        for c in clients:
            c.sock.setblocking(False)
            sel.register(c.sock, selectors.EVENT_READ, c)
        waiting = set(clients)
        t0 = time.monotonic()
        threading.Thread(target=hub.request, args=("PUT", "/api/v1/outputs/1", {"input": inp}),
                         daemon=True).start()
        while waiting:
            for key, _ in sel.select(10):
                c = key.data
                c.buf += c.sock.recv(65536)
                # Frames of this bench are small text frames: 0x81, a 1- or 2-byte length.
                while len(c.buf) >= 2:
                    n = c.buf[1] & 0x7F
                    h = 2 + (2 if n == 126 else 0)
                    if n == 126:
                        if len(c.buf) < 4:
                            break
                        n = int.from_bytes(c.buf[2:4], "big")
                    if len(c.buf) < h + n:
                        break
                    payload, c.buf = c.buf[h:h + n], c.buf[h + n:]
                    e = json.loads(payload)
                    if e.get("state") and e["state"]["routing"][0] == inp:
                        waiting.discard(c)
        fan.append((time.monotonic() - t0) * 1000)
        sel.close()
        for c in clients:
            c.sock.setblocking(True)
    for c in clients:
        c.close()
    hub.stop()
    sim.stop()

    print("| figure | median | p90 | runs | notes |")
    print("|---|---|---|---|---|")
    row("tap to device command", tap, "click in Chromium to INP in the simulator's log")
    row("front-panel change to page", fp, "injected INP to the cell drawn on")
    row("change to the last of 50 WebSocket clients", fan, "REST PUT to the 50th event")
    print("| hub memory, 50 WebSocket clients | %.1f MiB | | | %.1f MiB before, +%.0f KiB "
          "(%.1f KiB a client) |" % (after / 1024.0, before / 1024.0, after - before,
                                     (after - before) / 50.0))


if __name__ == "__main__":
    main()
