#!/usr/bin/env python3
"""Times a typed key through the native program's window to the device.

    key_probe.py WINDOW RXFILE SECONDS

Every 2 s, for SECONDS: the window is given the focus and a key ("a", sent
as X events by xdotool); the time until the device's received-bytes file
grows, from xdotool's start (its own start-up included: an upper bound) and
from its return (the events are on the X server; part of the way may be
gone already: a lower bound), is one figure "upper/lower".
Prints the figures in ms, one line.
"""
import os
import subprocess
import sys
import time

window, rxfile, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
figures = []
end = time.monotonic() + seconds
while time.monotonic() < end:
    time.sleep(2)
    subprocess.run(["xdotool", "windowfocus", "--sync", window], check=False)
    before = os.path.getsize(rxfile) if os.path.exists(rxfile) else 0
    called = time.monotonic()
    subprocess.run(["xdotool", "key", "a"], check=False)
    sent = time.monotonic()
    while time.monotonic() - sent < 2:
        if os.path.exists(rxfile) and os.path.getsize(rxfile) > before:
            now = time.monotonic()
            figures.append(((now - called) * 1000, (now - sent) * 1000))
            break
        time.sleep(0.0005)
    else:
        figures.append((float("inf"), float("inf")))
print(" ".join("%.1f/%.1f" % f for f in figures))
