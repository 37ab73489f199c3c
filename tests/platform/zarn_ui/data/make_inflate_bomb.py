"""Writes inflate_bomb.png: a 1x1 picture whose pixel data inflates to 32 MiB of zeros."""
import struct
import zlib


def chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


header = struct.pack(">IIBBBBB", 1, 1, 8, 6, 0, 0, 0)
pixels = zlib.compress(b"\x00" * (32 << 20), 9)
with open("inflate_bomb.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", pixels) +
            chunk(b"IEND", b""))
