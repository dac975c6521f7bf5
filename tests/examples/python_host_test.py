#!/usr/bin/env python3
"""The Python example host (ctypes) run against the INSTALLED library: it
answers /api/ requests with its own text and the server sends the folder's files.

Usage: python_host_test.py BUILD_TREE SOURCE_DIR WORK_DIR
"""
import os
import sys

import host_check


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    tree, source, work = (os.path.abspath(a) for a in sys.argv[1:])
    host_check.fresh_directory(work)
    prefix = host_check.install(tree, os.path.join(work, "prefix"))
    site = host_check.make_site(os.path.join(work, "site"))
    port = host_check.free_port(host_check.server_address())
    # The host loads libquorvex.so.1 by its SONAME, found through the library path.
    environment = dict(os.environ, LD_LIBRARY_PATH=os.path.join(prefix, "lib"))
    host = [sys.executable, os.path.join(source, "examples", "python", "host.py"), str(port), site]
    return host_check.report(host_check.check_host(host, port, "Answered by the Python host", env=environment))


if __name__ == "__main__":
    sys.exit(main())
