#!/usr/bin/python3
"""veldra-hub's web against the real simulator: the REST API, the event stream, the
shared port passing changes on, and the page in a real headless Chromium."""
import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from hub_rig import Hub, Sim, WebSocket, chromium, wait_for  # noqa: E402

ADDR = "127.0.0.81"
TOKEN_ADDR = "127.0.0.82"
TMP = tempfile.TemporaryDirectory(prefix="veldra-web-")
sim = hub = None


def setUpModule():
    global sim, hub
    sim = Sim(ADDR, TMP.name)
    sim.start()
    hub = Hub(ADDR, TMP.name, "%s:%d" % (ADDR, sim.port))
    hub.start()


def tearDownModule():
    hub.stop()
    sim.stop()
    TMP.cleanup()


def routing():
    return sim.state().get("routing")


def front_panel(inp, output=None):
    """The device announces a newly selected output and its input, as its front panel
    does; the output chosen."""
    now = hub.request("GET", "/api/v1/state")[1].get("output")
    output = output or (1 if now != 1 else 2)
    assert output != now
    sim.inject("OUT%03d" % output)
    assert wait_for(lambda: hub.request("GET", "/api/v1/state")[1].get("output") == output)
    sim.inject("INP%03d" % inp)
    return output


def device_back():
    if sim.proc.poll() is not None:
        sim.start()
    assert wait_for(lambda: hub.request("GET", "/healthz/ready")[0] == 200, 20), "hub not ready"


