#!/usr/bin/env python3
"""The hostile stream of the VT100 benchmarks: random bytes and random escape sequences, the same for a seed.

    python3 bench/vt_flood.py FILE [MEGABYTES] [SEED]

Pieces one after the other: random bytes, text and line ends, well-formed
and truncated control sequences with parameters from 0 to far beyond any
screen (cursor addressing, erases, insert and delete, scroll regions, tab
stops, modes, the queries a device may send), colours of 16, 256 and 24
bits, character set switches, UTF-8 sequences valid and broken, and OSC and
DCS strings up to 64 KB.
"""
import random
import sys

ESC = b"\x1b"
FINALS = b"@ABCDEFGHIJKLMPSTXZ`abcdefghilmnpqrsuxz"


def number(r):
    return r.choice((0, 1, 2, r.randrange(100), r.randrange(100000), 2**31 + r.randrange(9), 10**12))


def csi(r):
    params = ";".join(str(number(r)) for _ in range(r.randrange(6))).encode()
    private = r.choice((b"", b"", b"?", b">", b"="))
    return ESC + b"[" + private + params + bytes([r.choice(FINALS)])


def colour(r):
    kind = r.randrange(4)
    if kind == 0:
        return ESC + b"[%d;%dm" % (r.choice((0, 1, 4, 7, 22, 24, 27)), 30 + r.randrange(10))
    if kind == 1:
        return ESC + b"[%d;5;%dm" % (r.choice((38, 48)), r.randrange(300))
    if kind == 2:
        return ESC + b"[%d;2;%d;%d;%dm" % (r.choice((38, 48)), r.randrange(300), r.randrange(256), r.randrange(256))
    return ESC + b"[%dm" % r.choice((90 + r.randrange(8), 100 + r.randrange(8), 0))


def piece(r):
    k = r.randrange(14)
    if k == 0:
        return r.randbytes(r.randrange(1, 200))
    if k in (1, 2):
        return bytes(r.randrange(32, 127) for _ in range(r.randrange(1, 90))) + r.choice((b"\r\n", b"\n", b"", b"\t"))
    if k in (3, 4):
        return csi(r)
    if k == 5:
        return colour(r)
    if k == 6:
        return ESC + b"[%d;%dr" % (number(r), number(r))
    if k == 7:
        return csi(r)[: r.randrange(1, 6)]  # cut short: the next piece follows inside it
    if k == 8:
        body = bytes(r.randrange(32, 127) for _ in range(r.choice((10, 200, r.randrange(65536)))))
        return ESC + r.choice((b"]0;", b"]2;", b"P")) + body + r.choice((b"\x07", ESC + b"\\", b""))
    if k == 9:
        return ESC + r.choice((b"(0", b"(B", b")0", b"7", b"8", b"D", b"M", b"E", b"H", b"c", b"=", b">", b"#8", b"N", b"O"))
    if k == 10:
        return r.choice(("\u00e9\u2500\u2502\u250c".encode(), "\U0001f600".encode(), b"\xc3", b"\xe2\x94", b"\xff\xfe", b"\xf4\x90\x80\x80"))
    if k == 11:
        return ESC + r.choice((b"[6n", b"[c", b"[5n", b"[>c", b"[?6n"))
    if k == 12:
        return bytes([r.randrange(0, 32)])
    return ESC + b"[%d;%dH" % (number(r), number(r))


def main():
    path = sys.argv[1]
    size = int(float(sys.argv[2]) * 1000000) if len(sys.argv) > 2 else 50000000
    r = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 27)
    with open(path, "wb") as f:
        written = 0
        chunk = []
        while written < size:
            p = piece(r)
            chunk.append(p)
            written += len(p)
            if len(chunk) >= 4096:
                f.write(b"".join(chunk))
                chunk = []
        f.write(b"".join(chunk))


if __name__ == "__main__":
    main()
