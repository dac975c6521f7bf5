"""scripts/setup chooses its packages by task: serving needs the compiler,
CMake and libcurl alone; the tests need everything, and qemu-i386 only where
the kernel cannot execute 32-bit programs. Run against a stand-in dpkg-query
that reports a chosen set as installed, so what a fresh (or a half-ready)
machine would get installed is seen without installing anything.

Usage: setup_script_test.py SOURCE_DIR
"""
import os
import stat
import subprocess
import sys
import tempfile
import unittest

SOURCE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
SETUP = os.path.join(SOURCE, "scripts", "setup")

SERVE = {"cmake", "ninja-build", "g++", "libcurl4-openssl-dev"}
TEST_ONLY = {"make", "pkg-config", "libgtest-dev", "curl", "wget", "python3", "python3-requests", "iproute2", "util-linux",
             "clang", "libclang-rt-14-dev", "chromium", "chromium-driver", "zip", "unzip"}
WINDOWS = {"g++-mingw-w64-i686", "wine", "wine32:i386", "g++-mingw-w64-x86-64", "wine64"}
EMULATOR = {"qemu-user-static"}  # where the kernel refuses 32-bit programs

FAKE_DPKG_QUERY = """#!/bin/sh
# dpkg-query -W -f='${Status}' PACKAGE: installed when PACKAGE is listed in $INSTALLED_LIST
for p in "$@"; do last=$p; done
if grep -qxF "$last" "$INSTALLED_LIST"; then printf 'install ok installed'; exit 0; fi
echo "dpkg-query: no packages found matching $last" >&2
exit 1
"""


def run_setup(args, installed, runs_i386=True):
    with tempfile.TemporaryDirectory() as scratch:
        fake = os.path.join(scratch, "dpkg-query")
        with open(fake, "w") as out:
            out.write(FAKE_DPKG_QUERY)
        os.chmod(fake, stat.S_IRWXU)
        listing = os.path.join(scratch, "installed")
        with open(listing, "w") as out:
            out.write("".join(p + "\n" for p in installed))
        env = dict(os.environ, PATH=scratch + os.pathsep + os.environ["PATH"], INSTALLED_LIST=listing,
                   QUORVEX_RUNS_I386="1" if runs_i386 else "0")
        done = subprocess.run(["bash", SETUP] + args, env=env, capture_output=True, text=True, timeout=60)
        return done.returncode, done.stdout.split(), done.stderr


class SetupScript(unittest.TestCase):
    def test_each_task_lists_its_packages(self):
        cases = [
            # (arguments, whether the kernel executes 32-bit programs, the packages)
            (["serve"], False, SERVE),
            (["native"], False, SERVE | TEST_ONLY),
            (["all"], True, SERVE | TEST_ONLY | WINDOWS),
            (["all"], False, SERVE | TEST_ONLY | WINDOWS | EMULATOR),
            ([], True, SERVE | TEST_ONLY | WINDOWS),  # scripts/test: everything
            ([], False, SERVE | TEST_ONLY | WINDOWS | EMULATOR),
        ]
        for args, runs_i386, expected in cases:
            with self.subTest(args=args, runs_i386=runs_i386):
                code, listed, err = run_setup(args + ["--list"], installed=[], runs_i386=runs_i386)
                self.assertEqual(code, 0, err)
                self.assertEqual(len(listed), len(set(listed)), listed)
                self.assertEqual(set(listed), expected)

    def test_only_what_is_missing_would_be_installed(self):
        cases = [
            # A fresh machine that only wants to serve waits for the build tools alone.
            (["serve"], [], SERVE),
            (["serve"], ["cmake", "g++"], {"ninja-build", "libcurl4-openssl-dev"}),
            (["serve"], sorted(SERVE), set()),
            # Serving first, testing later: the rest comes then.
            ([], sorted(SERVE), TEST_ONLY | WINDOWS),
            (["native"], sorted(SERVE | TEST_ONLY), set()),
            ([], sorted(SERVE | TEST_ONLY | WINDOWS), set()),
        ]
        # A machine made ready before its kernel refused 32-bit programs waits for the emulator alone.
        refusing = [([], sorted(SERVE | TEST_ONLY | WINDOWS), EMULATOR)]
        for (args, installed, expected), runs_i386 in [(c, True) for c in cases] + [(c, False) for c in refusing]:
            with self.subTest(args=args, installed=installed, runs_i386=runs_i386):
                code, missing, err = run_setup(args + ["--dry-run"], installed, runs_i386)
                self.assertEqual(code, 0, err)
                self.assertEqual(set(missing), expected)

    def test_unknown_argument_is_refused(self):
        code, _, err = run_setup(["everything"], installed=[])
        self.assertEqual(code, 2)
        self.assertIn("unknown argument", err)


if __name__ == "__main__":
    unittest.main()
