#!/usr/bin/env python3
"""quorvex-serve.exe under Wine, reached from Linux by a real curl.

Usage: windows_demo_host_test.py WINE_RUNNER QUORVEX_SERVE_EXE

Serves a small site of its own (a page, a batch CGI program) and checks a
page, a program's answer and a missing page; then Ctrl-C (SIGINT) stops the
host with exit status 0. A busy port and a port out of range end a second
host at once with one line and exit status 1.
"""
import os
import signal
import socket
import subprocess
import sys
import tempfile

from host_output import first_line

RUNNER, EXE = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def windows_name(path):
    """Wine shows the Linux root as drive Z:."""
    return "Z:" + path.replace("/", "\\")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def ipv6_loopback():
    """True where this machine can listen on ::1."""
    try:
        with socket.socket(socket.AF_INET6) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


def start_host(*args):
    return subprocess.Popen([RUNNER, EXE, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def curl(url, *options):
    done = subprocess.run(["curl", "-s", "--max-time", "20", *options, url], capture_output=True)
    return done.stdout


def one_shot(*args):
    """A host that should refuse to start: its exit status and what it printed."""
    host = start_host(*args)
    try:
        out, err = host.communicate(timeout=60)
    except subprocess.TimeoutExpired:
        host.kill()
        out, err = host.communicate()
        return None, ""
    return host.returncode, (out + err).decode(errors="replace").strip()


with tempfile.TemporaryDirectory() as site:
    page = b"<html><body>served from Linux, read by Windows</body></html>\r\n"
    with open(os.path.join(site, "index.htm"), "wb") as f:
        f.write(page)
    payload = bytes((i * 7) % 251 for i in range(200000))
    with open(os.path.join(site, "data.dat"), "wb") as f:
        f.write(payload)
    with open(os.path.join(site, "caf\u00e9.htm"), "wb") as f:
        f.write(b"accented")
    # "set NAME" prints the variable without cmd reading its value as commands.
    with open(os.path.join(site, "hello.bat"), "wb") as f:
        f.write(b"@echo off\r\necho batch says hello\r\nset QUERY_STRING\r\n")

    port = free_port()
    host = start_host("--port", str(port), "--docs", windows_name(site))
    banner = first_line(host.stdout, 60)
    check(f":{port}/" in banner, f"the host prints the URL it serves ({banner!r})")
    base = banner.split("http://", 1)[1].split()[0] if "http://" in banner else f"127.0.0.1:{port}/"
    base = "http://" + base

    check(curl(base + "index.htm") == page, "curl gets the page byte for byte")
    check(banner.split("http://", 1)[-1].startswith(f"localhost:{port}/"),
          f"http://localhost:{port}/ is the first address printed ({banner!r})")
    loopbacks = ["127.0.0.1"] + (["[::1]"] if ipv6_loopback() else [])
    for address in loopbacks:
        check(curl(f"http://{address}:{port}/index.htm") == page and f"http://{address}:{port}/" in banner,
              f"{address} is printed and answered")
    answer = curl(base + "hello.bat?name=quorvex")
    check(b"batch says hello" in answer and b"QUERY_STRING=name=quorvex" in answer,
          f"curl gets the batch program's answer with its query ({answer[:120]!r})")
    check(curl(base + "missing.htm", "-o", "/dev/null", "-w", "%{http_code}") == b"404",
          "curl sees a missing page as HTTP 404")
    # Three URLs in one curl: one connection, each answer exactly its length.
    many = subprocess.run(["curl", "-sS", "-v", "--http1.1", "--max-time", "20", base + "index.htm", base + "data.dat",
                           base + "index.htm"], capture_output=True)
    log = many.stderr.decode("latin-1")
    check(many.returncode == 0 and log.count("Re-using existing connection") == 2 and "Excess found" not in log
          and many.stdout == page + payload + page,
          "curl fetches three URLs over one kept connection, byte for byte")
    head = curl(base + "data.dat", "-I")
    check(head.startswith(b"HTTP/1.1 200 OK\r\n") and b"Content-Length: 200000\r\n" in head,
          f"curl -I sees the file's header ({head[:120]!r})")
    check(curl(base + "caf%C3%A9.htm") == b"accented", "a UTF-8 name is found on Windows")
    part = os.path.join(site, "part.bin")
    with open(part, "wb") as f:
        f.write(payload[:77777])
    resumed = subprocess.run(["curl", "-s", "--max-time", "20", "-C", "-", "-o", part, base + "data.dat"])
    with open(part, "rb") as f:
        check(resumed.returncode == 0 and f.read() == payload,
              f"curl -C - finishes a partial download (exit {resumed.returncode})")

    if ipv6_loopback():
        # --bind restricts the host to the address named.
        bound_port = free_port()
        bound = start_host("--port", str(bound_port), "--bind", "::1", "--docs", windows_name(site), "--quiet")
        bound_banner = first_line(bound.stdout, 60)
        check(curl(f"http://[::1]:{bound_port}/index.htm") == page
              and curl(f"http://127.0.0.1:{bound_port}/index.htm") == b""
              and f"http://[::1]:{bound_port}/" in bound_banner and "127.0.0.1" not in bound_banner,
              f"--bind ::1 serves [::1] alone ({bound_banner!r})")
        bound.send_signal(signal.SIGINT)
        try:
            bound.wait(timeout=30)
        except subprocess.TimeoutExpired:
            bound.kill()
            bound.wait()

    status, text = one_shot("--port", str(port), "--docs", windows_name(site), "--quiet")
    check(status == 1 and len(text.splitlines()) == 1 and "in use" in text,
          f"a second host on the busy port exits 1 with one line ({status}, {text!r})")

    host.send_signal(signal.SIGINT)
    try:
        status = host.wait(timeout=30)
    except subprocess.TimeoutExpired:
        host.kill()
        status = None
    check(status == 0, f"Ctrl-C stops the host with exit status 0 ({status})")

    status, text = one_shot("--port", "70000", "--docs", windows_name(site))
    check(status == 1 and len(text.splitlines()) == 1 and "out of range" in text,
          f"port 70000 exits 1 with one line ({status}, {text!r})")

sys.exit(1 if failures else 0)
