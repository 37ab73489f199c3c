"""Writes the seed inputs of strata_sniff_fuzz (one header of each picture layout the sniffer
knows, cut right after the bytes it reads, plus a JPEG with metadata before its frame) and of
strata_content_id_fuzz (ids in each case and near misses). Run from anywhere."""
import hashlib
import pathlib
import struct

CORPUS = pathlib.Path(__file__).resolve().parent.parent / "corpus"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def riff(fourcc, body):
    return b"RIFF" + struct.pack("<I", 4 + 8 + len(body)) + b"WEBP" + fourcc + \
        struct.pack("<I", len(body)) + body


def jpeg_with_exif(w, h):
    app1 = b"Exif\x00\x00" + bytes(40)
    return (b"\xff\xd8" + b"\xff\xe1" + struct.pack(">H", 2 + len(app1)) + app1 +
            b"\xff\xdb" + struct.pack(">H", 67) + bytes(65) +
            b"\xff\xc2" + struct.pack(">HBHHB", 17, 8, h, w, 3) + bytes(9) + b"\xff\xd9")


SNIFF = {
    "png": b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + struct.pack(">II", 640, 360),
    "gif89a": b"GIF89a" + struct.pack("<HH", 320, 200),
    "jpeg_jfif": (b"\xff\xd8\xff\xe0" + struct.pack(">H", 16) + b"JFIF\x00\x01\x01\x00\x00\x01"
                  b"\x00\x01\x00\x00" + b"\xff\xc0" + struct.pack(">HBHH", 17, 8, 768, 1024)),
    "jpeg_exif_progressive": jpeg_with_exif(17, 4000),
    "webp_lossy": riff(b"VP8 ", b"\x10\x02\x00\x9d\x01\x2a" + struct.pack("<HH", 620, 400)),
    "webp_lossless": riff(b"VP8L", b"\x2f" + struct.pack("<I", (99) | (49 << 14))),
    "webp_extended": riff(b"VP8X", struct.pack("<I", 0) + (1919).to_bytes(3, "little") +
                          (1079).to_bytes(3, "little")),
    "bmp_info": b"BM" + struct.pack("<IIII", 0, 0, 54, 40) + struct.pack("<ii", 800, -600),
    "bmp_core": b"BM" + struct.pack("<IIII", 0, 0, 26, 12) + struct.pack("<HH", 64, 32),
}

ID = hashlib.sha256(b"hello").hexdigest()
CONTENT_ID = {
    "lower": ID.encode(),
    "upper": ID.upper().encode(),
    "mixed": (ID[:32].upper() + ID[32:]).encode(),
    "short": ID[:63].encode(),
    "long": (ID + "0").encode(),
    "dots": ("../" + ID[3:]).encode(),
}

for name, data in SNIFF.items():
    write("strata_sniff_fuzz", name, data)
for name, data in CONTENT_ID.items():
    write("strata_content_id_fuzz", name, data)
