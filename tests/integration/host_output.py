"""Reading what a host process prints, without waiting past a deadline."""
import os
import select
import time


def first_line(stream, seconds):
    """The first line `stream` gives within `seconds`, spaces around it removed
    (what came, when the line never ends)."""
    deadline = time.monotonic() + seconds
    line = b""
    while not line.endswith(b"\n") and time.monotonic() < deadline:
        ready, _, _ = select.select([stream], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            break
        byte = os.read(stream.fileno(), 1)
        if not byte:
            break
        line += byte
    return line.decode(errors="replace").strip()