class Api(unittest.TestCase):
    def setUp(self):
        device_back()

    def test_state_is_the_device_state(self):
        hub.request("PUT", "/api/v1/outputs/1", {"input": 2})
        status, body, headers = hub.request("GET", "/api/v1/state")
        self.assertEqual(status, 200)
        self.assertEqual(body["routing"], sim.state()["routing"])
        self.assertEqual(body["mode"], sim.state()["mode"])
        self.assertIn("default-src 'none'", headers.get("Content-Security-Policy", ""))

    def test_route_mode_and_command_reach_the_device(self):
        status, body, _ = hub.request("PUT", "/api/v1/outputs/3", {"input": 4})
        self.assertEqual((status, body["exit"]), (200, 0), body)
        self.assertEqual(routing()[2], 4)
        self.assertEqual(hub.request("PUT", "/api/v1/outputs/3", "1")[0], 200)
        self.assertEqual(routing()[2], 1)
        self.assertEqual(hub.request("PUT", "/api/v1/mode", {"mode": "2x2"})[0], 200)
        self.assertEqual(sim.state()["mode"], 3)
        self.assertTrue(wait_for(lambda: "rows" in hub.request("GET", "/api/v1/state")[1]))
        self.assertEqual(hub.request("PUT", "/api/v1/mode", {"mode": 1})[0], 200)
        self.assertEqual(sim.state()["mode"], 1)
        status, body, _ = hub.request("POST", "/api/v1/command", {"command": "lock on"})
        self.assertEqual((status, body["sent"]), (200, ["LCK001"]))
        self.assertEqual(sim.state()["lock"], 1)
        hub.request("POST", "/api/v1/command", {"args": ["lock", "off"]})
        self.assertEqual(sim.state()["lock"], 0)

    def test_bad_requests_are_json_errors_and_send_nothing(self):
        before = sim.state()["commands"]
        cases = [("POST", "/api/v1/command", {"command": "route 9 1"}, 400),
                 ("POST", "/api/v1/command", {"command": "watch"}, 400),
                 ("POST", "/api/v1/command", {"command": "route 1 1 --host x"}, 400),
                 ("POST", "/api/v1/command", "{not json", 400),
                 ("PUT", "/api/v1/outputs/1", {"input": [1]}, 400),
                 ("PUT", "/api/v1/mode", {"mode": "quad"}, 400),
                 ("GET", "/api/v1/command", None, 405),
                 ("DELETE", "/api/v1/state", None, 405),
                 ("GET", "/api/v1/nothing", None, 404),
                 ("GET", "/etc/passwd", None, 404),
                 ("GET", "/../CMakeLists.txt", None, 404)]
        for method, path, body, want in cases:
            with self.subTest(path=path, body=body):
                status, answer, headers = hub.request(method, path, body)
                self.assertEqual(status, want, answer)
                self.assertIsInstance(answer, dict)
                self.assertTrue(answer.get("error"), answer)
                self.assertTrue(headers["Content-Type"].startswith("application/json"))
        self.assertEqual(sim.state()["commands"], before)

    def test_foreign_origin_and_host_are_refused(self):
        before = sim.state()["commands"]
        status, body, _ = hub.request("PUT", "/api/v1/outputs/1", {"input": 3},
                                      headers={"Origin": "http://evil.example"})
        self.assertEqual(status, 403)
        self.assertIn("error", body)
        status, _, _ = hub.request("GET", "/api/v1/state", headers={"Host": "evil.example"})
        self.assertEqual(status, 403)
        self.assertEqual(sim.state()["commands"], before)
        own = "http://%s:%d" % (ADDR, hub.http_port)
        self.assertEqual(hub.request("PUT", "/api/v1/outputs/1", {"input": 3},
                                     headers={"Origin": own})[0], 200)
        ws = WebSocket(ADDR, hub.http_port, origin="http://evil.example")
        self.assertEqual(ws.status, 403)
        ws.close()
        ws = WebSocket(ADDR, hub.http_port, path="/api/v1/other")
        self.assertEqual(ws.status, 404)
        ws.close()

    def test_body_too_large(self):
        big = json.dumps({"command": "x" * (70 * 1024)})
        status, body, _ = hub.request("POST", "/api/v1/command", big)
        self.assertEqual(status, 413)
        self.assertIn("error", body)
        # Just under the bound is read (and refused as a command).
        status, _, _ = hub.request("POST", "/api/v1/command",
                                   json.dumps({"command": "y" * (60 * 1024)}))
        self.assertEqual(status, 400)

    def test_openapi_describes_every_endpoint(self):
        status, body, _ = hub.request("GET", "/api/v1/openapi.json")
        self.assertEqual(status, 200)
        for p in ("/api/v1/state", "/api/v1/command", "/api/v1/outputs/{n}", "/api/v1/mode",
                  "/api/v1/scenes/{name}", "/api/v1/scenes/{name}/recall", "/api/v1/names",
                  "/api/v1/events", "/healthz/live", "/healthz/ready"):
            self.assertIn(p, body["paths"])

    def test_events_follow_every_change(self):
        ws = WebSocket(ADDR, hub.http_port)
        self.assertEqual(ws.status, 101)
        first = ws.next_event()
        self.assertTrue(first["ready"])
        self.assertEqual(first["state"]["routing"], routing())
        # A front-panel change, a REST change and a shared-port change each show.
        out = front_panel(2)
        self.assertTrue(self._until(ws, lambda s: s["routing"][out - 1] == 2 and s["output"] == out))
        hub.request("PUT", "/api/v1/outputs/%d" % out, {"input": 1})
        self.assertTrue(self._until(ws, lambda s: s["routing"][out - 1] == 1))
        c = hub.share_client()
        c.sendall(b"LCK001\r")
        self.assertTrue(self._until(ws, lambda s: s["lock"] == 1))
        c.sendall(b"LCK000\r")
        self.assertTrue(self._until(ws, lambda s: s["lock"] == 0))
        c.close()
        ws.close()

    def _until(self, ws, cond):
        while True:
            e = ws.next_event(10)
            if e["ready"] and cond(e["state"]):
                return True

    def test_share_port_passes_changes_on(self):
        a, b = hub.share_client(), hub.share_client()
        b.settimeout(10)
        a.settimeout(10)
        # A change made on the web reaches a panel on the shared port.
        hub.request("PUT", "/api/v1/outputs/2", {"input": 3})
        got = b""
        while b"INP003\r" not in got:
            got += b.recv(100)
        self.assertIn(b"OUT002\r", got)
        got = b""
        while b"INP003\r" not in got:
            got += a.recv(100)
        # One panel's change reaches the other, not as a reply to the first twice.
        a.sendall(b"BEZ001\r")
        got = b""
        while b"BEZ001\r" not in got:
            got += b.recv(100)
        a_got = b""
        while b"\r" not in a_got:
            a_got += a.recv(100)
        self.assertEqual(a_got, b"BEZ001\r")
        # A query is answered to its asker only.
        a.sendall(b"BEZ999\r")
        a_got = b""
        while b"\r" not in a_got:
            a_got += a.recv(100)
        a.sendall(b"BEZ000\r")
        got = b""
        while b"BEZ000\r" not in got:
            got += b.recv(100)
        self.assertNotIn(b"BEZ999", got)
        self.assertEqual(got, b"BEZ000\r")
        a.close()
        b.close()

    def test_names_and_scenes(self):
        names = {"inputs": {"1": "Lectern PC", "2": "Doc <b>cam</b>"},
                 "outputs": {"1": "Projector"}}
        status, body, _ = hub.request("PUT", "/api/v1/names", names)
        self.assertEqual(status, 200, body)
        status, body, _ = hub.request("GET", "/api/v1/names")
        self.assertEqual(status, 200, body)
        self.assertEqual(body["inputs"][0], "Lectern PC")
        self.assertEqual(body["inputs"][1], "Doc <b>cam</b>")
        self.assertEqual(body["outputs"][0], "Projector")
        status, body, _ = hub.request("PUT", "/api/v1/outputs/Projector", {"input": "lectern pc"})
        self.assertEqual(status, 200, body)
        self.assertEqual(routing()[0], 1)
        self.assertEqual(hub.request("PUT", "/api/v1/outputs/1", {"input": "Nobody"})[0], 400)
        self.assertEqual(hub.request("PUT", "/api/v1/scenes/Talk")[0], 200)
        hub.request("PUT", "/api/v1/outputs/1", {"input": 4})
        self.assertTrue(wait_for(lambda: hub.request("GET", "/api/v1/state")[1]["scene"] is None))
        status, body, _ = hub.request("POST", "/api/v1/scenes/Talk/recall")
        self.assertEqual(status, 200, body)
        self.assertEqual(routing()[0], 1)
        self.assertTrue(wait_for(lambda: hub.request("GET", "/api/v1/state")[1]["scene"] == "Talk"))
        self.assertEqual(hub.request("POST", "/api/v1/scenes/Nothing%20here/recall")[0], 400)

    def test_zz_device_down_gives_503_and_recovers(self):
        ws = WebSocket(ADDR, hub.http_port)
        self.assertTrue(ws.next_event()["ready"])
        sim.stop()
        self.assertTrue(wait_for(lambda: hub.request("GET", "/healthz/ready")[0] == 503, 20))
        self.assertEqual(hub.request("GET", "/healthz/live")[0], 200)
        status, body, _ = hub.request("GET", "/api/v1/state")
        self.assertEqual(status, 503)
        self.assertNotIn("routing", body)
        status, body, _ = hub.request("PUT", "/api/v1/outputs/1", {"input": 2})
        self.assertEqual(status, 503)
        self.assertEqual(body["exit"], 4)
        e = ws.next_event()
        while e["ready"]:
            e = ws.next_event()
        self.assertIsNone(e["state"])
        sim.start()
        while not e["ready"]:
            e = ws.next_event(20)
        self.assertEqual(e["state"]["routing"], routing())
        ws.close()


