#!/usr/bin/env python3
"""A Quorvex host in Python, through ctypes (Linux).

    python3 host.py PORT DIRECTORY [LIBRARY]

Serves the files of DIRECTORY on PORT and answers every request under /api/
itself. LIBRARY is the shared library to load (default: libquorvex.so.1, found
as the system finds libraries). Any language that can call a C function can
drive the library the same way: load it, declare the exports it uses, set the
directories and a callback, start the server and pump the message loop.
Ctrl-C or SIGTERM stops it.
"""
import ctypes
import signal
import sys

# A byte string returned by the library: a pointer that must go back to SysFreeString.
BYTE_STRING = ctypes.c_void_p
# int32_t callback(int32_t slot, const char* peer, int32_t peerLength,
#                  const char* request, int32_t requestLength)
REQUEST_CALLBACK = ctypes.CFUNCTYPE(ctypes.c_int32, ctypes.c_int32, ctypes.c_void_p, ctypes.c_int32,
                                    ctypes.c_void_p, ctypes.c_int32)


def load(path):
    """The library with the argument and result types of the exports used here."""
    lib = ctypes.CDLL(path)
    declarations = {
        "SetServerDir": ([ctypes.c_char_p], ctypes.c_int32),
        "WEBSRVSETCGI": ([ctypes.c_char_p], ctypes.c_int16),
        "SetServerCallback": ([REQUEST_CALLBACK], ctypes.c_int32),
        "ServerStart": ([ctypes.c_int32], ctypes.c_int32),
        "ServerStop": ([], None),
        "WEBSRVGETREQUEST": ([ctypes.c_int32], BYTE_STRING),
        "PostResponseC": ([ctypes.c_int32, ctypes.c_char_p, ctypes.c_int32], ctypes.c_int32),
        "SysStringByteLen": ([BYTE_STRING], ctypes.c_uint32),
        "SysFreeString": ([BYTE_STRING], None),
        "QvPumpMessages": ([ctypes.c_int32], ctypes.c_int32),
        "QvPostQuitMessage": ([], None),
    }
    for name, (arguments, result) in declarations.items():
        function = getattr(lib, name)
        function.argtypes = arguments
        function.restype = result
    return lib


def take_text(lib, handle):
    """The bytes of a byte string the library returned; the string is freed."""
    if not handle:
        return b""
    data = ctypes.string_at(handle, lib.SysStringByteLen(handle))
    lib.SysFreeString(handle)
    return data


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    port = int(sys.argv[1])
    directory = sys.argv[2].encode()
    lib = load(sys.argv[3] if len(sys.argv) == 4 else "libquorvex.so.1")

    def on_request(slot, peer, peer_length, request, request_length):
        # The mapped path: "/api/time" arrives as b"api\\time.htm".
        path = take_text(lib, lib.WEBSRVGETREQUEST(slot))
        if not path.replace(b"\\", b"/").startswith(b"api/"):
            return 0  # declined: the server sends the file
        client = ctypes.string_at(peer, peer_length) if peer else b"?"
        answer = b"<p>Answered by the Python host: you asked for <code>%s</code> from %s.</p>" % (path, client)
        lib.PostResponseC(slot, answer, len(answer))
        return 1  # answered: the posted text goes back

    # Kept in a variable for as long as the server may call it.
    callback = REQUEST_CALLBACK(on_request)

    # Directories end with their separator (the library adds it to an existing
    # directory given without it; adding it here says what is meant).
    if not directory.endswith(b"/"):
        directory += b"/"
    lib.SetServerDir(directory)
    lib.WEBSRVSETCGI(directory)
    lib.SetServerCallback(callback)

    # Ctrl-C and SIGTERM post the library's quit message, which ends the pump.
    for stop_signal in (signal.SIGINT, signal.SIGTERM):
        signal.signal(stop_signal, lambda *_: lib.QvPostQuitMessage())

    started = lib.ServerStart(port)
    if started != 0:
        sys.exit("ServerStart(%d) failed with %d" % (port, started))
    print("listening on port %d" % port, flush=True)

    # The library works in the loading thread's message loop. Python runs its
    # signal handlers only between calls, so the loop pumps in short turns.
    while lib.QvPumpMessages(200) != -1:
        pass
    lib.ServerStop()


if __name__ == "__main__":
    main()
