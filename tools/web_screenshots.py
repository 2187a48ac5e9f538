#!/usr/bin/python3
"""The README's pictures of veldra-hub's page, made by headless Chromium against the
simulator: docs/web-360x740.png and docs/web-1280x800.png.
  VELDRA_SIM=build/veldra-sim VELDRA_HUB=build/veldra-hub tools/web_screenshots.py docs"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from hub_rig import Hub, Sim, chromium, wait_for  # noqa: E402

ADDR = "127.0.0.92"


def main(out):
    tmp = tempfile.TemporaryDirectory(prefix="veldra-shots-")
    sim = Sim(ADDR, tmp.name)
    sim.start()
    hub = Hub(ADDR, tmp.name, "%s:%d" % (ADDR, sim.port))
    hub.start()
    try:
        # A classroom, where the build keeps names (left as numbers where it does not).
        hub.request("PUT", "/api/v1/names", {
            "inputs": {"1": "Lectern PC", "2": "Document camera", "3": "Laptop HDMI",
                       "4": "Media player"},
            "outputs": {"1": "Projector", "2": "Confidence monitor", "3": "Lobby screen",
                        "4": "Recorder"}})
        for out_n, inp in ((1, 1), (2, 1), (3, 4), (4, 2)):
            hub.request("PUT", "/api/v1/outputs/%d" % out_n, {"input": inp})
        hub.request("PUT", "/api/v1/scenes/Lecture")
        for w, h in ((360, 740), (1280, 800)):
            d = chromium(w, h)
            try:
                # The page's own viewport, as a phone or tablet of that size shows it.
                d.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                  {"width": w, "height": h, "deviceScaleFactor": 1,
                                   "mobile": w < 600})
                d.get(hub.base + "/")
                assert wait_for(lambda: "Device connected" in
                                d.find_element("id", "status").text, 15)
                assert wait_for(lambda: d.find_elements("css selector", "td button.on"), 5)
                path = os.path.join(out, "web-%dx%d.png" % (w, h))
                d.save_screenshot(path)
                print(path)
            finally:
                d.quit()
    finally:
        hub.stop()
        sim.stop()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "docs")
