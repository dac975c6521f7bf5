#!/usr/bin/env python3
"""The bundled site in a real browser: the demo host serves it and headless
Chromium, driven over WebDriver (chromedriver), loads the home page and its
image, the CGI page with a query, and a missing page; on the page of today's
web its stylesheet is applied, its module script and WebAssembly module run,
its SVG drawing has a width, and both its forms (url-encoded, and multipart
with a small file) reach the form program whole. A screenshot of the home
page is saved. Then a page of 30 images of the test's own loads whole while
two connections sit idle beside the browser's (one silent, one with half a
header), as browsers' own speculative connections do, on at most 8
connections of the browser's.

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
PICTURES = 30
LOGO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "site", "logo.gif")


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


def wait_for(browser, source, seconds=20):
    """Runs `source` until it returns something true; its last result."""
    deadline = time.monotonic() + seconds
    while True:
        result = browser.script(source)
        if result or time.monotonic() > deadline:
            return result
        time.sleep(0.2)


def check_modern_page(browser, site, failures):
    browser.open(site + "modern.htm")
    colour = browser.script("return getComputedStyle(document.querySelector('h1')).color")
    if colour != "rgb(0, 90, 160)":
        failures.append("modern.htm: the stylesheet was not applied (heading colour %r)" % colour)
    if wait_for(browser, "return document.documentElement.dataset.module || ''") != "ran":
        failures.append("modern.htm: the module script did not run")
    wasm = wait_for(browser, "return document.documentElement.dataset.wasm || ''")
    if wasm != "5":
        failures.append("modern.htm: add.wasm did not run through instantiateStreaming (%r)" % wasm)
    width = browser.script("return document.getElementById('mark').naturalWidth")
    if not isinstance(width, int) or width <= 0:
        failures.append("modern.htm: the SVG image has no width (%r)" % width)

    # The url-encoded form: what the browser encodes is what the program gets.
    browser.script("document.getElementById('plain-form').submit()")
    if wait_for(browser, "return document.title") != "What the form sent":
        failures.append("plain form: no answer page")
    else:
        body = browser.script("return document.getElementById('body').textContent")
        expected = "name=Ada+Lovelace&note=1+%2B+1+%3D+2+%26+more"
        length = browser.script("return document.getElementById('length').textContent")
        if body.strip() != expected or length != str(len(expected)):
            failures.append("plain form: the program got %r (length %r), not %r" % (body[:200], length, expected))

    # The multipart form with a small file of several lines.
    browser.open(site + "modern.htm")
    browser.script("""
        const data = new DataTransfer();
        data.items.add(new File(["first line\\nsecond line\\n<last> & line"], "small.txt", {type: "text/plain"}));
        document.querySelector('#file-form input[type=file]').files = data.files;
        document.getElementById('file-form').submit();""")
    if wait_for(browser, "return document.title") != "What the form sent":
        failures.append("multipart form: no answer page")
        return
    body = browser.script("return document.getElementById('body').textContent")
    kind = browser.script("return document.getElementById('type').textContent")
    for part in ['filename="small.txt"', "first line\nsecond line\n<last> & line", 'name="title"', "small file"]:
        if part not in body:
            failures.append("multipart form: %r missing from what the program got: %r" % (part, body[:400]))
    boundary = kind.partition("boundary=")[2]
    if not kind.startswith("multipart/form-data") or not boundary or not body.rstrip().endswith("--" + boundary + "--"):
        failures.append("multipart form: the body did not arrive whole (type %r, end %r)" % (kind, body[-80:]))


def wait_for_port(port, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.1)
    return False


def make_picture_site(path):
    """A page of PICTURES images, each its own file, so none comes from the cache."""
    host_check.fresh_directory(path)
    os.makedirs(os.path.join(path, "cgi-bin"))
    tags = []
    for i in range(PICTURES):
        name = "pic%02d.gif" % i
        shutil.copyfile(LOGO, os.path.join(path, name))
        tags.append('<img src="%s" width="60" height="30">' % name)
    with open(os.path.join(path, "pictures.htm"), "w") as f:
        f.write("<html><head><title>pictures</title></head><body>%s</body></html>\n" % "".join(tags))
    return path


def pictures_beside_idle_connections(serve, driver_port, work):
    """The picture page loads whole while idle connections are open; the failures."""
    failures = []
    site_dir = make_picture_site(os.path.join(work, "pictures"))
    port = host_check.free_port(host_check.server_address())
    # Not quiet: the host logs each request with its client's address and port.
    host = host_check.Host([serve, "--port", str(port), "--docs", site_dir + os.sep,
                            "--cgi", os.path.join(site_dir, "cgi-bin") + os.sep])
    browser = None
    idle = []
    try:
        if "http://" not in host.first_line:
            return ["picture host did not start: %r; %s" % (host.first_line, host.stop())]
        for first_bytes in (b"", b"GET /pictures.htm HTTP/1.1\r\nHost: x\r\n"):
            connection = socket.create_connection((host_check.server_address(), port), timeout=5)
            connection.sendall(first_bytes)
            idle.append(connection)
        browser = WebDriver(driver_port, os.path.join(work, "profile-pictures"))
        started = time.monotonic()
        browser.open("http://%s:%d/pictures.htm" % (host_check.server_address(), port))
        seconds = time.monotonic() - started
        loaded = browser.script("return Array.from(document.images).filter(i => i.naturalWidth > 0).length")
        if loaded != PICTURES:
            failures.append("pictures: %r of %d images loaded" % (loaded, PICTURES))
        # Far below the receive time-out an idle connection used to hold everyone for.
        if seconds > 20:
            failures.append("pictures: the page took %.1f s beside idle connections" % seconds)
    finally:
        if browser is not None:
            browser.close()
        for connection in idle:
            connection.close()
        host.stop()
        shutil.rmtree(os.path.join(work, "profile-pictures"), ignore_errors=True)
    # The browser keeps its connections: a handful carry the page and its
    # images (each answer closing its connection took 31).
    lines = [line.split(" ", 1) for line in host.output.splitlines() if " " in line]
    clients = {client for client, path in lines if path == "pictures.htm" or path.endswith(".gif")}
    served = sum(1 for _, path in lines if path.endswith(".gif"))
    if served < PICTURES or not 1 <= len(clients) <= 8:
        failures.append("pictures: %d images asked on %d connections (at most 8 expected)" % (served, len(clients)))
    return failures


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

        # A program's own header block: the browser follows its redirect and
        # keeps both cookies, and sends them to the next program.
        browser.open(site + "cgi-bin/login.cgi")
        landed = wait_for(browser, "return location.search == '?signed=in' ? location.pathname : null")
        if landed != "/cgi-bin/hello.cgi":
            failures.append("login.cgi: the browser did not follow the redirect (at %r)"
                            % browser.script("return location.href"))
        cookies = sorted((browser.script("return document.cookie") or "").split("; "))
        if cookies != ["sid=abc123", "theme=green"]:
            failures.append("login.cgi: the browser holds the cookies %r" % cookies)
        text = browser.script("return document.body.innerText")
        if "HTTP_COOKIE=sid=abc123; theme=green" not in text:
            failures.append("login.cgi: the cookies did not come back to the program: %r" % text[:600])

        check_modern_page(browser, site, failures)
        browser.close()
        browser = None
        failures += pictures_beside_idle_connections(serve, driver_port, work)
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
