"""The real veldra-sim and veldra-hub on a loopback address of their own, the HTTP and
WebSocket calls the tests and the benchmark make, and headless Chromium. Programs come
from VELDRA_SIM and VELDRA_HUB; standard library and Debian's python3-selenium only."""
import base64
import http.client
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time


def free_port(addr):
    s = socket.socket()
    s.bind((addr, 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_for(cond, timeout=15.0, step=0.02):
    """The condition's value once true; None when the time ran out."""
    end = time.monotonic() + timeout
    while True:
        v = cond()
        if v:
            return v
        if time.monotonic() > end:
            return None
        time.sleep(step)


class Sim:
    def __init__(self, addr, folder, port=None):
        self.addr, self.folder = addr, folder
        self.port = port or free_port(addr)
        self.state_file = os.path.join(folder, "sim-state.json")
        self.inject_path = os.path.join(folder, "inject.sock")
        self.proc = None

    def start(self):
        self.proc = subprocess.Popen(
            [os.environ["VELDRA_SIM"], "--tcp", "%s:%d" % (self.addr, self.port),
             "--state", self.state_file, "--inject", self.inject_path],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if line != "veldra-sim ready\n":
            raise RuntimeError("veldra-sim: " + line + self.proc.stderr.read())

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(10)
        if self.proc:
            self.proc.stdout.close()
            self.proc.stderr.close()

    def state(self):
        try:
            with open(self.state_file) as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    def inject(self, *lines):
        s = socket.socket(socket.AF_UNIX)
        s.connect(self.inject_path)
        s.sendall(("\n".join(lines) + "\n").encode())
        s.close()


class Hub:
    def __init__(self, addr, folder, device, extra=()):
        self.addr, self.folder = addr, folder
        self.http_port = free_port(addr)
        self.share_port = free_port(addr)
        self.args = [os.environ["VELDRA_HUB"], "--host", device,
                     "--http", "%s:%d" % (addr, self.http_port),
                     "--share", "%s:%d" % (addr, self.share_port), "--poll", "0"] + list(extra)
        self.log = os.path.join(folder, "hub-%d.log" % self.http_port)
        self.proc = None
        self.token = None

    @property
    def base(self):
        return "http://%s:%d" % (self.addr, self.http_port)

    def start(self, ready=True):
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.folder, "config"))
        with open(self.log, "w") as log:
            self.proc = subprocess.Popen(self.args, stdout=subprocess.DEVNULL, stderr=log,
                                         env=env)
        if not wait_for(lambda: self.request("GET", "/healthz/live")[0] == 200):
            raise RuntimeError("veldra-hub did not start: " + open(self.log).read())
        if ready and not wait_for(lambda: self.request("GET", "/healthz/ready")[0] == 200):
            raise RuntimeError("veldra-hub not ready: " + open(self.log).read())

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(10)

    def request(self, method, path, body=None, headers=None, token=None):
        """(status, parsed JSON or text, headers); status 0 when nothing answered."""
        h = dict(headers or {})
        tok = token if token is not None else self.token
        if tok:
            h.setdefault("Authorization", "Bearer " + tok)
        if isinstance(body, (dict, list)):
            body = json.dumps(body)
            h.setdefault("Content-Type", "application/json")
        try:
            c = http.client.HTTPConnection(self.addr, self.http_port, timeout=20)
            c.request(method, path, body=body, headers=h)
            r = c.getresponse()
            data = r.read()
            c.close()
        except OSError:
            return 0, None, {}
        try:
            parsed = json.loads(data)
        except ValueError:
            parsed = data.decode(errors="replace")
        return r.status, parsed, dict(r.getheaders())

    def share_client(self):
        s = socket.create_connection((self.addr, self.share_port), timeout=10)
        return s


class WebSocket:
    """The client side of RFC 6455, enough for text events."""

    def __init__(self, addr, port, path="/api/v1/events", origin=None):
        self.sock = socket.create_connection((addr, port), timeout=10)
        key = base64.b64encode(os.urandom(16)).decode()
        req = ("GET %s HTTP/1.1\r\nHost: %s:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
               "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n" % (path, addr, port, key))
        if origin:
            req += "Origin: %s\r\n" % origin
        self.sock.sendall((req + "\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.sock.recv(1)
            if not chunk:
                raise ConnectionError("no handshake")
            head += chunk
        self.status = int(head.split(b" ")[1])
        self.buf = b""

    def _read(self, n):
        while len(self.buf) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("closed")
            self.buf += chunk
        out, self.buf = self.buf[:n], self.buf[n:]
        return out

    def recv(self, timeout=10.0):
        """(opcode, payload); control frames included (8: close)."""
        self.sock.settimeout(timeout)
        b0, b1 = self._read(2)
        n = b1 & 0x7F
        if n == 126:
            n = struct.unpack(">H", self._read(2))[0]
        elif n == 127:
            n = struct.unpack(">Q", self._read(8))[0]
        return b0 & 0x0F, self._read(n)

    def next_event(self, timeout=10.0):
        if self.status != 101:
            raise ConnectionError("upgrade refused: %d" % self.status)
        end = time.monotonic() + timeout
        while True:
            op, data = self.recv(max(0.05, end - time.monotonic()))
            if op == 1:
                return json.loads(data)
            if op == 8:
                raise ConnectionError("closed: %r" % data)

    def close(self):
        self.sock.close()


def chromium(width=1280, height=800):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    opts = webdriver.ChromeOptions()
    opts.binary_location = "/usr/bin/chromium"
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
              "--window-size=%d,%d" % (width, height), "--hide-scrollbars"):
        opts.add_argument(a)
    profile = tempfile.mkdtemp(prefix="veldra-chromium-")
    opts.add_argument("--user-data-dir=" + profile)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=opts)
    driver.set_window_size(width, height)
    orig_quit = driver.quit

    def quit_and_clean():
        try:
            orig_quit()
        finally:
            shutil.rmtree(profile, ignore_errors=True)

    driver.quit = quit_and_clean
    return driver
