#!/usr/bin/env python3
"""Writes resources/zelto.ico, the program's icon: one 32 x 32 image in 16 colours.

    python3 scripts/make_icon.py [OUT.ico]
    python3 scripts/make_icon.py --png SIZE OUT.png

With --png it writes the same picture as a PNG of SIZE x SIZE pixels (each
pixel of the picture a square of them, nearest neighbour), for the icon
theme of the Debian package.

The picture is a small terminal screen with a prompt, drawn below as text,
one character per pixel. Run it again after changing the picture.
"""
import struct
import sys
import zlib

# The 16-colour palette in its usual order, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
# Picture characters: '.' is transparent, the others name palette entries.
COLOURS = {"k": 0, "G": 2, "n": 4, "t": 6, "s": 7, "g": 8, "L": 10, "y": 11, "b": 12, "c": 14, "w": 15}

PICTURE = [
    "................................",
    "................................",
    "..wwwwwwwwwwwwwwwwwwwwwwwwwwww..",
    "..wssssssssssssssssssssssssssg..",
    "..wsgggggggggggggggggggggggwsg..",
    "..wsgkkkkkkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkkkkkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkLkkkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkLLkkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkkLLkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkkkLLkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkkLLkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkLLkkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkLkkkkLLLLLkkkkkkkkkkwsg..",
    "..wsgkkkkkkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkGGGkGGGGGkGGGkkkkkkkwsg..",
    "..wsgkkkkkkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkGGGGkGGGkGGGGGGkkkkkwsg..",
    "..wsgkkkkkkkkkkkkkkkkkkkkkkwsg..",
    "..wsgkkGGkGGGGGGkkkkkkkkkkkwsg..",
    "..wsgkkkkkkkkkkkkkkkkkkkkkkwsg..",
    "..wswwwwwwwwwwwwwwwwwwwwwwwwsg..",
    "..wsssssssssssssssssssssyLsssg..",
    "..wgggggggggggggggggggggggggggk.",
    "...kkkkkkkkkkkkkkkkkkkkkkkkkkkk.",
    ".............gsssssg............",
    ".............gsssssg............",
    ".........wwwwsssssssswwww.......",
    ".........wsssssssssssssssg......",
    ".........gggggggggggggggggk.....",
    "..........kkkkkkkkkkkkkkkkk.....",
    "................................",
]


def build():
    assert len(PICTURE) == 32 and all(len(r) == 32 for r in PICTURE)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(PICTURE):   # bitmaps are stored bottom row first
        idx = [0 if ch == "." else COLOURS[ch] for ch in row]
        for x in range(0, 32, 2):
            xor.append((idx[x] << 4) | idx[x + 1])
        bits = 0
        for ch in row:
            bits = (bits << 1) | (1 if ch == "." else 0)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def build_png(size):
    """The picture as an RGBA PNG of size x size pixels."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)   # no filter
        row = PICTURE[y * 32 // size]
        for x in range(size):
            ch = row[x * 32 // size]
            raw += bytes((0, 0, 0, 0)) if ch == "." else bytes(PALETTE[COLOURS[ch]] + (255,))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--png":
        with open(sys.argv[3], "wb") as f:
            f.write(build_png(int(sys.argv[2])))
        sys.exit(0)
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/zelto.ico"
    with open(out, "wb") as f:
        f.write(build())
