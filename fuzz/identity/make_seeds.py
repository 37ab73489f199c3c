"""Writes the seed inputs of identity_decode_fuzz: identity files with real Ed25519 key pairs
made from fixed seeds, so they are reproducible. The public key is derived here (RFC 8032,
section 5.1.5) to need nothing beyond the standard library. Run from anywhere."""
import hashlib
import pathlib

CORPUS = pathlib.Path(__file__).resolve().parent.parent / "corpus" / "identity_decode_fuzz"

P = 2**255 - 19
L = 2**252 + 27742317777372353535851937790883648493
D = -121665 * pow(121666, P - 2, P) % P
GY = 4 * pow(5, P - 2, P) % P


def recover_x(y):
    xx = (y * y - 1) * pow(D * y * y + 1, P - 2, P)
    x = pow(xx, (P + 3) // 8, P)
    if (x * x - xx) % P:
        x = x * pow(2, (P - 1) // 4, P) % P
    return P - x if x & 1 else x


G = (recover_x(GY), GY, 1, recover_x(GY) * GY % P)


def add(a, b):
    x1, y1, z1, t1 = a
    x2, y2, z2, t2 = b
    aa = (y1 - x1) * (y2 - x2) % P
    bb = (y1 + x1) * (y2 + x2) % P
    cc = 2 * t1 * t2 * D % P
    dd = 2 * z1 * z2 % P
    e, f, g, h = bb - aa, dd - cc, dd + cc, bb + aa
    return (e * f % P, g * h % P, f * g % P, e * h % P)


def mul(s, point):
    out = (0, 1, 1, 0)
    while s:
        if s & 1:
            out = add(out, point)
        point = add(point, point)
        s >>= 1
    return out


def public_key(seed):
    h = hashlib.sha512(seed).digest()
    a = int.from_bytes(h[:32], "little")
    a &= (1 << 254) - 8
    a |= 1 << 254
    x, y, z, _ = mul(a, G)
    zi = pow(z, P - 2, P)
    x, y = x * zi % P, y * zi % P
    return (y | ((x & 1) << 255)).to_bytes(32, "little")


def identity(name, seed):
    pk = public_key(seed)
    return (f"zarn-identity v1\nname {name}\npublic {pk.hex()}\nsecret {(seed + pk).hex()}\n"
            ).encode()


SEEDS = {
    "plain": ("Ada Lovelace", bytes(range(32))),
    "empty_name": ("", bytes([7]) * 32),
    "unicode_name": ("Zoë 山田 🚀", hashlib.sha256(b"zarn").digest()),
    "spaces": ("  padded  ", bytes(32)),
}

CORPUS.mkdir(parents=True, exist_ok=True)
for file, (name, seed) in SEEDS.items():
    (CORPUS / file).write_bytes(identity(name, seed))
