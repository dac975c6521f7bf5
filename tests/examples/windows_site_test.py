#!/usr/bin/env python3
"""The bundled site's CGI pages under the Windows demo host (run by Wine):
the batch program shows its query; the query never becomes a second command.

Usage: windows_site_test.py WINE_RUNNER QUORVEX_SERVE_EXE
"""
import sys

import host_check

ADDRESS = "127.0.0.1"  # the host name under Wine in the loopback-only namespace


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    runner, serve = sys.argv[1:]
    port = host_check.free_port(ADDRESS)
    host = host_check.Host([runner, serve, "--port", str(port), "--quiet"])
    failures = []
    try:
        if "http://" not in host.first_line:
            return host_check.report(["demo host did not start: %r" % host.first_line])
        cases = [
            # (path, text the page must hold, text it must not hold)
            ("cgi-bin/hello.bat?name=visitor&colour=blue", "QUERY_STRING=name=visitor&colour=blue", None),
            ("cgi-bin/hello.bat?&echo INJECTED-BY-QUERY".replace(" ", "%20"), "Hello from hello.bat",
             "\nINJECTED-BY-QUERY"),
        ]
        for path, wanted, unwanted in cases:
            status, body = host_check.fetch("http://%s:%d/%s" % (ADDRESS, port, path))
            text = body.decode("latin-1").replace("\r\n", "\n")
            if status != 200 or wanted not in text:
                failures.append("%s: status %d, page %r lacks %r" % (path, status, text[:300], wanted))
            if unwanted is not None and unwanted in text:
                failures.append("%s: the query ran as a command" % path)
    finally:
        host.stop()
    return host_check.report(failures)


if __name__ == "__main__":
    sys.exit(main())
