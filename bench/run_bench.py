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
"""
import datetime
import os
import re
import signal
import socket
import statistics
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
PORTS = {"quorvex": 18080, "lighttpd": 18081, "civetweb": 18082,
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
if ONLY is not None:
    SCENARIOS = [sc for sc in SCENARIOS if sc[0] in ONLY]
    CROWD_SCENARIOS = [sc for sc in CROWD_SCENARIOS if sc[0] in ONLY]


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
    keys = {sc[0] for sc in SCENARIOS} | {sc[0] for sc in CROWD_SCENARIOS}
    for name, size, used_by in (("big.jpg", BIG_SIZE, "e"), ("medium.jpg", MEDIUM_SIZE, "fg")):
        if not keys & set(used_by):
            continue
        path = os.path.join(SITE, name)
        if not os.path.exists(path) or os.path.getsize(path) != size:
            block = os.urandom(1 << 20)
            with open(path, "wb") as f:  # real bytes, no holes
                for _ in range(size >> 20):
                    f.write(block)


def write_configs():
    lighttpd = os.path.join(OUT, "lighttpd.conf")
    with open(lighttpd, "w") as f:
        f.write(f'''server.document-root = "{SITE}"
server.bind = "127.0.0.1"
server.port = {PORTS["lighttpd"]}
server.modules = ("mod_cgi")
server.errorlog = "{LOGS}/lighttpd-error.log"
server.max-keep-alive-requests = 0
server.max-connections = 1024
cgi.assign = (".cgi" => "")
mimetype.assign = (".html" => "text/html", ".jpg" => "image/jpeg")
index-file.names = ("page.html")
''')
    return lighttpd


def wait_port(port, timeout=10.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def start_servers(lighttpd_conf):
    procs = {}
    # Only the servers the chosen scenarios use.
    wanted = set(CROWD_SERVERS if CROWD_SCENARIOS else [])
    for scenario in SCENARIOS:
        wanted.update(SERVERS + ([scenario[5]] if scenario[5] else []))
    def spawn(name, argv):
        if name not in wanted:
            return
        log = open(os.path.join(LOGS, name + ".log"), "w")
        procs[name] = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT, cwd=OUT)
    spawn("quorvex", [os.path.join(TREE, "quorvex-serve"), "--port", str(PORTS["quorvex"]),
                      "--docs", SITE, "--cgi", SITE, "--quiet"])
    spawn("lighttpd", ["/usr/sbin/lighttpd", "-D", "-f", lighttpd_conf])
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


def median(values):
    return statistics.median(values) if values else 0.0


def main():
    write_site()
    conf = write_configs()
    procs = start_servers(conf)
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
    finally:
        stop_servers(procs)
    table = render(results)
    with open(os.path.join(OUT, "results.md"), "w") as f:
        f.write(table)
    print()
    print(table)


def render(results):
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
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    main()
