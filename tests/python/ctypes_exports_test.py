#!/usr/bin/env python3
"""The native library's text, cipher and slot exports, called from Python's ctypes.

Usage: ctypes_exports_test.py PATH/TO/libquorvex.so
"""
import ctypes
import sys


def load(path):
    lib = ctypes.CDLL(path)
    byte_string = ctypes.c_void_p
    lib.SysAllocStringByteLen.argtypes = [ctypes.c_char_p, ctypes.c_uint32]
    lib.SysAllocStringByteLen.restype = byte_string
    lib.SysStringByteLen.argtypes = [byte_string]
    lib.SysStringByteLen.restype = ctypes.c_uint32
    lib.SysFreeString.argtypes = [byte_string]
    lib.SysFreeString.restype = None
    lib.WEBSRVPARSE.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]
    lib.WEBSRVPARSE.restype = byte_string
    lib.GetString.argtypes = [ctypes.c_char_p, ctypes.c_int32]
    lib.GetString.restype = byte_string
    lib.WEBSRVGETREQUEST.argtypes = [ctypes.c_int32]
    lib.WEBSRVGETREQUEST.restype = byte_string
    lib.PostResponse.argtypes = [ctypes.c_int32, ctypes.c_char_p]
    lib.PostResponse.restype = ctypes.c_int32
    lib.PostResponseA.argtypes = [ctypes.c_int32, ctypes.POINTER(byte_string)]
    lib.PostResponseA.restype = ctypes.c_int32
    lib.PostResponseC.argtypes = [ctypes.c_int32, ctypes.c_char_p, ctypes.c_int32]
    lib.PostResponseC.restype = ctypes.c_int32
    for name in ("TEA_Encode", "TEA_Decode"):
        function = getattr(lib, name)
        function.argtypes = [ctypes.POINTER(byte_string), ctypes.c_char_p]
        function.restype = byte_string
    return lib


def take(lib, handle):
    """The bytes of a returned byte string, which is then freed."""
    if not handle:
        raise AssertionError("an export returned a null string")
    length = lib.SysStringByteLen(handle)
    data = ctypes.string_at(handle, length)
    if ctypes.string_at(handle + length, 1) != b"\0":
        raise AssertionError("byte string is not followed by a zero byte")
    lib.SysFreeString(handle)
    return data


def make(lib, data):
    return ctypes.c_void_p(lib.SysAllocStringByteLen(data, len(data)))


def check(failures, label, got, expected):
    if got != expected:
        failures.append("%s: got %r, expected %r" % (label, got, expected))


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    lib = load(sys.argv[1])
    failures = []

    for index, expected in ((1, b"a"), (3, b""), (4, b"c"), (-1, b"c"), (-4, b"a"), (0, b""), (5, b"")):
        check(failures, "WEBSRVPARSE %d" % index,
              take(lib, lib.WEBSRVPARSE(b"a,b;;c", b",;", index)), expected)
    check(failures, "WEBSRVPARSE null text", take(lib, lib.WEBSRVPARSE(None, b",", 1)), b"")

    check(failures, "GetString", take(lib, lib.GetString(b"A\0B\0C", 5)), b"A\0B\0C")
    check(failures, "GetString count 0", take(lib, lib.GetString(b"abc", 0)), b"")

    plain = b"Hello from ctypes\0\xff"
    text = make(lib, plain)
    cipher = take(lib, lib.TEA_Encode(ctypes.byref(text), b"python key"))
    check(failures, "TEA_Encode length", len(cipher), 24)
    if cipher[:8] == plain[:8]:
        failures.append("TEA_Encode left the first block unchanged")
    encoded = make(lib, cipher)
    check(failures, "TEA_Decode", take(lib, lib.TEA_Decode(ctypes.byref(encoded), b"python key")),
          plain + b" " * 5)
    check(failures, "host string unchanged", take(lib, text.value), plain)
    lib.SysFreeString(encoded)

    # The server was never started in this process: the slot exports have no
    # table yet, so each one stores nothing and says so.
    for slot in (0, 3, 500):
        check(failures, "WEBSRVGETREQUEST %d before any start" % slot, take(lib, lib.WEBSRVGETREQUEST(slot)), b"")
        check(failures, "PostResponse %d before any start" % slot, lib.PostResponse(slot, b"answer"), 0)
        check(failures, "PostResponseC %d before any start" % slot, lib.PostResponseC(slot, b"a\0b", 3), 0)
        variable = make(lib, b"a\0b")
        before = variable.value
        check(failures, "PostResponseA %d before any start" % slot, lib.PostResponseA(slot, ctypes.byref(variable)), 0)
        check(failures, "PostResponseA %d left the variable" % slot, variable.value, before)
        check(failures, "PostResponseA %d left the bytes" % slot, take(lib, variable.value), b"a\0b")

    for failure in failures:
        print("FAIL", failure)
    if failures:
        return 1
    print("ctypes exports: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
