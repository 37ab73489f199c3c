"""Writes extra seed inputs for image_decode_fuzz, covering layouts the plain fixtures miss:
PNG palette, grey, 16-bit and interlaced; BMP 8-bit palette, 32-bit bit fields and OS/2 headers.
The progressive JPEG and animated WebP seeds come from Debian's jpegtran and img2webp:
  jpegtran -progressive photo.jpg > progressive.jpg
  img2webp -loop 0 -lossless first.webp -d 100 -lossy second.webp -o animated.webp
(two 12x8 frames of different colours).
Run from fuzz/corpus/image_decode_fuzz."""
import struct
import zlib


def chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def png(w, h, depth, colour, rows, plte=b"", interlace=0):
    raw = b"".join(b"\x00" + r for r in rows)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0,
                                                              interlace))
    if plte:
        out += chunk(b"PLTE", plte)
    return out + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def adam7(w, h, bpp, pixel):
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
              (0, 1, 1, 2)]
    rows = []
    for x0, y0, dx, dy in passes:
        xs = range(x0, w, dx)
        for y in range(y0, h, dy):
            if len(xs):
                rows.append(b"".join(pixel(x, y) for x in xs))
    return rows


W, H = 9, 6
with open("palette.png", "wb") as f:
    f.write(png(W, H, 8, 3, [bytes((x + y) % 3 for x in range(W)) for y in range(H)],
                plte=b"\xff\x00\x00\x00\xa0\x00\x00\x00\xff"))
with open("grey16.png", "wb") as f:
    f.write(png(W, H, 16, 0, [b"".join(struct.pack(">H", x * 7000) for x in range(W))
                              for _ in range(H)]))
with open("grey_alpha.png", "wb") as f:
    f.write(png(W, H, 8, 4, [bytes(v for x in range(W) for v in (x * 20, 255 - x * 20))
                             for _ in range(H)]))
with open("interlaced.png", "wb") as f:
    f.write(png(W, H, 8, 6, [r for r in adam7(W, H, 4, lambda x, y: bytes((x * 25, y * 40, 90, 200)))],
                interlace=1))


def bmp(w, h, bpp, info, palette, rows):
    row_size = (w * bpp + 31) // 32 * 4
    body = b"".join(r.ljust(row_size, b"\x00") for r in rows)
    offset = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset) + info + palette + body


info8 = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, 0, 2835, 2835, 3, 0)
with open("palette8.bmp", "wb") as f:
    f.write(bmp(W, H, 8, info8, b"\x00\x00\xff\x00\x00\xa0\x00\x00\xff\x00\x00\x00",
                [bytes((x + y) % 3 for x in range(W)) for y in range(H)]))
info32 = struct.pack("<IiiHHIIiiII", 56, W, -H, 1, 32, 3, 0, 2835, 2835, 0, 0) + struct.pack(
    "<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
with open("bitfields32_topdown.bmp", "wb") as f:
    f.write(bmp(W, H, 32, info32, b"",
                [b"".join(struct.pack("<I", 0x80000000 | x * 0x1F0000) for x in range(W))
                 for _ in range(H)]))
core = struct.pack("<IHHHH", 12, W, H, 1, 24)
with open("os2_core24.bmp", "wb") as f:
    f.write(bmp(W, H, 24, core, b"",
                [b"".join(bytes((x * 20, y * 30, 100)) for x in range(W)) for y in range(H)]))
