#!/usr/bin/env python3
"""The demo host driven as a person would drive it: quorvex-serve started on a
free port, pages fetched with the real curl, then stopped with a signal.

Usage: demo_host_test.py PATH/TO/quorvex-serve PATH/TO/examples/site
"""
import hashlib
import http.client
import os
import re
import select
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SERVE = None
SITE = None
START_TIMEOUT = 20
CURL_TIMEOUT = "20"


def server_address():
    """The first IPv4 address of this computer's host name, as the server binds."""
    infos = socket.getaddrinfo(socket.gethostname(), None, socket.AF_INET, socket.SOCK_STREAM)
    return infos[0][4][0]


def free_port(address):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind((address, 0))
        return probe.getsockname()[1]


class RunningHost:
    """quorvex-serve in the background; `url` once it has said where it listens."""

    def __init__(self, *args):
        self.process = subprocess.Popen([SERVE, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.url = None
        self.first_line = self._read_line(START_TIMEOUT)
        match = re.search(r"(http://[0-9.]+:\d+/)", self.first_line)
        if match:
            self.url = match.group(1)

    def _read_line(self, timeout):
        deadline = time.monotonic() + timeout
        line = b""
        while not line.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stdout], [], [], deadline - time.monotonic())
            if not ready:
                break
            byte = os.read(self.process.stdout.fileno(), 1)
            if not byte:
                break
            line += byte
        return line.decode("latin-1")

    def stop(self, sig=signal.SIGTERM):
        """Sends `sig`; returns (exit status, the rest of standard output, standard error)."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            out, err = self.process.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, err = self.process.communicate()
            return None, out.decode("latin-1"), err.decode("latin-1")
        return self.process.returncode, out.decode("latin-1"), err.decode("latin-1")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            self.process.kill()
            self.process.communicate()


def curl(url, output_file):
    """Fetches `url` with curl; returns (curl's exit status, HTTP status code, content type)."""
    result = subprocess.run(
        ["curl", "-s", "--noproxy", "*", "-m", CURL_TIMEOUT, "-o", output_file,
         "-w", "%{http_code} %{content_type}", url],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    status, _, content_type = result.stdout.decode("latin-1").partition(" ")
    return result.returncode, status, content_type


def site_file(name):
    with open(os.path.join(SITE, name), "rb") as f:
        return f.read()


class DemoHostTest(unittest.TestCase):
    def setUp(self):
        self.address = server_address()
        self.work = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.work.cleanup()

    def start(self, *args):
        host = RunningHost(*args)
        self.addCleanup(host.__exit__)
        self.assertIsNotNone(host.url, "no URL announced; first line was %r" % host.first_line)
        return host

    def test_serves_every_route_of_the_example_site(self):
        port = free_port(self.address)
        host = self.start("--port", str(port))
        self.assertEqual(host.url, "http://%s:%d/" % (self.address, port))

        cases = [
            # (path, HTTP status, content type, check of the body)
            ("", "200", "text/html", lambda body: body == site_file("default.htm")),
            ("default.htm", "200", "text/html", lambda body: body == site_file("default.htm")),
            ("gallery.htm", "200", "text/html", lambda body: b'src="logo.gif"' in body),
            ("logo.gif", "200", "image/gif", lambda body: body == site_file("logo.gif")),
            ("cgi-bin/hello.cgi?name=tester", "200", "text/html",
             lambda body: b"QUERY_STRING: <code>name=tester</code>" in body
             and b"\nREQUEST_METHOD=GET\n" in body),
            ("missing.htm", "404", "text/html", lambda body: b"<title>HTTP 404 Not Found</title>" in body),
        ]
        for path, status, content_type, body_ok in cases:
            with self.subTest(path=path):
                out = os.path.join(self.work.name, "body")
                code, got_status, got_type = curl(host.url + path, out)
                self.assertEqual(code, 0, "curl rejected the answer")
                self.assertEqual(got_status, status)
                self.assertEqual(got_type.split(";")[0].strip(), content_type)
                with open(out, "rb") as f:
                    body = f.read()
                self.assertTrue(body_ok(body), body[:300])

        status, log, err = host.stop()
        self.assertEqual(status, 0, err)
        # One log line per request offered to the host: the client's address and the path.
        for path in ["default.htm", "gallery.htm", "logo.gif", "missing.htm"]:
            self.assertRegex(log, r"(?m)^%s:\d+ %s$" % (re.escape(self.address), re.escape(path)))
        self.assertNotIn("hello.cgi", log, "programs are run, not offered to the host")

    def test_stops_on_interrupt_and_terminate(self):
        for sig in [signal.SIGINT, signal.SIGTERM]:
            with self.subTest(signal=sig.name):
                host = self.start("--port", str(free_port(self.address)), "--quiet")
                code, status, _ = curl(host.url, os.path.join(self.work.name, "body"))
                self.assertEqual((code, status), (0, "200"))
                exit_status, log, err = host.stop(sig)
                self.assertEqual(exit_status, 0, err)
                self.assertNotIn("default.htm", log, "--quiet still logged a request")

    def test_separate_document_and_program_directories(self):
        docs = os.path.join(self.work.name, "docs")
        programs = os.path.join(self.work.name, "programs")
        os.makedirs(docs)
        os.makedirs(os.path.join(programs, "cgi-bin"))
        with open(os.path.join(docs, "default.htm"), "wb") as f:
            f.write(b"<p>own docs</p>")
        script = os.path.join(programs, "cgi-bin", "hello.cgi")
        with open(script, "wb") as f:
            f.write(site_file(os.path.join("cgi-bin", "hello.cgi")))
        os.chmod(script, 0o755)

        host = self.start("--port", str(free_port(self.address)), "--docs", docs, "--cgi", programs)
        out = os.path.join(self.work.name, "body")
        self.assertEqual(curl(host.url, out)[:2], (0, "200"))
        with open(out, "rb") as f:
            self.assertEqual(f.read(), b"<p>own docs</p>")
        self.assertEqual(curl(host.url + "cgi-bin/hello.cgi?from=programs", out)[:2], (0, "200"))
        with open(out, "rb") as f:
            self.assertIn(b"QUERY_STRING: <code>from=programs</code>", f.read())
        self.assertEqual(host.stop()[0], 0)

    def test_download_tools_check_links_and_resume(self):
        """curl -I and wget --spider see working links; curl -C - and wget -c
        finish a partial download instead of starting again."""
        docs = os.path.join(self.work.name, "docs")
        os.makedirs(docs)
        payload = bytes((i * 7 + i // 251) % 256 for i in range(300000))
        with open(os.path.join(docs, "big.dat"), "wb") as f:
            f.write(payload)
        host = self.start("--port", str(free_port(self.address)), "--docs", docs)
        url = host.url + "big.dat"

        head = subprocess.run(["curl", "-sS", "-I", "--noproxy", "*", "-m", CURL_TIMEOUT, url],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(head.returncode, 0, head.stderr)
        self.assertRegex(head.stdout.decode("latin-1"), r"^HTTP/1.1 200 OK\r\n")  # curl asks in HTTP/1.1, and the connection is kept
        self.assertIn(b"Content-Length: 300000\r\n", head.stdout)
        self.assertIn(b"\r\nETag: ", head.stdout)
        spider = subprocess.run(["wget", "-q", "--spider", "--no-proxy", "-T", CURL_TIMEOUT, url])
        self.assertEqual(spider.returncode, 0, "wget --spider calls the link broken")

        for tool in ["curl", "wget"]:
            with self.subTest(tool=tool):
                part = os.path.join(self.work.name, "part-" + tool + ".bin")
                with open(part, "wb") as f:
                    f.write(payload[:123457])
                if tool == "curl":
                    command = ["curl", "-sS", "--noproxy", "*", "-m", CURL_TIMEOUT, "-C", "-", "-o", part, url]
                else:
                    command = ["wget", "-nv", "-S", "--no-proxy", "-T", CURL_TIMEOUT, "-t", "1", "-c", "-O", part, url]
                done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                self.assertEqual(done.returncode, 0, done.stderr)
                with open(part, "rb") as f:
                    self.assertEqual(f.read(), payload, "the resumed file differs")
                if tool == "wget":
                    # wget starts again from zero on a 200; it must have been given the rest only.
                    self.assertIn(b"206 Partial Content", done.stderr)
                    self.assertIn(b"Content-Range: bytes 123457-299999/300000", done.stderr)
        status, _, err = host.stop()
        self.assertEqual(status, 0, err)

    def test_curl_bodies_and_methods(self):
        """What curl sends: a chunked body from a pipe (-T -) and a body that
        waits for "100 Continue" (--data-binary) reach the program byte for
        byte; OPTIONS names the methods; PUT gets 405 on a file and 501
        beside it."""
        docs = os.path.join(self.work.name, "docs")
        programs = os.path.join(self.work.name, "programs")
        os.makedirs(docs)
        os.makedirs(programs)
        with open(os.path.join(docs, "page.htm"), "wb") as f:
            f.write(b"<p>page</p>")
        script = os.path.join(programs, "digest.cgi")
        with open(script, "wb") as f:
            f.write(b'#!/bin/sh\nPATH=/usr/bin:/bin\nprintf "LENGTH=%s " "$CONTENT_LENGTH"\n'
                    b'head -c "${CONTENT_LENGTH:-0}" | sha256sum\n')
        os.chmod(script, 0o755)
        host = self.start("--port", str(free_port(self.address)), "--docs", docs, "--cgi", programs)

        def run(*args, data=None):
            # Without the word, curl would wait out --expect100-timeout, past its -m: a failure.
            return subprocess.run(["curl", "-sS", "--noproxy", "*", "-m", CURL_TIMEOUT, "--expect100-timeout", "60",
                                   *args], input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

        payload = bytes((i * 7 + i // 251) % 256 for i in range(200000))
        upload = os.path.join(self.work.name, "upload.bin")
        with open(upload, "wb") as f:
            f.write(payload[:5000])
        cases = [
            # (what, curl arguments, standard input, the body posted, what curl must have sent)
            ("chunked from a pipe", ["-v", "-X", "POST", "-T", "-"], payload, payload, b"> Transfer-Encoding: chunked"),
            # (Which sizes make curl ask by itself differs between its versions.)
            ("a body that waits for the word", ["-v", "-H", "Expect: 100-continue", "--data-binary", "@" + upload],
             None, payload[:5000], b"< HTTP/1.1 100 Continue"),
        ]
        for what, args, data, body, sent in cases:
            with self.subTest(what):
                done = run(*args, host.url + "digest.cgi", data=data)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertIn(sent, done.stderr)
                self.assertEqual(done.stdout.decode("latin-1").strip(),
                                 "LENGTH=%d %s  -" % (len(body), hashlib.sha256(body).hexdigest()))

        options = run("-i", "-X", "OPTIONS", host.url + "page.htm")
        self.assertEqual(options.returncode, 0, options.stderr)
        self.assertRegex(options.stdout.decode("latin-1"), r"^HTTP/1.1 200 OK\r\n")  # curl asks in HTTP/1.1, and the connection is kept
        self.assertIn(b"\r\nAllow: GET, HEAD, POST, OPTIONS\r\n", options.stdout)
        for target, status in [("page.htm", "405"), ("missing.htm", "501")]:
            with self.subTest(target):
                put = run("-o", os.devnull, "-w", "%{http_code}", "-X", "PUT", "--data-binary", "x",
                          host.url + target)
                self.assertEqual((put.returncode, put.stdout.decode("latin-1")), (0, status), put.stderr)
        status, _, err = host.stop()
        self.assertEqual(status, 0, err)

    def test_large_multipart_upload(self):
        """A 50 MB form upload (curl -F) reaches the program byte for byte under
        the demo host's upload limit (1 GiB unless set); with --max-body 1M the
        same upload gets 413 and no program runs."""
        docs = os.path.join(self.work.name, "docs")
        programs = os.path.join(self.work.name, "programs")
        os.makedirs(docs)
        os.makedirs(programs)
        script = os.path.join(programs, "keep.cgi")
        with open(script, "wb") as f:
            f.write(b'#!/bin/sh\nPATH=/usr/bin:/bin\nhead -c "$CONTENT_LENGTH" > posted.bin\n'
                    b'printf "LENGTH=%s" "$CONTENT_LENGTH"\n')
        os.chmod(script, 0o755)
        payload = bytes(range(256)) * (50 * 1000 * 1000 // 256)
        upload = os.path.join(self.work.name, "upload.bin")
        with open(upload, "wb") as f:
            f.write(payload)
        posted = os.path.join(programs, "posted.bin")
        for limit, status in [([], "200"), (["--max-body", "1M"], "413")]:
            with self.subTest(limit=limit):
                if os.path.exists(posted):
                    os.remove(posted)
                host = self.start("--port", str(free_port(self.address)), "--docs", docs, "--cgi", programs,
                                  "--quiet", *limit)
                body = os.path.join(self.work.name, "answer.txt")
                done = subprocess.run(["curl", "-sS", "--noproxy", "*", "-m", CURL_TIMEOUT, "-o", body,
                                       "-w", "%{http_code}", "-F", "file=@" + upload, host.url + "keep.cgi"],
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                self.assertEqual(done.stdout.decode("latin-1"), status, done.stderr)
                if status == "200":
                    with open(posted, "rb") as f:
                        got = f.read()
                    with open(body, "rb") as f:
                        self.assertEqual(f.read().decode("latin-1"), "LENGTH=%d" % len(got))
                    # The form's one part, the file byte for byte between its boundary lines.
                    self.assertTrue(got.startswith(b"--"), got[:80])
                    self.assertEqual(got.count(payload), 1)
                    self.assertLess(len(got) - len(payload), 1000)
                else:
                    self.assertFalse(os.path.exists(posted), "a refused upload ran the program")
                status_code, _, err = host.stop()
                self.assertEqual(status_code, 0, err)

    def test_real_clients_keep_their_connection(self):
        """curl with several URLs, wget with two, Python's http.client and a
        requests.Session each use one connection for all their requests, and
        every body is the file byte for byte."""
        host = self.start("--port", str(free_port(self.address)))
        files = {"default.htm": site_file("default.htm"), "logo.gif": site_file("logo.gif")}

        out = os.path.join(self.work.name, "curl-")
        done = subprocess.run(["curl", "-sS", "-v", "--http1.1", "--noproxy", "*", "-m", CURL_TIMEOUT,
                               host.url + "default.htm", "-o", out + "1", host.url + "logo.gif", "-o", out + "2",
                               host.url + "default.htm", "-o", out + "3"],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        log = done.stderr.decode("latin-1")
        self.assertEqual(done.returncode, 0, log)
        self.assertEqual(log.count("Connected to"), 1, log)
        self.assertEqual(log.count("Re-using existing connection"), 2, log)
        self.assertNotIn("Excess found", log)
        for suffix, name in (("1", "default.htm"), ("2", "logo.gif"), ("3", "default.htm")):
            with open(out + suffix, "rb") as f:
                self.assertEqual(f.read(), files[name], name)

        fetched = os.path.join(self.work.name, "wget")
        done = subprocess.run(["wget", "--no-proxy", "-T", "20", "-t", "1", "-P", fetched,
                               host.url + "default.htm", host.url + "logo.gif"],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        log = done.stderr.decode("latin-1")
        self.assertEqual(done.returncode, 0, log)
        self.assertEqual(log.count("Reusing existing connection"), 1, log)
        for name, body in files.items():
            with open(os.path.join(fetched, name), "rb") as f:
                self.assertEqual(f.read(), body, name)

        address, port = host.url[len("http://"):-1].rsplit(":", 1)
        connection = http.client.HTTPConnection(address, int(port), timeout=20)
        first_socket = None
        for i in range(100):
            name = "logo.gif" if i % 2 else "default.htm"
            connection.request("GET", "/" + name)
            answer = connection.getresponse()
            self.assertEqual((answer.status, answer.read()), (200, files[name]), i)
            if first_socket is None:
                first_socket = connection.sock
            self.assertIs(connection.sock, first_socket, "http.client opened a new connection at %d" % i)
        connection.close()

        try:
            import requests
        except ImportError:
            self.skipTest("Python requests is not installed")
        with requests.Session() as session:
            for i in range(100):
                name = "logo.gif" if i % 2 else "default.htm"
                answer = session.get(host.url + name, timeout=20)
                self.assertEqual((answer.status_code, answer.content), (200, files[name]), i)
            pools = session.get_adapter(host.url).poolmanager.pools
            self.assertEqual([pools[key].num_connections for key in pools.keys()], [1])

    def test_pipelined_requests_are_answered_in_order(self):
        """Three requests in one send: three answers in order, each exactly
        its length, then the close the last one asked for."""
        host = self.start("--port", str(free_port(self.address)))
        address, port = host.url[len("http://"):-1].rsplit(":", 1)
        with socket.create_connection((address, int(port)), timeout=20) as client:
            client.sendall(b"GET /default.htm HTTP/1.1\r\nHost: h\r\n\r\n"
                           b"GET /missing.htm HTTP/1.1\r\nHost: h\r\n\r\n"
                           b"GET /logo.gif HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n")
            received = b""
            while True:
                piece = client.recv(65536)
                if not piece:
                    break
                received += piece
        answers = []
        while received:
            end = received.index(b"\r\n\r\n") + 4
            length = int(re.search(rb"\r\nContent-Length: (\d+)\r\n", received[:end]).group(1))
            answers.append((received[:end], received[end:end + length]))
            received = received[end + length:]
            if b"Connection: close" in answers[-1][0] or answers[-1][0].startswith(b"HTTP/1.0"):
                # The answer that closes keeps its closing bytes.
                self.assertEqual(received, b"\r\n\r\n")
                break
        self.assertEqual([head.split(b"\r\n")[0] for head, _ in answers],
                         [b"HTTP/1.1 200 OK", b"HTTP/1.1 404 Not Found", b"HTTP/1.0 200 OK"])
        self.assertEqual(answers[0][1], site_file("default.htm"))
        self.assertIn(b"HTTP 404 Not Found", answers[1][1])
        self.assertEqual(answers[2][1], site_file("logo.gif"))

    def test_start_failures_give_one_line_and_status_1(self):
        holder = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        holder.bind((self.address, 0))
        holder.listen(1)
        busy_port = holder.getsockname()[1]
        self.addCleanup(holder.close)

        cases = [
            # (arguments, a word the one-line reason must contain)
            (["--port", str(busy_port)], "in use"),
            (["--port", "65536"], "out of range"),
            (["--port", "-1"], "out of range"),
            (["--port", "99999999999"], "out of range"),
            (["--docs", os.path.join(self.work.name, "no-such-dir")], "not a directory"),
            (["--programs", "0"], "out of range"),
            (["--programs", "65"], "out of range"),
            (["--max-body", "2G"], "out of range"),
        ]
        for args, reason in cases:
            with self.subTest(args=args):
                result = subprocess.run([SERVE, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        timeout=20)
                self.assertEqual(result.returncode, 1)
                err = result.stderr.decode("latin-1")
                self.assertEqual(len(err.splitlines()), 1, err)
                self.assertIn(reason, err)
                self.assertEqual(result.stdout, b"")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    SERVE, SITE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1], verbosity=2)
