#!/usr/bin/env python3
"""The Windows example host, cross-built against the INSTALLED Windows
library and run under Wine: it answers /api/ requests through its window with
its own text, and the server sends the folder's files. Also links a small
program with the installed import library, so the decorated stdcall names a C
compiler asks for reach the DLL's plain exports.

Usage: windows_host_test.py BUILD_TREE SOURCE_DIR WORK_DIR TOOLCHAIN_FILE WINE_RUNNER C_COMPILER
"""
import os
import shutil
import subprocess
import sys

import host_check

# Under Wine in the test's loopback-only namespace the host name is 127.0.0.1.
WINE_ADDRESS = "127.0.0.1"
INSTALLED = ["bin/quorvex.dll", "lib/libquorvex.dll.a", "lib/quorvex.def", "include/quorvex.h",
             "lib/cmake/Quorvex/QuorvexConfig.cmake"]
IMPORT_PROBE = r"""
#include <stdio.h>
#include <quorvex.h>
int main(void) {
    BSTR field = WEBSRVPARSE("first,second,third", ",", 2);
    printf("%.*s %d\n", (int)SysStringByteLen(field), (const char*)field, (int)ServerRunning());
    SysFreeString(field);
    return 0;
}
"""


def windows_name(path):
    """Wine shows the Linux root as drive Z:."""
    return "Z:" + path.replace("/", "\\")


def main():
    if len(sys.argv) != 7:
        sys.exit(__doc__)
    tree, source, work, toolchain, runner, compiler = (os.path.abspath(a) for a in sys.argv[1:])
    host_check.fresh_directory(work)
    prefix = host_check.install(tree, os.path.join(work, "prefix"))
    failures = ["not installed: " + name for name in INSTALLED
                if not os.path.isfile(os.path.join(prefix, name))]
    if failures:
        return host_check.report(failures)

    # The import library, used as a C host would use it.
    probe_dir = host_check.fresh_directory(os.path.join(work, "import-probe"))
    with open(os.path.join(probe_dir, "probe.c"), "w") as f:
        f.write(IMPORT_PROBE)
    host_check.run([compiler, "-Wall", "-Werror", "-I", os.path.join(prefix, "include"), "probe.c",
                    "-L", os.path.join(prefix, "lib"), "-lquorvex", "-loleaut32", "-o", "probe.exe"],
                   cwd=probe_dir)
    shutil.copy(os.path.join(prefix, "bin", "quorvex.dll"), probe_dir)
    probe = subprocess.run([runner, "probe.exe"], cwd=probe_dir, stdout=subprocess.PIPE, timeout=120)
    if probe.stdout.decode(errors="replace").strip() != "second 0":
        failures.append("program linked with the import library printed %r (status %d)"
                        % (probe.stdout, probe.returncode))

    build = host_check.fresh_directory(os.path.join(work, "build"))
    host_check.run(["cmake", "-S", os.path.join(source, "examples", "windows"), "-B", build,
                    "-DCMAKE_TOOLCHAIN_FILE=" + toolchain, "-DCMAKE_PREFIX_PATH=" + prefix,
                    "-DCMAKE_BUILD_TYPE=Release"])
    host_check.run(["cmake", "--build", build])
    # Windows finds the DLL beside the program.
    shutil.copy(os.path.join(prefix, "bin", "quorvex.dll"), build)

    site = host_check.make_site(os.path.join(work, "site"))
    port = host_check.free_port(WINE_ADDRESS)
    host = [runner, os.path.join(build, "quorvex-example-windows.exe"), str(port), windows_name(site)]
    failures += host_check.check_host(host, port, "Answered by the Windows host", address=WINE_ADDRESS)
    return host_check.report(failures)


if __name__ == "__main__":
    sys.exit(main())
