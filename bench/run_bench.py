#!/usr/bin/env python3
"""Runs the server scenarios interleaved (A B C ..., five rounds unless --rounds says), takes
medians, and prints the table (also written to OUT/results.md).

usage: run_bench.py TREE PROGRAMS OUT [--rounds N] [--quick] [--only KEYS]

Two scenarios attach other connections while they measure, and are run against
quorvex and lighttpd only (civetweb here has one worker thread, which an idle
connection holds):
  (f) the 1 KB page, 1 client, while 400 idle connections and 4 stalled
      downloads of a 100 MB file are attached: the median latency beside the
      same client's with nothing attached (the (a) case), and the requests
      that took over 50 ms (one Python client times each request, so the
      medians have sub-millisecond resolution, which ab's have not);
  (g) 500 clients each downloading the 100 MB file slowly: resident memory
      above idle while they are all attached.

One runs against quorvex and a lighttpd of its own with keep-alive on (its
default; the lighttpd of the other scenarios has it off):
  (h) the 1 KB page from clients that keep their connections: wrk with 1 and
      with 32 connections for a fixed time (requests/s), a Python
      requests.Session making 1,000 GETs one after another (timed whole), and
      h2load --h1 with 32 connections where it is installed.

One more runs against quorvex, lighttpd and civetweb:
  (j) for 10 s, 100 clients a second each ask for an 8 MB file, read its first
      64 KB and reset the connection (a cancelled download, a seek in a
      video), while one client fetches the 1 KB page in a loop, one request
      per connection: its failed requests (not 200, reset, or no answer within
      5 s) and its median time beside the same client's with nothing else
      attached (the (a) case, timed the same way).
"""
import datetime
import errno
import multiprocessing
import os
import re
import selectors
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import time

TREE, PROGRAMS, OUT = (os.path.abspath(a) for a in sys.argv[1:4])
ROUNDS = 5
QUICK = "--quick" in sys.argv
if "--rounds" in sys.argv:
    ROUNDS = int(sys.argv[sys.argv.index("--rounds") + 1])
ONLY = None
if "--only" in sys.argv:
    ONLY = set(sys.argv[sys.argv.index("--only") + 1])
SITE = os.path.join(OUT, "site")
LOGS = os.path.join(OUT, "logs")
BIG_SIZE = 1 << 30
MEDIUM_SIZE = 100 << 20
# Larger than a loopback connection's send buffer can grow (net.ipv4.tcp_wmem, 4 MB by
# default), so that the server is still sending when the client resets.
DOWNLOAD_SIZE = 8 << 20
PORTS = {"quorvex": 18080, "lighttpd": 18081, "civetweb": 18082, "lighttpd-keepalive": 18083,
         "ceiling-page": 18090, "ceiling-100k": 18091, "ceiling-cgi": 18092}