class Token(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sim = Sim(TOKEN_ADDR, TMP.name)
        cls.sim.state_file = os.path.join(TMP.name, "token-sim.json")
        cls.sim.inject_path = os.path.join(TMP.name, "token-inject.sock")
        cls.sim.start()
        token_file = os.path.join(TMP.name, "token")
        with open(token_file, "w") as f:
            f.write("s3cret-token-0123456789\n")
        cls.hub = Hub(TOKEN_ADDR, TMP.name, "%s:%d" % (TOKEN_ADDR, cls.sim.port),
                      ["--http-token-file", token_file])
        cls.hub.start()

    @classmethod
    def tearDownClass(cls):
        cls.hub.stop()
        cls.sim.stop()

    def test_token_is_required(self):
        h = self.hub
        for tok in ("", "wrong", "s3cret-token-012345678"):
            with self.subTest(token=tok):
                status, body, headers = h.request("GET", "/api/v1/state", token=tok)
                self.assertEqual(status, 401)
                self.assertIn("error", body)
        before = self.sim.state()["commands"]
        self.assertEqual(h.request("PUT", "/api/v1/outputs/1", {"input": 2}, token="x")[0], 401)
        self.assertEqual(self.sim.state()["commands"], before)
        self.assertEqual(h.request("GET", "/api/v1/state", token="s3cret-token-0123456789")[0], 200)
        self.assertEqual(h.request("PUT", "/api/v1/outputs/1", {"input": 2},
                                   token="s3cret-token-0123456789")[0], 200)
        self.assertEqual(self.sim.state()["routing"][0], 2)
        # The page itself and the health checks need none.
        self.assertEqual(h.request("GET", "/healthz/ready", token="")[0], 200)
        self.assertEqual(h.request("GET", "/", token="")[0], 200)
        for path in ("/api/v1/events", "/api/v1/events?token=wrong"):
            ws = WebSocket(TOKEN_ADDR, h.http_port, path)
            self.assertEqual(ws.status, 401)
            ws.close()
        ws = WebSocket(TOKEN_ADDR, h.http_port, "/api/v1/events?token=s3cret-token-0123456789")
        self.assertTrue(ws.next_event()["ready"])
        ws.close()

    def test_page_asks_for_the_token_once(self):
        d = chromium()
        try:
            d.get(self.hub.base + "/")
            form = d.find_element("id", "token-form")
            self.assertTrue(wait_for(form.is_displayed, 15))
            d.find_element("id", "token").send_keys("s3cret-token-0123456789")
            d.find_element("css selector", "#token-form button").click()
            self.assertTrue(wait_for(lambda: "Device connected" in
                                     d.find_element("id", "status").text, 15))
            d.refresh()
            self.assertTrue(wait_for(lambda: "Device connected" in
                                     d.find_element("id", "status").text, 15))
            self.assertFalse(d.find_element("id", "token-form").is_displayed())
        finally:
            d.quit()


class Page(unittest.TestCase):
    def setUp(self):
        device_back()
        self.d = chromium(360, 740)

    def tearDown(self):
        self.d.quit()

    def cell_on(self, d, out, inp):
        try:
            return "on" in d.find_element("css selector",
                                          '[data-cell="%d-%d"]' % (out, inp)).get_attribute("class")
        except Exception:
            return False

    def attr(self, d, selector, name):
        # The page redraws on every event: an element found may be replaced before it is read.
        try:
            return d.find_element("css selector", selector).get_attribute(name)
        except Exception:
            return None

    def open(self, d):
        d.get(hub.base + "/")
        self.assertTrue(wait_for(lambda: "Device connected" in
                                 d.find_element("id", "status").text, 15))

    def test_page_shows_the_state_and_a_tap_routes(self):
        d = self.d
        self.open(d)
        # The hub's reading (an injected front-panel text leaves the simulator's own).
        r = hub.request("GET", "/api/v1/state")[1]["routing"]
        for out in range(1, 5):
            self.assertTrue(wait_for(lambda: self.cell_on(d, out, r[out - 1]), 5))
        target = 1 if r[2] != 1 else 2
        d.find_element("css selector", '[data-out="3"]').click()
        d.find_element("css selector", '[data-in="%d"]' % target).click()
        self.assertTrue(wait_for(lambda: routing()[2] == target, 10))
        self.assertTrue(wait_for(lambda: self.cell_on(d, 3, target), 10))
        d.find_element("css selector", '[data-cell="4-3"]').click()
        self.assertTrue(wait_for(lambda: routing()[3] == 3, 10))

    def test_front_panel_change_shows(self):
        d = self.d
        self.open(d)
        out = 2 if hub.request("GET", "/api/v1/state")[1]["output"] != 2 else 3
        new = 4 if routing()[out - 1] != 4 else 1
        front_panel(new, out)
        self.assertTrue(wait_for(lambda: self.cell_on(d, out, new), 10))

    def test_second_browser_sees_the_first_ones_change(self):
        d2 = chromium(1280, 800)
        try:
            self.open(self.d)
            self.open(d2)
            new = 3 if routing()[1] != 3 else 4
            self.d.find_element("css selector", '[data-cell="2-%d"]' % new).click()
            self.assertTrue(wait_for(lambda: self.cell_on(d2, 2, new), 10))
            self.d.find_element("css selector", '[data-mode="dual"]').click()
            self.assertTrue(wait_for(lambda: self.attr(d2, '[data-mode="dual"]', "aria-pressed")
                                     == "true", 10))
            self.assertTrue(wait_for(lambda: len(d2.find_elements(
                "css selector", '#picture input[data-param="bri"]')) == 2, 10))
            self.d.find_element("css selector", '[data-mode="matrix"]').click()
            self.assertTrue(wait_for(lambda: sim.state()["mode"] == 1, 10))
        finally:
            d2.quit()

    def test_names_show_as_text(self):
        status, body, _ = hub.request("PUT", "/api/v1/names", {
            "inputs": {"3": "<script>window.hacked=1</script>"},
            "outputs": {"2": "Confidence <i>monitor</i>"}})
        self.assertEqual(status, 200, body)
        d = self.d
        self.open(d)
        self.assertTrue(wait_for(lambda: d.find_element("css selector", '[data-in="3"]').text ==
                                 "<script>window.hacked=1</script>", 10))
        self.assertEqual(d.find_element("css selector", '[data-out="2"]').text,
                         "Confidence <i>monitor</i>")
        self.assertIsNone(d.execute_script("return window.hacked"))
        self.assertEqual(d.find_elements("css selector", "#routing script, #routing i"), [])

    def test_zz_device_loss_shows_and_recovers(self):
        d = self.d
        self.open(d)
        sim.stop()
        self.assertTrue(wait_for(lambda: "not answering" in
                                 d.find_element("id", "status").text, 20))
        self.assertEqual(d.find_element("id", "controls").get_attribute("aria-disabled"), "true")
        self.assertFalse(d.find_element("css selector", '[data-cell="1-1"]').is_enabled())
        sim.start()
        self.assertTrue(wait_for(lambda: "Device connected" in
                                 d.find_element("id", "status").text, 20))
        self.assertTrue(d.find_element("css selector", '[data-cell="1-1"]').is_enabled())

    def test_zz_hub_loss_shows_and_page_reconnects(self):
        d = self.d
        self.open(d)
        hub.stop()
        try:
            self.assertTrue(wait_for(lambda: "Hub not reachable" in
                                     d.find_element("id", "status").text, 15))
        finally:
            hub.start()
        self.assertTrue(wait_for(lambda: "Device connected" in
                                 d.find_element("id", "status").text, 30))


if __name__ == "__main__":
    unittest.main(verbosity=2)
