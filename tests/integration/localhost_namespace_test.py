#!/usr/bin/env python3
"""The demo host on an ordinary Debian-style machine, where this computer's
name is 127.0.1.1 in /etc/hosts: http://localhost:PORT/, 127.0.0.1 and [::1]
are answered, and the name's address still is. It runs in a user, mount and
network namespace of its own, with a hosts file of its own mounted over
/etc/hosts and loopback alone.

Usage: localhost_namespace_test.py PATH/TO/quorvex-serve PATH/TO/examples/site
Exits 77 (skipped) where such a namespace cannot be made.
"""
import os
import socket
import subprocess
import sys
import tempfile

from host_output import first_line

SKIPPED = 77
HOSTS = "127.0.0.1 localhost\n127.0.1.1 {name}\n::1 localhost ip6-localhost ip6-loopback\n"


def curl(url):
    """The body, or None when curl got no answer."""
    done = subprocess.run(["curl", "-s", "-g", "--noproxy", "*", "--max-time", "10", "-o", "-",
                           "-w", "\n%{http_code}", url], capture_output=True)
    body, _, status = done.stdout.rpartition(b"\n")
    return body if done.returncode == 0 and status == b"200" else None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def inside(serve, site):
    failures = []

    def check(condition, what):
        print(("ok   " if condition else "FAIL ") + what)
        if not condition:
            failures.append(what)

    page = open(os.path.join(site, "default.htm"), "rb").read()
    name_address = socket.getaddrinfo(socket.gethostname(), None, socket.AF_INET)[0][4][0]
    check(name_address == "127.0.1.1", f"this computer's name is 127.0.1.1 here ({name_address})")

    def run(args, served, refused):
        port = free_port()
        host = subprocess.Popen([serve, "--port", str(port), "--quiet", *args],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            banner = first_line(host.stdout, 20)
            urls = [word for word in banner.split() if word.startswith("http://")]
            expected = [f"http://{address}:{port}/" for address in served]
            check(urls == expected, f"{args or 'default'}: prints {expected} ({banner!r})")
            for address in served:
                check(curl(f"http://{address}:{port}/") == page, f"{args or 'default'}: {address} answered")
            for address in refused:
                check(curl(f"http://{address}:{port}/") is None, f"{args or 'default'}: {address} not answered")
        finally:
            host.terminate()
            try:
                host.wait(timeout=20)
            except subprocess.TimeoutExpired:
                host.kill()
                host.wait()

    run([], ["localhost", "127.0.1.1", "127.0.0.1", "[::1]"], ["127.0.0.2"])
    run(["--bind", "127.0.0.1"], ["localhost", "127.0.0.1"], ["127.0.1.1", "[::1]"])
    run(["--bind", "::1", "--bind", "127.0.1.1"], ["localhost", "[::1]", "127.0.1.1"], ["127.0.0.1"])
    return 1 if failures else 0


def main():
    if sys.argv[1] == "--inside":
        return inside(sys.argv[2], sys.argv[3])
    serve, site = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory() as work:
        hosts = os.path.join(work, "hosts")
        with open(hosts, "w") as f:
            f.write(HOSTS.format(name=socket.gethostname()))
        probe = subprocess.run(["unshare", "--user", "--map-root-user", "--mount", "--net", "true"],
                               capture_output=True)
        if probe.returncode != 0:
            print("skipped: no user, mount and network namespace here: " + probe.stderr.decode(errors="replace"))
            return SKIPPED
        script = 'ip link set lo up && mount --bind "$1" /etc/hosts && shift && exec "$@"'
        return subprocess.run(["unshare", "--user", "--map-root-user", "--mount", "--net", "sh", "-c", script,
                               "sh", hosts, sys.executable, os.path.abspath(__file__), "--inside", serve,
                               site]).returncode


if __name__ == "__main__":
    sys.exit(main())
