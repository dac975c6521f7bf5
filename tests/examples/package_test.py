#!/usr/bin/env python3
"""scripts/package makes both archives with the installed files in them, and
the C example host builds (find_package and pkg-config) against the Linux
archive unpacked in a place of its own, and runs.

Usage: package_test.py SOURCE_DIR NATIVE_TREE WIN32_TREE WORK_DIR
"""
import os
import platform
import re
import subprocess
import sys
import tarfile
import zipfile

import c_host_test
import host_check


def version(source):
    with open(os.path.join(source, "CMakeLists.txt")) as f:
        return re.search(r"project\(Quorvex VERSION ([0-9.]+)", f.read()).group(1)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    source, native_tree, win32_tree, work = (os.path.abspath(a) for a in sys.argv[1:])
    host_check.fresh_directory(work)
    out = os.path.join(work, "package")
    printed = host_check.run([os.path.join(source, "scripts", "package"), "--native", native_tree,
                              "--win32", win32_tree, "--out", out], cwd=source)

    v = version(source)
    linux_name = "quorvex-%s-linux-%s" % (v, platform.machine())
    win32_name = "quorvex-%s-win32" % v
    linux_archive = os.path.join(out, linux_name + ".tar.gz")
    win32_archive = os.path.join(out, win32_name + ".zip")
    failures = []
    for archive in (linux_archive, win32_archive):
        if archive not in printed.split():
            failures.append("scripts/package did not name %s; it printed %r" % (archive, printed))
    if failures:
        return host_check.report(failures)

    expected = [
        (linux_archive, tarfile.open(linux_archive).getnames(), linux_name,
         ["include/quorvex.h", "lib/libquorvex.so", "lib/libquorvex.so.1", "lib/libquorvex.so.%s" % v,
          "lib/pkgconfig/quorvex.pc", "lib/cmake/Quorvex/QuorvexConfig.cmake",
          "lib/cmake/Quorvex/QuorvexConfigVersion.cmake"]),
        (win32_archive, zipfile.ZipFile(win32_archive).namelist(), win32_name,
         ["include/quorvex.h", "bin/quorvex.dll", "lib/libquorvex.dll.a", "lib/quorvex.def"]),
    ]
    for archive, names, folder, files in expected:
        for name in files:
            if folder + "/" + name not in names:
                failures.append("%s lacks %s/%s" % (os.path.basename(archive), folder, name))

    # Unpacked elsewhere, the Linux archive serves a host built against it.
    unpacked = host_check.fresh_directory(os.path.join(work, "unpacked"))
    subprocess.run(["tar", "-xzf", linux_archive, "-C", unpacked], check=True)
    prefix = os.path.join(unpacked, linux_name)
    site = host_check.make_site(os.path.join(work, "site"))
    for label, build in (("find_package", c_host_test.build_with_cmake),
                         ("pkg-config", c_host_test.build_with_pkg_config)):
        program = build(source, prefix, os.path.join(work, label))
        failures += c_host_test.check_built_host(program, prefix, site, "unpacked archive, " + label)
    return host_check.report(failures)


if __name__ == "__main__":
    sys.exit(main())
