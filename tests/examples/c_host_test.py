#!/usr/bin/env python3
"""The C example host, built against the INSTALLED library twice (CMake's
find_package, then make with pkg-config) and run: it answers /api/ requests
with its own text and the server sends the folder's files.

Usage: c_host_test.py BUILD_TREE SOURCE_DIR WORK_DIR
"""
import os
import re
import shutil
import sys

import host_check


def build_with_cmake(source, prefix, work):
    build = host_check.fresh_directory(os.path.join(work, "cmake-build"))
    host_check.run(["cmake", "-S", os.path.join(source, "examples", "c"), "-B", build,
                    "-DCMAKE_PREFIX_PATH=" + prefix, "-DCMAKE_BUILD_TYPE=Release"])
    host_check.run(["cmake", "--build", build])
    return os.path.join(build, "quorvex-example-c")


def build_with_pkg_config(source, prefix, work):
    # A copy of the example folder, so nothing is written into the sources.
    build = os.path.join(work, "make-build")
    shutil.rmtree(build, ignore_errors=True)
    shutil.copytree(os.path.join(source, "examples", "c"), build)
    environment = dict(os.environ, PKG_CONFIG_PATH=os.path.join(prefix, "lib", "pkgconfig"))
    host_check.run(["make", "-C", build], env=environment)
    return os.path.join(build, "quorvex-example-c")


def check_built_host(program, prefix, site, label):
    failures = []
    # The program must use the installed library, not the build tree's.
    libraries = host_check.run(["ldd", program])
    found = re.search(r"libquorvex\.so\.1 => (\S+)", libraries)
    installed = os.path.realpath(os.path.join(prefix, "lib", "libquorvex.so.1"))
    if not found or os.path.realpath(found.group(1)) != installed:
        failures.append("%s: not linked to the installed libquorvex.so.1:\n%s" % (label, libraries))
    port = host_check.free_port(host_check.server_address())
    failures += ["%s: %s" % (label, f) for f in
                 host_check.check_host([program, str(port), site], port, "Answered by the C host")]
    return failures


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    tree, source, work = (os.path.abspath(a) for a in sys.argv[1:])
    host_check.fresh_directory(work)
    prefix = host_check.install(tree, os.path.join(work, "prefix"))
    site = host_check.make_site(os.path.join(work, "site"))
    failures = []
    for label, build in (("find_package", build_with_cmake), ("pkg-config", build_with_pkg_config)):
        failures += check_built_host(build(source, prefix, work), prefix, site, label)
    return host_check.report(failures)


if __name__ == "__main__":
    sys.exit(main())