# name, url path, concurrency, requests, ceiling server
SCENARIOS = [
    ("a", "1 KB page, 1 client", "/page.html", 1, 5000, "ceiling-page"),
    ("b", "1 KB page, 32 clients", "/page.html", 32, 10000, "ceiling-page"),
    ("c", "100 KB file, 1 client", "/file100k.jpg", 1, 2000, "ceiling-100k"),
    ("d", "CGI program, 1 client", "/hello.cgi", 1, 500, "ceiling-cgi"),
    ("e", "1 GB file once", "/big.jpg", 1, 1, None),
]
if QUICK:
    SCENARIOS = [(k, t, p, c, max(1, n // 10), ce) for (k, t, p, c, n, ce) in SCENARIOS]
# Timed whole, like (e): the demo host runs 8 programs at once for it.
SCENARIOS.append(("i", "1-s CGI program, 8 clients at once", "/sleep1.cgi", 8, 8, None))
PEERS = ["lighttpd", "civetweb"]
SERVERS = ["quorvex"] + PEERS

# key, title, and the numbers that shape them
CROWD_SCENARIOS = [
    ("f", "1 KB page, 1 client, 400 idle + 4 stalled downloads attached",
     {"idle": 400, "stalled": 4, "requests": 100 if QUICK else 1000, "limit_s": 60}),
    ("g", "500 slow downloads of 100 MB",
     {"clients": 500, "seconds": 4 if QUICK else 10, "read_bytes": 16384, "every_s": 0.25}),
]
CROWD_SERVERS = ["quorvex", "lighttpd"]
SLOW_MS = 50

# Downloads cancelled after their first bytes, beside one client fetching the page.
ABORT_SCENARIOS = [
    ("j", "aborted downloads beside a normal client",
     {"seconds": 10, "rate": 100, "path": "/download.jpg", "read_bytes": 65536,
      "quiet_requests": 2000, "timeout_s": 5.0}),
]
ABORT_SERVERS = SERVERS

# Clients that keep their connections, against lighttpd with keep-alive on.
# key, title, client, its numbers
KEEP_SCENARIOS = [
    ("h", "1 KB page, keep-alive, wrk -c1", "wrk", {"connections": 1, "threads": 1, "seconds": 5}),
    ("h", "1 KB page, keep-alive, wrk -c32", "wrk", {"connections": 32, "threads": 2, "seconds": 5}),
    ("h", "1 KB page, keep-alive, requests.Session 1,000 GETs", "session", {"requests": 1000}),
]
if shutil.which("h2load"):
    KEEP_SCENARIOS.append(("h", "1 KB page, keep-alive, h2load --h1 -c32", "h2load",
                           {"connections": 32, "threads": 2, "requests": 20000}))
if QUICK:
    KEEP_SCENARIOS = [(k, t, c, {n: max(1, v // 5) if n in ("seconds", "requests") else v
                                 for n, v in shape.items()}) for (k, t, c, shape) in KEEP_SCENARIOS]
# The name in the tables, and the process measured.
KEEP_SERVERS = [("quorvex", "quorvex"), ("lighttpd", "lighttpd-keepalive")]
ABORT_GOAL = 1.5  # the client's median beside the aborts, at most this × its quiet median
if ONLY is not None:
    SCENARIOS = [sc for sc in SCENARIOS if sc[0] in ONLY]
    CROWD_SCENARIOS = [sc for sc in CROWD_SCENARIOS if sc[0] in ONLY]
    ABORT_SCENARIOS = [sc for sc in ABORT_SCENARIOS if sc[0] in ONLY]
    KEEP_SCENARIOS = [sc for sc in KEEP_SCENARIOS if sc[0] in ONLY]


def write_site():
    os.makedirs(SITE, exist_ok=True)
    os.makedirs(LOGS, exist_ok=True)
    page = ("<html><body>" + "x" * (1024 - 26) + "</body></html>")[:1024]
    with open(os.path.join(SITE, "page.html"), "w") as f:
        f.write(page)
    with open(os.path.join(SITE, "file100k.jpg"), "wb") as f:
        f.write(bytes((i * 7) & 0xff for i in range(100 * 1024)))
    cgi = os.path.join(SITE, "hello.cgi")
    with open(cgi, "w") as f:
        f.write("#!/bin/sh\nprintf 'Content-Type: text/html\\r\\n\\r\\n<html><body>hello</body></html>\\n'\n")
    os.chmod(cgi, 0o755)
    sleeper = os.path.join(SITE, "sleep1.cgi")
    with open(sleeper, "w") as f:
        f.write("#!/bin/sh\nsleep 1\nprintf 'Content-Type: text/html\\r\\n\\r\\n<html><body>slept</body></html>\\n'\n")
    os.chmod(sleeper, 0o755)
    keys = {sc[0] for sc in SCENARIOS + CROWD_SCENARIOS + ABORT_SCENARIOS}
    for name, size, used_by in (("big.jpg", BIG_SIZE, "e"), ("medium.jpg", MEDIUM_SIZE, "fg"),
                                ("download.jpg", DOWNLOAD_SIZE, "j")):
        if not keys & set(used_by):
            continue
        path = os.path.join(SITE, name)
        if not os.path.exists(path) or os.path.getsize(path) != size:
            block = os.urandom(1 << 20)
            with open(path, "wb") as f:  # real bytes, no holes
                for _ in range(size >> 20):
                    f.write(block)


def write_configs():
    """The lighttpd configurations: keep-alive off (one connection per
    request, as the clients of most scenarios use), and on (its default)."""
    def write(name, port, keep_alive):
        path = os.path.join(OUT, name + ".conf")
        with open(path, "w") as f:
            f.write(f'''server.document-root = "{SITE}"
server.bind = "127.0.0.1"
server.port = {port}
server.modules = ("mod_cgi")
server.errorlog = "{LOGS}/{name}-error.log"
{"" if keep_alive else "server.max-keep-alive-requests = 0"}
server.max-connections = 1024
cgi.assign = (".cgi" => "")
mimetype.assign = (".html" => "text/html", ".jpg" => "image/jpeg")
index-file.names = ("page.html")
''')
        return path
    return {"lighttpd": write("lighttpd", PORTS["lighttpd"], False),
            "lighttpd-keepalive": write("lighttpd-keepalive", PORTS["lighttpd-keepalive"], True)}


def wait_port(port, timeout=10.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def start_servers(confs):
    procs = {}
    # Only the servers the chosen scenarios use.
    wanted = set(CROWD_SERVERS if CROWD_SCENARIOS else [])
    wanted.update(ABORT_SERVERS if ABORT_SCENARIOS else [])
    wanted.update(process for _, process in KEEP_SERVERS if KEEP_SCENARIOS)
    for scenario in SCENARIOS:
        wanted.update(SERVERS + ([scenario[5]] if scenario[5] else []))
    def spawn(name, argv):
        if name not in wanted:
            return
        log = open(os.path.join(LOGS, name + ".log"), "w")
        procs[name] = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT, cwd=OUT)
    spawn("quorvex", [os.path.join(TREE, "quorvex-serve"), "--port", str(PORTS["quorvex"]),
                      "--docs", SITE, "--cgi", SITE, "--programs", "8", "--quiet"])
    spawn("lighttpd", ["/usr/sbin/lighttpd", "-D", "-f", confs["lighttpd"]])
    spawn("lighttpd-keepalive", ["/usr/sbin/lighttpd", "-D", "-f", confs["lighttpd-keepalive"]])
    spawn("civetweb", ["/usr/bin/civetweb", "-listening_ports", f"127.0.0.1:{PORTS['civetweb']}",
                       "-document_root", SITE, "-num_threads", "1", "-cgi_pattern", "**.cgi$",
                       "-enable_keep_alive", "no", "-access_log_file", "", "-error_log_file",
                       os.path.join(LOGS, "civetweb-error.log")])
    ceiling = os.path.join(PROGRAMS, "ceiling")
    spawn("ceiling-page", [ceiling, str(PORTS["ceiling-page"]), "page"])
    spawn("ceiling-100k", [ceiling, str(PORTS["ceiling-100k"]), "file", os.path.join(SITE, "file100k.jpg")])
    spawn("ceiling-cgi", [ceiling, str(PORTS["ceiling-cgi"]), "cgi", os.path.join(SITE, "hello.cgi")])
    for name in procs:
        if not wait_port(PORTS[name]):
            stop_servers(procs)
            sys.exit(f"run_bench: {name} did not start (see {LOGS}/{name}.log)")
    return procs


def idle_memory(procs):
    """Each server's resident size after its start, before any scenario (the
    one probe connection of its start, which sent nothing, aside), and the
    part of it that is files mapped (the program and its shared libraries)."""
    time.sleep(0.5)
    return {name: {"rss": status_kb(p.pid, "VmRSS"), "file": status_kb(p.pid, "RssFile")}
            for name, p in procs.items()}


def stop_servers(procs):
    for p in procs.values():
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
    for p in procs.values():
        try:
            p.wait(timeout=5)
        except subprocess.TimeoutExpired:
            p.kill()


def status_kb(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def reset_peak(pid):
    try:
        with open(f"/proc/{pid}/clear_refs", "w") as f:
            f.write("5")  # the peak resident size starts again from now
    except OSError:
        pass


def run_ab(port, path, concurrency, count):
    argv = ["ab", "-q", "-r", "-s", "60", "-n", str(count), "-c", str(concurrency),
            f"http://127.0.0.1:{port}{path}"]
    started = time.time()
    run = subprocess.run(argv, capture_output=True, text=True)
    elapsed = time.time() - started
    text = run.stdout
    def number(pattern, default=0.0):
        m = re.search(pattern, text, re.M)
        return float(m.group(1)) if m else default
    result = {
        "rps": number(r"^Requests per second:\s+([\d.]+)"),
        "mean": number(r"^Time per request:\s+([\d.]+) \[ms\] \(mean\)$"),
        "p99": number(r"^\s+99%\s+(\d+)"),
        "failed": int(number(r"^Failed requests:\s+(\d+)")) + int(number(r"^Non-2xx responses:\s+(\d+)")),
        "complete": int(number(r"^Complete requests:\s+(\d+)")),
        "time": elapsed,
    }
    # Requests ab never completed (a reset it gave up on) count as failed too.
    result["failed"] += max(0, count - result["complete"])
    if run.returncode != 0 and result["complete"] == 0:
        result["failed"] = count
    return result


def measure(procs, server, scenario):
    key, _, path, conc, count, _ = scenario
    pid = procs[server].pid
    reset_peak(pid)
    idle = status_kb(pid, "VmRSS")
    result = run_ab(PORTS[server], path, conc, count)
    result["peak"] = status_kb(pid, "VmHWM")
    result["above"] = max(0, result["peak"] - idle)
    return result


def attach(port, count, request=None, receive_buffer=None):
    """Connections to the server: silent ones, or ones that send `request`."""
    conns = []
    for _ in range(count):
        c = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if receive_buffer:
            c.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        c.settimeout(10)
        try:
            c.connect(("127.0.0.1", port))
            if request:
                c.sendall(request)
        except OSError:
            c.close()
            continue
        c.setblocking(False)
        conns.append(c)
    return conns


def detach(conns):
    for c in conns:
        try:
            c.close()
        except OSError:
            pass


def fetch_times(port, path, count, limit_s):
    """Latencies (ms) of `count` requests one after another, each on a new
    connection, until `limit_s` has passed; a failed request counts as the limit."""
    times = []
    failed = 0
    request = f"GET {path} HTTP/1.0\r\n\r\n".encode()
    started = time.time()
    while len(times) < count and time.time() - started < limit_s:
        begun = time.perf_counter()
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=limit_s) as c:
                c.sendall(request)
                got = 0
                while True:
                    chunk = c.recv(65536)
                    if not chunk:
                        break
                    got += len(chunk)
            ok = got > 0
        except OSError:
            ok = False
        if not ok:
            failed += 1
        times.append((time.perf_counter() - begun) * 1000.0)
    return times, failed + (count - len(times))


def measure_crowd(procs, server, key, shape):
    pid = procs[server].pid
    port = PORTS[server]
    reset_peak(pid)
    idle_kb = status_kb(pid, "VmRSS")
    result = {"rps": 0.0, "mean": 0.0, "slow": 0, "failed": 0, "time": 0.0, "attached": 0}
    request = b"GET /medium.jpg HTTP/1.0\r\n\r\n"
    if key == "f":
        # The same client first with nothing attached (the (a) case), then with the crowd.
        quiet, _ = fetch_times(port, "/page.html", shape["requests"], shape["limit_s"])
        idle = attach(port, shape["idle"])
        stalled = attach(port, shape["stalled"], request, receive_buffer=4096)
        result["attached"] = len(idle) + len(stalled)
        time.sleep(0.5)  # the downloads fill their sockets and stall
        started = time.time()
        try:
            times, failed = fetch_times(port, "/page.html", shape["requests"], shape["limit_s"])
        finally:
            detach(idle + stalled)
        result["time"] = time.time() - started
        result["quiet"] = median(quiet)
        result["median"] = median(times)
        result["slow"] = sum(1 for t in times if t > SLOW_MS) + (shape["requests"] - len(times))
        result["failed"] = failed
    else:
        clients = attach(port, shape["clients"], request)
        result["attached"] = len(clients)
        received = 0
        started = time.time()
        try:
            # Each client takes a little now and then: the server holds the rest for it.
            while time.time() - started < shape["seconds"]:
                for c in clients:
                    try:
                        chunk = c.recv(shape["read_bytes"])
                        received += len(chunk)
                    except OSError:  # nothing yet, or the server gave up on it
                        pass
                time.sleep(shape["every_s"])
            result["current"] = status_kb(pid, "VmRSS")
        finally:
            detach(clients)
        result["time"] = time.time() - started
        result["received_mb"] = received / (1 << 20)
    result["peak"] = status_kb(pid, "VmHWM")
    result["above"] = max(0, result["peak"] - idle_kb)
    return result


def reset_close(sock):
    """Closes with a reset rather than a FIN: linger on, time 0."""
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    except OSError:
        pass
    sock.close()


def abort_downloads(port, shape, ready, report):
    """Child process: starts shape["rate"] downloads a second for shape["seconds"],
    each reading its first shape["read_bytes"] and then resetting the connection.
    Sends back how many did so, how many the server refused or cut short, and
    how many got no bytes within the time-out."""
    want = shape["read_bytes"]
    request = f"GET {shape['path']} HTTP/1.0\r\n\r\n".encode()
    total = int(shape["rate"] * shape["seconds"])
    stats = {"started": 0, "aborted": 0, "refused": 0, "cut": 0, "not_200": 0, "stuck": 0}
    sel = selectors.DefaultSelector()
    live = {}  # socket -> [request sent, bytes read, first bytes, deadline]
    ready.set()
    begun = time.monotonic()
    opened = 0

    def finish(sock, outcome):
        sel.unregister(sock)
        del live[sock]
        stats[outcome] += 1
        reset_close(sock)

    while opened < total or live:
        now = time.monotonic()
        while opened < total and begun + opened / shape["rate"] <= now:
            opened += 1
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.setblocking(False)
            if s.connect_ex(("127.0.0.1", port)) not in (0, errno.EINPROGRESS):
                stats["refused"] += 1
                s.close()
                continue
            stats["started"] += 1
            live[s] = [False, 0, b"", now + shape["timeout_s"]]
            sel.register(s, selectors.EVENT_WRITE)
        due = begun + opened / shape["rate"] if opened < total else now + 0.05
        for key, _ in sel.select(max(0.0, min(due - now, 0.05))):
            s = key.fileobj
            state = live[s]
            if not state[0]:
                if s.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR):
                    finish(s, "refused")
                    continue
                try:
                    s.send(request)  # a few bytes: they fit at once
                except OSError:
                    finish(s, "refused")
                    continue
                state[0] = True
                sel.modify(s, selectors.EVENT_READ)
                continue
            try:
                chunk = s.recv(min(65536, want - state[1]))
            except BlockingIOError:
                continue
            except OSError:
                finish(s, "cut")
                continue
            if not chunk:
                finish(s, "cut")
                continue
            if len(state[2]) < 16:
                state[2] += chunk[:16]
            state[1] += len(chunk)
            if state[1] >= want:
                finish(s, "aborted" if re.match(rb"HTTP/1\.[01] 200 ", state[2]) else "not_200")
        now = time.monotonic()
        for s in [s for s, state in live.items() if state[3] < now]:
            finish(s, "stuck")
    report.send(stats)


def fetch_page(port, path, timeout_s):
    """One request on a new connection, read to the close. Returns (ok, ms): ok
    only for a 200 with at least the body its Content-Length says (quorvex ends
    a whole file with a blank line after it, which is not counted against it)."""
    request = f"GET {path} HTTP/1.0\r\n\r\n".encode()
    begun = time.perf_counter()
    data = b""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout_s) as c:
            c.sendall(request)
            while True:
                chunk = c.recv(65536)
                if not chunk:
                    break
                data += chunk
                if time.perf_counter() - begun > timeout_s:
                    raise TimeoutError
        ok = re.match(rb"HTTP/1\.[01] 200 ", data) is not None
        head, sep, body = data.partition(b"\r\n\r\n")
        length = re.search(rb"(?im)^content-length:\s*(\d+)\s*$", head)
        if not sep or (length and len(body) < int(length.group(1))):
            ok = False
    except OSError:  # refused, reset, or the time-out
        ok = False
    return ok, (time.perf_counter() - begun) * 1000.0


def open_sockets(pid):
    """The process's socket descriptors (its listener included)."""
    count = 0
    try:
        for fd in os.listdir(f"/proc/{pid}/fd"):
            try:
                count += os.readlink(f"/proc/{pid}/fd/{fd}").startswith("socket:")
            except OSError:
                pass
    except OSError:
        pass
    return count


def measure_aborts(procs, server, shape):
    pid = procs[server].pid
    port = PORTS[server]
    reset_peak(pid)
    before = open_sockets(pid)
    # The same client first with nothing else attached: the (a) case, timed the same way.
    quiet = []
    quiet_failed = 0
    for _ in range(shape["quiet_requests"]):
        ok, ms = fetch_page(port, "/page.html", shape["timeout_s"])
        if ok:
            quiet.append(ms)
        else:
            quiet_failed += 1
    context = multiprocessing.get_context("fork")
    ready = context.Event()
    theirs, ours = context.Pipe(duplex=False)
    aborter = context.Process(target=abort_downloads, args=(port, shape, ready, ours), daemon=True)
    aborter.start()
    ready.wait(10)
    times = []
    failed = 0
    started = time.time()
    try:
        while time.time() - started < shape["seconds"]:
            ok, ms = fetch_page(port, "/page.html", shape["timeout_s"])
            if ok:
                times.append(ms)
            else:
                failed += 1
        downloads = theirs.recv() if theirs.poll(shape["timeout_s"] + 10) else {}
    finally:
        aborter.join(5)
        if aborter.is_alive():
            aborter.kill()
    # A reset download should leave nothing behind in the server for long.
    time.sleep(0.5)
    left = open_sockets(pid) - before
    return {"quiet": median(quiet), "quiet_failed": quiet_failed, "median": median(times),
            "requests": len(times) + failed, "failed": failed, "time": time.time() - started,
            "downloads": downloads, "aborted": downloads.get("aborted", 0),
            "started": downloads.get("started", 0), "left": left,
            "peak": status_kb(pid, "VmHWM")}


def run_wrk(port, shape):
    argv = ["wrk", "-t", str(shape["threads"]), "-c", str(shape["connections"]), "-d", f"{shape['seconds']}s",
            f"http://127.0.0.1:{port}/page.html"]
    run = subprocess.run(argv, capture_output=True, text=True)
    text = run.stdout
    def number(pattern):
        m = re.search(pattern, text, re.M)
        return float(m.group(1)) if m else 0.0
    errors = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)", text)
    failed = sum(int(n) for n in errors.groups()) if errors else 0
    failed += int(number(r"Non-2xx or 3xx responses:\s+(\d+)"))
    return {"rps": number(r"^Requests/sec:\s+([\d.]+)"), "failed": failed if run.returncode == 0 else -1,
            "requests": int(number(r"^\s+(\d+) requests in"))}


def run_h2load(port, shape):
    argv = ["h2load", "--h1", "-t", str(shape["threads"]), "-c", str(shape["connections"]),
            "-n", str(shape["requests"]), f"http://127.0.0.1:{port}/page.html"]
    run = subprocess.run(argv, capture_output=True, text=True)
    m = re.search(r"finished in [\d.]+\w+, ([\d.]+) req/s", run.stdout)
    done = re.search(r"requests: \d+ total, \d+ started, (\d+) done, (\d+) succeeded, (\d+) failed, (\d+) errored",
                     run.stdout)
    failed = int(done.group(3)) + int(done.group(4)) if done else -1
    return {"rps": float(m.group(1)) if m else 0.0, "failed": failed, "requests": int(done.group(1)) if done else 0}


def run_session(port, shape):
    """One requests.Session making the GETs one after another on its connection,
    in a process of its own; each answer must be the whole page."""
    script = f'''
import requests, sys, time
url = "http://127.0.0.1:{port}/page.html"
failed = 0
with requests.Session() as s:
    begun = time.perf_counter()
    for _ in range({shape["requests"]}):
        r = s.get(url)
        if r.status_code != 200 or len(r.content) != 1024:
            failed += 1
    print(time.perf_counter() - begun, failed)
'''
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    try:
        seconds, failed = run.stdout.split()
        seconds, failed = float(seconds), int(failed)
    except ValueError:
        return {"rps": 0.0, "time": 0.0, "failed": -1, "requests": 0}
    return {"rps": shape["requests"] / seconds, "time": seconds, "failed": failed, "requests": shape["requests"]}


KEEP_CLIENTS = {"wrk": run_wrk, "h2load": run_h2load, "session": run_session}


def measure_keep(procs, process, client, shape):
    pid = procs[process].pid
    reset_peak(pid)
    result = KEEP_CLIENTS[client](PORTS[process], shape)
    result["peak"] = status_kb(pid, "VmHWM")
    return result


def median(values):
    return statistics.median(values) if values else 0.0


def main():
    write_site()
    confs = write_configs()
    procs = start_servers(confs)
    idle = idle_memory(procs)
    for name, m in idle.items():
        print(f"idle {name}: {m['rss'] / 1024:.1f} MB resident, of it {m['file'] / 1024:.1f} MB mapped files", flush=True)
    results = {}  # (scenario key, server) -> list of results
    try:
        for rnd in range(ROUNDS):
            for scenario in SCENARIOS:
                servers = SERVERS + ([scenario[5]] if scenario[5] else [])
                for server in servers:
                    r = measure(procs, server, scenario)
                    results.setdefault((scenario[0], server), []).append(r)
                    print(f"round {rnd + 1} ({scenario[0]}) {server}: {r['rps']:.0f} req/s, "
                          f"mean {r['mean']:.3f} ms, p99 {r['p99']:.0f} ms, failed {r['failed']}, "
                          f"{r['time']:.2f} s, peak {r['peak'] / 1024:.1f} MB", flush=True)
            for key, _, shape in CROWD_SCENARIOS:
                for server in CROWD_SERVERS:
                    r = measure_crowd(procs, server, key, shape)
                    results.setdefault((key, server), []).append(r)
                    if key == "f":
                        what = (f"median {r['median']:.3f} ms (quiet {r['quiet']:.3f} ms), "
                                f"over {SLOW_MS} ms {r['slow']}, failed {r['failed']}")
                    else:
                        what = f"received {r['received_mb']:.0f} MB in all"
                    print(f"round {rnd + 1} ({key}) {server}: {r['attached']} attached, {what}, {r['time']:.2f} s, "
                          f"peak {r['peak'] / 1024:.1f} MB, above idle {r['above'] / 1024:.1f} MB", flush=True)
            for key, title, client, shape in KEEP_SCENARIOS:
                for server, process in KEEP_SERVERS:
                    r = measure_keep(procs, process, client, shape)
                    results.setdefault((title, server), []).append(r)
                    print(f"round {rnd + 1} ({key}) {title}, {server}: {r['rps']:.0f} req/s, "
                          f"{r['requests']} requests, failed {r['failed']}, peak {r['peak'] / 1024:.1f} MB", flush=True)
            for key, _, shape in ABORT_SCENARIOS:
                for server in ABORT_SERVERS:
                    r = measure_aborts(procs, server, shape)
                    results.setdefault((key, server), []).append(r)
                    d = r["downloads"]
                    print(f"round {rnd + 1} ({key}) {server}: {r['requests']} requests, failed {r['failed']}, "
                          f"median {r['median']:.3f} ms (quiet {r['quiet']:.3f} ms, failed {r['quiet_failed']}); "
                          f"downloads {d.get('started', 0)} started, {d.get('aborted', 0)} reset after "
                          f"{shape['read_bytes'] // 1024} KB, refused {d.get('refused', 0)}, cut {d.get('cut', 0)}, "
                          f"not 200 {d.get('not_200', 0)}, stuck {d.get('stuck', 0)}; "
                          f"sockets left after 0.5 s {r['left']}; peak {r['peak'] / 1024:.1f} MB", flush=True)
    finally:
        stop_servers(procs)
    table = render(results, idle)
    with open(os.path.join(OUT, "results.md"), "w") as f:
        f.write(table)
    print()
    print(table)


def render(results, idle):
    def med(key, server, field):
        return median([r.get(field, 0) for r in results.get((key, server), [])])
    lines = [f"Run of {datetime.datetime.now(datetime.timezone.utc).strftime('%Y-%m-%d %H:%M UTC')}, "
             f"{ROUNDS} rounds interleaved, medians; one connection per request on 127.0.0.1 "
             "(`ab` without keep-alive unless said otherwise)."]
    ranked = [sc for sc in SCENARIOS if sc[5]]
    once = [sc for sc in SCENARIOS if not sc[5]]
    if ranked:
        lines += ["", "| scenario | server | requests/s | mean ms | p99 ms | failed | peak RSS MB "
                  "| req/s × ceiling | req/s × best peer | mean × ceiling | mean × best peer |",
                  "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for key, title, _, _, _, ceiling in ranked:
        best_peer = max(med(key, p, "rps") for p in PEERS)
        best_mean = min(med(key, p, "mean") for p in PEERS)
        ceil_rps = med(key, ceiling, "rps")
        ceil_mean = med(key, ceiling, "mean")
        ratio = lambda a, b: f"{a / b:.2f}" if b else "—"
        for server in SERVERS + [ceiling]:
            rps = med(key, server, "rps")
            mean = med(key, server, "mean")
            lines.append(f"| ({key}) {title} | {server} | {rps:.0f} | {mean:.3f} | "
                         f"{med(key, server, 'p99'):.0f} | {int(med(key, server, 'failed'))} | "
                         f"{med(key, server, 'peak') / 1024:.1f} | {ratio(rps, ceil_rps)} | {ratio(rps, best_peer)} | "
                         f"{ratio(mean, ceil_mean)} | {ratio(mean, best_mean)} |")
    if once:
        lines += ["", "| scenario | server | time s | peak RSS MB | above idle MB | × lighttpd's time |",
                  "|---|---|---:|---:|---:|---:|"]
    for key, title, _, _, _, _ in once:
        base = med(key, "lighttpd", "time")
        for server in SERVERS:
            t = med(key, server, "time")
            lines.append(f"| ({key}) {title} | {server} | {t:.2f} | {med(key, server, 'peak') / 1024:.1f} | "
                         f"{med(key, server, 'above') / 1024:.1f} | {t / base if base else 0:.2f} |")
    crowd = {key: title for key, title, _ in CROWD_SCENARIOS}
    if "f" in crowd:
        lines += ["", f"| scenario | server | median ms | quiet median ms | × quiet | requests over {SLOW_MS} ms "
                  "| failed | peak RSS MB |", "|---|---|---:|---:|---:|---:|---:|---:|"]
        for server in CROWD_SERVERS:
            loaded, quiet = med("f", server, "median"), med("f", server, "quiet")
            ratio = f"{loaded / quiet:.2f}" if quiet else "—"
            lines.append(f"| (f) {crowd['f']} | {server} | {loaded:.3f} | {quiet:.3f} | {ratio} | "
                         f"{int(med('f', server, 'slow'))} | {int(med('f', server, 'failed'))} | "
                         f"{med('f', server, 'peak') / 1024:.1f} |")
    if "g" in crowd:
        lines += ["", "| scenario | server | received MB in all | peak RSS MB | above idle MB |",
                  "|---|---|---:|---:|---:|"]
        for server in CROWD_SERVERS:
            lines.append(f"| (g) {crowd['g']} | {server} | {med('g', server, 'received_mb'):.0f} | "
                         f"{med('g', server, 'peak') / 1024:.1f} | {med('g', server, 'above') / 1024:.1f} |")
    if KEEP_SCENARIOS:
        lines += ["", "| scenario | server | requests/s | failed | peak RSS MB | × lighttpd |",
                  "|---|---|---:|---:|---:|---:|"]
    for key, title, _, _ in KEEP_SCENARIOS:
        base = med(title, "lighttpd", "rps")
        for server, _ in KEEP_SERVERS:
            rps = med(title, server, "rps")
            # Failed requests are summed over the rounds (-1 in a round: the client itself failed).
            failed = sum(r["failed"] for r in results.get((title, server), []))
            lines.append(f"| ({key}) {title} | {server} | {rps:.0f} | {failed} | "
                         f"{med(title, server, 'peak') / 1024:.1f} | {rps / base if base else 0:.2f} |")
    if KEEP_SCENARIOS:
        lines += ["", "(h): lighttpd with keep-alive on (its defaults); wrk for a fixed time, "
                  "the requests.Session timed whole; failed is summed over the rounds."]
    lines += ["", "| server | idle RSS MB | of it mapped files MB |", "|---|---:|---:|"]
    for name, m in idle.items():
        lines.append(f"| {name} | {m['rss'] / 1024:.1f} | {m['file'] / 1024:.1f} |")
    for key, title, shape in ABORT_SCENARIOS:
        # Failed requests are summed over the rounds: the goal is none at all.
        lines += ["", "| scenario | server | requests | failed | median ms | own (a) median ms | × own (a) "
                  "| downloads reset after 64 KB | sockets left | peak RSS MB | goal met |",
                  "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---|"]
        for server in ABORT_SERVERS:
            runs = results.get((key, server), [])
            loaded, quiet = med(key, server, "median"), med(key, server, "quiet")
            failed = sum(r["failed"] for r in runs)
            ratio = loaded / quiet if quiet else 0.0
            met = "yes" if runs and failed == 0 and quiet and ratio <= ABORT_GOAL else "no"
            lines.append(f"| ({key}) {title} | {server} | {sum(r['requests'] for r in runs)} | {failed} | "
                         f"{loaded:.3f} | {quiet:.3f} | {f'{ratio:.2f}' if quiet else '—'} | "
                         f"{med(key, server, 'aborted'):.0f} of {med(key, server, 'started'):.0f} | "
                         f"{max((r['left'] for r in runs), default=0)} | "
                         f"{med(key, server, 'peak') / 1024:.1f} | {met} |")
        lines += ["", f"({key}): {shape['rate']} downloads a second for {shape['seconds']} s, each reset after its "
                  f"first {shape['read_bytes'] // 1024} KB; own (a) is the same client's median with nothing else "
                  f"attached, just before; sockets left is the most the server still held, over what it held "
                  f"before, half a second after the last reset. Goal: no failed request, median ≤ {ABORT_GOAL} × own (a)."]
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    main()
