#!/usr/bin/env python3
"""The bundled site in a real browser: the demo host serves it and headless
Chromium, driven over WebDriver (chromedriver), loads the home page and its
image, the CGI page with a query, and a missing page. A screenshot of the
home page is saved.

Usage: browser_test.py QUORVEX_SERVE SCREENSHOT_PNG WORK_DIR
"""
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.request

import host_check

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
BROWSER_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--window-size=1000,800"]
DRIVER_TIMEOUT = 120


class WebDriver:
    """The few WebDriver commands the test needs, over plain HTTP."""

    def __init__(self, port, profile):
        self.base = "http://127.0.0.1:%d" % port
        self.opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
        options = {"binary": CHROMIUM, "args": BROWSER_FLAGS + ["--user-data-dir=" + profile]}
        answer = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {
            "browserName": "chrome", "goog:chromeOptions": options}}})
        self.session = "/session/" + answer["sessionId"]

    def call(self, method, path, body=None):
        data = json.dumps(body if body is not None else {}).encode() if method == "POST" else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with self.opener.open(request, timeout=DRIVER_TIMEOUT) as answer:
            return json.loads(answer.read().decode())["value"]

    def open(self, url):
        # Returns once the page and its images have loaded.
        self.call("POST", self.session + "/url", {"url": url})

    def script(self, source):
        return self.call("POST", self.session + "/execute/sync", {"script": source, "args": []})

    def screenshot(self):
        return base64.b64decode(self.call("GET", self.session + "/screenshot"))

    def close(self):
        self.call("DELETE", self.session)


def wait_for_port(port, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.1)
    return False


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    serve, screenshot_file, work = (os.path.abspath(a) for a in sys.argv[1:])
    host_check.fresh_directory(work)
    failures = []

    port = host_check.free_port(host_check.server_address())
    host = host_check.Host([serve, "--port", str(port), "--quiet"])
    driver_port = host_check.free_port("127.0.0.1")
    driver = subprocess.Popen([CHROMEDRIVER, "--port=%d" % driver_port],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    browser = None
    try:
        if "http://" not in host.first_line:
            return host_check.report(["demo host did not start: %r; %s" % (host.first_line, host.stop())])
        if not wait_for_port(driver_port, 30):
            return host_check.report(["chromedriver did not start"])
        site = "http://%s:%d/" % (host_check.server_address(), port)
        browser = WebDriver(driver_port, os.path.join(work, "profile"))

        browser.open(site)
        title = browser.script("return document.title")
        if title != "Quorvex example site":
            failures.append("home page title %r" % title)
        width = browser.script("var i = document.images[0]; return i ? i.naturalWidth : -1")
        if not isinstance(width, int) or width <= 0:
            failures.append("home page image did not load: natural width %r" % width)
        with open(screenshot_file, "wb") as f:
            f.write(browser.screenshot())

        cases = [
            # (path, text the page must show)
            ("cgi-bin/hello.cgi?name=browser&colour=green", "QUERY_STRING: name=browser&colour=green"),
            ("missing.htm", "HTTP 404"),
        ]
        for path, expected in cases:
            browser.open(site + path)
            text = browser.script("return document.title + '\\n' + document.body.innerText")
            if expected not in text:
                failures.append("%s: page shows %r, not %r" % (path, text[:300], expected))
        status = browser.script("return performance.getEntriesByType('navigation')[0].responseStatus")
        if status != 404:
            failures.append("missing.htm: the browser saw status %r" % status)
    finally:
        if browser is not None:
            browser.close()
        driver.terminate()
        driver.wait(timeout=20)
        host.stop()
        shutil.rmtree(os.path.join(work, "profile"), ignore_errors=True)

    if not os.path.getsize(screenshot_file) or open(screenshot_file, "rb").read(8) != b"\x89PNG\r\n\x1a\n":
        failures.append("screenshot is not a PNG")
    return host_check.report(failures)


if __name__ == "__main__":
    sys.exit(main())
