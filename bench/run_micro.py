#!/usr/bin/env python3
"""Runs the micro-benchmarks and the client fetch beside curl; prints the
second table and appends it to OUT/results.md.

usage: run_micro.py TREE PROGRAMS OUT
"""
import json
import os
import signal
import socket
import statistics
import subprocess
import sys
import time

TREE, PROGRAMS, OUT = (os.path.abspath(a) for a in sys.argv[1:4])
PORT = 18085
FETCH_SIZE = 10 << 20
ROUNDS = 9


def google_benchmark(program):
    run = subprocess.run([os.path.join(PROGRAMS, program), "--benchmark_format=json",
                          "--benchmark_repetitions=3", "--benchmark_report_aggregates_only=true"],
                         capture_output=True, text=True, check=True)
    return {b["run_name"]: b for b in json.loads(run.stdout)["benchmarks"] if b.get("aggregate_name") == "median"}


def seconds(b):
    """A benchmark's median wall time per iteration, in seconds."""
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
    return b["real_time"] * scale


def fetch_site():
    site = os.path.join(OUT, "fetch-site")
    os.makedirs(site, exist_ok=True)
    name = os.path.join(site, "ten.jpg")
    if not os.path.exists(name) or os.path.getsize(name) != FETCH_SIZE:
        with open(name, "wb") as f:
            f.write(os.urandom(FETCH_SIZE))
    conf = os.path.join(OUT, "lighttpd-fetch.conf")
    with open(conf, "w") as f:
        f.write(f'server.document-root = "{site}"\nserver.bind = "127.0.0.1"\nserver.port = {PORT}\n'
                f'mimetype.assign = (".jpg" => "image/jpeg")\n')
    return conf


def wait_port(port):
    for _ in range(200):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def curl_median(url):
    times = []
    for _ in range(ROUNDS):
        started = time.perf_counter()
        subprocess.run(["curl", "-s", "-o", "/dev/null", url], check=True)
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def main():
    lines = ["", "| micro-benchmark | median | throughput |", "|---|---:|---:|"]
    cipher = google_benchmark("micro_cipher")
    for name in ("LibraryEncode", "BotanXtea"):
        b = cipher[name]
        lines.append(f"| {name} (1 MB) | {b['real_time']:.3f} {b['time_unit']} | "
                     f"{(1 << 20) / seconds(b) / 1e6:.0f} MB/s |")
    ratio = seconds(cipher["BotanXtea"]) / seconds(cipher["LibraryEncode"])
    lines.append(f"| TEA_Encode ÷ Botan XTEA | | {ratio:.2f} × |")
    request = google_benchmark("micro_request")
    for name in ("ReadRequest", "MapUrl"):
        b = request[name]
        lines.append(f"| {name} (per request) | {b['real_time']:.0f} {b['time_unit']} | |")

    conf = fetch_site()
    server = subprocess.Popen(["/usr/sbin/lighttpd", "-D", "-f", conf])
    try:
        if not wait_port(PORT):
            sys.exit("run_micro: lighttpd did not start")
        url = f"http://127.0.0.1:{PORT}/ten.jpg"
        fetch = subprocess.run([os.path.join(PROGRAMS, "fetch_timer"), url, str(ROUNDS)],
                               capture_output=True, text=True, check=True).stdout.split()
        got, library = int(fetch[0]), float(fetch[1])
        curl = curl_median(url)
    finally:
        server.send_signal(signal.SIGTERM)
        server.wait()
    lines.append(f"| WEBResponse, 10 MB ({got} bytes) | {library * 1000:.1f} ms | "
                 f"{FETCH_SIZE / library / 1e6:.0f} MB/s |")
    lines.append(f"| curl -s -o /dev/null, 10 MB | {curl * 1000:.1f} ms | {FETCH_SIZE / curl / 1e6:.0f} MB/s |")
    lines.append(f"| WEBResponse speed ÷ curl's | | {curl / library:.2f} × |")
    text = "\n".join(lines) + "\n"
    with open(os.path.join(OUT, "results.md"), "a") as f:
        f.write(text)
    print(text)


if __name__ == "__main__":
    main()
