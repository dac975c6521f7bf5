#!/usr/bin/env python3
"""Runs the server scenarios interleaved (A B C ..., five rounds unless --rounds says), takes
medians, and prints the table (also written to OUT/results.md).

usage: run_bench.py TREE PROGRAMS OUT [--rounds N] [--quick]
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
SITE = os.path.join(OUT, "site")
LOGS = os.path.join(OUT, "logs")
BIG_SIZE = 1 << 30
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
    big = os.path.join(SITE, "big.jpg")
    if not os.path.exists(big) or os.path.getsize(big) != BIG_SIZE:
        block = os.urandom(1 << 20)
        with open(big, "wb") as f:  # real bytes, no holes
            for _ in range(BIG_SIZE >> 20):
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
    def spawn(name, argv):
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
    finally:
        stop_servers(procs)
    table = render(results)
    with open(os.path.join(OUT, "results.md"), "w") as f:
        f.write(table)
    print()
    print(table)


def render(results):
    def med(key, server, field):
        return median([r[field] for r in results.get((key, server), [])])
    lines = [f"Run of {datetime.datetime.now(datetime.timezone.utc).strftime('%Y-%m-%d %H:%M UTC')}, "
             f"{ROUNDS} rounds interleaved, medians; `ab` without keep-alive on 127.0.0.1.", ""]
    lines.append("| scenario | server | requests/s | mean ms | p99 ms | failed | peak RSS MB "
                 "| req/s × ceiling | req/s × best peer | mean × ceiling | mean × best peer |")
    lines.append("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for key, title, _, _, _, ceiling in SCENARIOS:
        if ceiling is None:
            continue
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
    lines += ["", "| scenario | server | time s | peak RSS MB | above idle MB | × lighttpd's time |",
              "|---|---|---:|---:|---:|---:|"]
    for key, title, _, _, _, ceiling in SCENARIOS:
        if ceiling is not None:
            continue
        base = med(key, "lighttpd", "time")
        for server in SERVERS:
            t = med(key, server, "time")
            lines.append(f"| ({key}) {title} | {server} | {t:.2f} | {med(key, server, 'peak') / 1024:.1f} | "
                         f"{med(key, server, 'above') / 1024:.1f} | {t / base if base else 0:.2f} |")
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    main()
