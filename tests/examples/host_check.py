"""Shared steps of the example-host tests: install the library into a fresh
prefix, start a host, fetch from it over loopback, and stop it."""
import os
import select
import shutil
import socket
import subprocess
import time
import urllib.error
import urllib.request

START_TIMEOUT = 60
FETCH_TIMEOUT = 20

# A site of the test's own: a page, and a file whose name starts like the
# host's /api/ prefix but is not under it (the host must leave it alone).
SITE_FILES = {
    "page.htm": b"<html><body><p>a plain page from the folder</p></body></html>\n",
    "apiary.htm": b"<p>bees, not the host's api</p>\n",
}


def run(command, **options):
    """Runs a build step; on failure raises with its output."""
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **options)
    if done.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s" % (" ".join(command), done.returncode,
                                                     done.stdout.decode(errors="replace")[-4000:]))
    return done.stdout.decode(errors="replace")


def install(tree, prefix):
    """`cmake --install` of a build tree into an empty prefix."""
    shutil.rmtree(prefix, ignore_errors=True)
    run(["cmake", "--install", tree, "--prefix", prefix])
    return prefix


def fresh_directory(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def make_site(path):
    fresh_directory(path)
    for name, data in SITE_FILES.items():
        with open(os.path.join(path, name), "wb") as f:
            f.write(data)
    return path


def server_address():
    """The first IPv4 address of this computer's name, which the server binds."""
    return socket.getaddrinfo(socket.gethostname(), None, socket.AF_INET, socket.SOCK_STREAM)[0][4][0]


def free_port(address):
    with socket.socket() as probe:
        probe.bind((address, 0))
        return probe.getsockname()[1]


def fetch(url):
    """(HTTP status, body) of a GET, with no proxy in the way."""
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        with opener.open(url, timeout=FETCH_TIMEOUT) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


class Host:
    """A host program started in the background; ready once it prints 'listening on port'."""

    def __init__(self, command, **options):
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **options)
        self.first_line = self._read_line()
        self.output = ""  # the rest of its standard output, once stopped

    def _read_line(self):
        deadline = time.monotonic() + START_TIMEOUT
        line = b""
        while not line.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stdout], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                break
            byte = os.read(self.process.stdout.fileno(), 1)
            if not byte:
                break
            line += byte
        return line.decode(errors="replace").strip()

    def stop(self):
        """Ends the host; its standard error, for messages."""
        if self.process.poll() is None:
            self.process.terminate()
        try:
            out, err = self.process.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, err = self.process.communicate()
        self.output = out.decode(errors="replace")
        return err.decode(errors="replace")


def check_host(command, port, marker, address=None, **options):
    """Starts the host and checks what it answers itself and what the server
    sends from the folder; returns a list of failures (empty when all is well).
    `marker` is the text the host puts in its own answers; `address` where the
    server listens (by default the first address of this computer's name)."""
    failures = []
    host = Host(command, **options)
    try:
        if host.first_line != "listening on port %d" % port:
            return ["host did not start: %r; %s" % (host.first_line, host.stop())]
        base = "http://%s:%d/" % (address or server_address(), port)
        cases = [
            # (path, status, what the body must be or hold)
            ("api/hello", 200, [marker, "api\\hello.htm"]),
            ("api/items/42?full=1", 200, [marker, "api\\items\\42"]),
            ("page.htm", 200, SITE_FILES["page.htm"]),
            ("apiary.htm", 200, SITE_FILES["apiary.htm"]),
            ("missing.htm", 404, ["<title>HTTP 404 Not Found</title>"]),
        ]
        for path, status, expected in cases:
            got_status, body = fetch(base + path)
            if got_status != status:
                failures.append("%s: status %d, expected %d; body %r" % (path, got_status, status, body[:200]))
            elif isinstance(expected, bytes):
                if body != expected:
                    failures.append("%s: body %r, expected the file %r" % (path, body[:200], expected))
            else:
                text = body.decode("latin-1")
                missing = [piece for piece in expected if piece not in text]
                if missing:
                    failures.append("%s: %r lacks %r" % (path, text[:300], missing))
    finally:
        err = host.stop()
    if failures and err:
        failures.append("host said: " + err)
    return failures


def report(failures):
    """Prints the outcome; the exit status for the test."""
    for failure in failures:
        print("FAIL " + failure)
    print("%d failed" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0
