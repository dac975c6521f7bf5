#!/usr/bin/env python3
"""The built quorvex.dll as a file, checked without running it: the image kind
and machine its toolchain targets (PE32 i386 for 32-bit hosts, PE32+ x86-64
for 64-bit ones), exactly the .def's names exported and none of them
decorated, only the system DLLs a host has imported, and a C program compiled
against quorvex.h that takes the address of every export links with the import
library (so each stdcall decoration the header gives meets its plain export).

Usage: dll_image_test.py DLL IMPORT_LIBRARY INCLUDE_DIR OBJDUMP C_COMPILER PROCESSOR
"""
import os
import re
import subprocess
import sys
import tempfile

# For each target processor: what objdump names the image format, and the
# optional header's magic (PE32 or PE32+).
IMAGES = {"i686": ("pei-i386", "010b", "PE32"), "x86_64": ("pei-x86-64", "020b", "PE32+")}
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll", "ws2_32.dll", "wininet.dll", "oleaut32.dll", "msvcrt.dll"}


def def_names(include_dir):
    with open(os.path.join(include_dir, "quorvex.def")) as f:
        lines = [line.strip() for line in f]
    return [name for name in lines[lines.index("EXPORTS") + 1:] if name]


def exported_names(dump):
    """The names of the export table's [Ordinal/Name Pointer] section."""
    section = dump.split("[Ordinal/Name Pointer] Table", 1)[1].split("\n\n", 1)[0]
    return re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", section, re.M)


def imported_dlls(dump):
    return {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}


def probe_source(names):
    """Every export's address, so the linker must resolve every decorated name."""
    entries = "".join("    (const void*)%s,\n" % name for name in names)
    return ("#include <stdio.h>\n#include <quorvex.h>\n"
            "const void* const exports[] = {\n%s};\n"
            "int main(void) { printf(\"%%d\\n\", (int)(sizeof exports / sizeof exports[0])); return 0; }\n"
            % entries)


def main():
    if len(sys.argv) != 7:
        sys.exit(__doc__)
    dll, import_library, include_dir = (os.path.abspath(a) for a in sys.argv[1:4])
    objdump, compiler, processor = sys.argv[4:]
    failures = []
    dump = subprocess.run([objdump, "-p", dll], stdout=subprocess.PIPE, check=True,
                          universal_newlines=True).stdout

    if processor not in IMAGES:
        failures.append("no known image format for processor %r" % processor)
    else:
        image_format, magic, kind = IMAGES[processor]
        if "file format %s\n" % image_format not in dump:
            failures.append("the DLL is not %s" % image_format)
        found = re.search(r"^Magic\s+(\S+)", dump, re.M)
        if found is None or found.group(1) != magic:
            failures.append("the DLL is not %s (optional header magic %s)" % (kind, found and found.group(1)))

    names = def_names(include_dir)
    exported = exported_names(dump)
    if sorted(exported) != sorted(names):
        failures.append("exports %s, the .def lists %s" % (sorted(exported), sorted(names)))
    failures += ["decorated export %s" % name for name in exported if "@" in name or name.startswith("_")]

    unexpected = imported_dlls(dump) - ALLOWED_IMPORTS
    if unexpected:
        failures.append("imports DLLs a host may not have: %s" % sorted(unexpected))

    with tempfile.TemporaryDirectory() as scratch:
        with open(os.path.join(scratch, "probe.c"), "w") as f:
            f.write(probe_source(names))
        link = subprocess.run([compiler, "-Wall", "-Werror", "-I", include_dir, "probe.c", import_library,
                               "-loleaut32", "-o", "probe.exe"],
                              cwd=scratch, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              universal_newlines=True)
        if link.returncode != 0:
            failures.append("a C program taking every export's address does not link:\n" + link.stdout)
        else:
            probe_dump = subprocess.run([objdump, "-p", os.path.join(scratch, "probe.exe")],
                                        stdout=subprocess.PIPE, check=True, universal_newlines=True).stdout
            # The program's imports from quorvex.dll are the plain names the DLL exports.
            section = probe_dump.split("DLL Name: quorvex.dll", 1)
            imported = set(re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)\s*$", section[1].split("\n\n", 1)[0], re.M)) \
                if len(section) == 2 else set()
            if imported != set(names):
                failures.append("the linked program imports %s from quorvex.dll" % sorted(imported))

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
