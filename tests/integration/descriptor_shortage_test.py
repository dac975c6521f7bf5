#!/usr/bin/env python3
"""The demo host started with a limit of 256 open descriptors, flooded with
1,000 idle connections: the server must not spin on the connections it cannot
accept, and a normal client is answered after the flood.

Usage: descriptor_shortage_test.py PATH/TO/quorvex-serve PATH/TO/examples/site
"""
import os
import re
import resource
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from demo_host_test import free_port, server_address  # noqa: E402
from host_output import first_line  # noqa: E402

SERVE, SITE = sys.argv[1], sys.argv[2]
FLOOD = 1000
LIMIT = 256


def cpu_seconds(pid):
    """User and system time of the process so far."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def fetch(address, port, timeout):
    with socket.create_connection((address, port), timeout=timeout) as client:
        client.sendall(b"GET /default.htm HTTP/1.0\r\n\r\n")
        answer = b""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            piece = client.recv(65536)
            if not piece:
                break
            answer += piece
        return answer


def main():
    # This process holds the flood's client ends itself.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = FLOOD + 100
    if hard != resource.RLIM_INFINITY and hard < wanted:
        print("skipped: this process may not open %d descriptors" % wanted)
        return 0
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, wanted), hard))

    address = server_address()
    port = free_port(address)

    def limit_descriptors():
        resource.setrlimit(resource.RLIMIT_NOFILE, (LIMIT, LIMIT))

    host = subprocess.Popen([SERVE, "--port", str(port), "--docs", SITE, "--quiet"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=limit_descriptors)
    failures = []
    clients = []
    try:
        first = first_line(host.stdout, 20)
        if not re.search(r"http://[0-9.]+:\d+/", first):
            print("the host did not start: %r" % first)
            return 1
        # Each idle client sends part of a header, so the server takes it at once.
        for _ in range(FLOOD):
            client = socket.create_connection((address, port), timeout=10)
            client.sendall(b"GET /default.htm HTTP/1.0\r\n")
            clients.append(client)
        before = cpu_seconds(host.pid)
        time.sleep(3)
        spent = cpu_seconds(host.pid) - before
        # A server that keeps trying the accept it cannot make spends the whole core.
        if spent > 1.0:
            failures.append("the server spent %.2f s of CPU in 3 s of a flood it cannot take" % spent)
        answer = fetch(address, port, 20)
        if not answer.startswith(b"HTTP/1.0 200 OK\r\n"):
            failures.append("the client after the flood got %r" % answer[:200])
        if host.poll() is not None:
            failures.append("the host ended during the flood")
    finally:
        for client in clients:
            client.close()
        host.kill()
        host.communicate()
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
