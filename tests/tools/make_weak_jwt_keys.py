#!/usr/bin/python3
"""Tokens that verify under degenerate public keys, written into OUTDIR.

Careful libraries refuse to make or use such keys, so the RSA arithmetic is
done here by hand: every signature is checked with pow() before it is
written, so a token that a verifier refuses is refused for its key alone.
For every case NAME there are NAME.der (certificate, signed by a throwaway
CA with python cryptography), NAME.spki (DER SubjectPublicKeyInfo) and
NAME.ALG.jwt for each algorithm the key is used with.
"""
import base64
import hashlib
import json
import math
import os
import secrets
import sys

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, rsa

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_trust_material as tm  # noqa: E402  (DER writer and hand-made certificates)

OUT = sys.argv[1]
DIGEST_INFO_SHA256 = bytes.fromhex("3031300d060960864801650304020105000420")
HEADERS = {"RS256": {"alg": "RS256", "typ": "JWT"}, "PS256": {"alg": "PS256", "typ": "JWT"},
           "ES256": {"alg": "ES256", "typ": "JWT"}}


def b64url(b):
    return base64.urlsafe_b64encode(b).rstrip(b"=").decode()


def signing_input(alg, n):
    body = {"sub": "weak", "exp": 4102444800, "jti": str(n)}
    return (b64url(json.dumps(HEADERS[alg], separators=(",", ":")).encode()) + "." +
            b64url(json.dumps(body, separators=(",", ":")).encode()))


def is_prime(n):
    if n < 2:
        return False
    for p in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37):
        if n % p == 0:
            return n == p
    d, r = n - 1, 0
    while d % 2 == 0:
        d, r = d // 2, r + 1
    for _ in range(32):
        x = pow(secrets.randbelow(n - 3) + 2, d, n)
        if x in (1, n - 1):
            continue
        for _ in range(r - 1):
            x = pow(x, 2, n)
            if x == n - 1:
                break
        else:
            return False
    return True


def prime(bits, ok=lambda p: True):
    while True:
        p = secrets.randbits(bits) | (3 << (bits - 2)) | 1
        if ok(p) and is_prime(p):
            return p


def emsa_pkcs1(msg, k):
    info = DIGEST_INFO_SHA256 + hashlib.sha256(msg).digest()
    return b"\x00\x01" + b"\xff" * (k - 3 - len(info)) + b"\x00" + info


def emsa_pss(msg, mod_bits):
    # RFC 8017 9.1.1 with SHA-256, MGF1-SHA-256 and a salt as long as the hash.
    em_bits, h_len = mod_bits - 1, 32
    em_len = (em_bits + 7) // 8
    salt = secrets.token_bytes(h_len)
    h = hashlib.sha256(b"\x00" * 8 + hashlib.sha256(msg).digest() + salt).digest()
    db = b"\x00" * (em_len - 2 * h_len - 2) + b"\x01" + salt
    mask = b"".join(hashlib.sha256(h + c.to_bytes(4, "big")).digest() for c in range((len(db) + 31) // 32))
    masked = bytearray(x ^ y for x, y in zip(db, mask))
    masked[0] &= 0xFF >> (8 * em_len - em_bits)
    return bytes(masked) + h + b"\xbc"


def root(c, e, p):
    """x with x^e = c (mod p), for e odd and prime to p - 1, or e = 2m with
    m odd and prime to p - 1, p = 3 (mod 4) and c a square; else None."""
    if e % 2 == 0:
        if pow(c, (p - 1) // 2, p) != 1:
            return None
        c, e = pow(c, (p + 1) // 4, p), e // 2
    if math.gcd(e, p - 1) != 1:
        return None
    return pow(c, pow(e, -1, p - 1), p)


def forge(alg, n, e, primes):
    """A token whose signature s has s^e = EM (mod n); tries claims until
    the encoded message has an e-th root."""
    k = (n.bit_length() + 7) // 8
    for attempt in range(200):
        text = signing_input(alg, attempt)
        em = emsa_pkcs1(text.encode(), k) if alg == "RS256" else emsa_pss(text.encode(), n.bit_length())
        m = int.from_bytes(em, "big")
        if e == 1:
            s = m
        else:
            p, q = primes
            sp, sq = root(m % p, e, p), root(m % q, e, q)
            if sp is None or sq is None:
                continue
            s = (sp + p * ((sq - sp) * pow(p, -1, q) % q)) % n
        assert pow(s, e, n) == m
        return text + "." + b64url(s.to_bytes(k, "big"))
    raise SystemExit("no token for e=%d" % e)


def save(name, spki, ca, ca_key, serial, tokens):
    tm.write(name + ".spki", spki)
    tm.handmade(name, ca, ca_key, spki, tm.der_time(tm.NOW - tm.DAY), tm.der_time(tm.NOW + 365 * tm.DAY), serial)
    for alg, token in tokens.items():
        tm.write("%s.%s.jwt" % (name, alg), token.encode())


def main():
    os.makedirs(OUT, exist_ok=True)
    tm.OUT = OUT
    ca_key = rsa.generate_private_key(65537, 2048)
    ca = tm.make("Weak Key CA", ca_key, None, ca_key, ca=True, ku=["key_cert_sign"])

    # 2048 bits, so that PS256 may use it: e = 65537 is the sound control,
    # e = 1 makes the encoded message its own signature.
    # 1024 bits, p = q = 3 (mod 4) and p - 1, q - 1 prime to the odd parts
    # of every exponent below, so that e-th roots exist.
    odd_parts = 65537 * 32769 * (2**32 + 1) * 3
    def fits(p):
        return p % 4 == 3 and math.gcd(odd_parts, p - 1) == 1
    cases = []
    p, q = prime(1024, fits), prime(1024, fits)
    for e in (65537, 1):
        cases.append(("rsa2048_e_%d" % e, p * q, e, (p, q), ("RS256", "PS256")))
    p, q = prime(512, fits), prime(512, fits)
    for e in (65537, 3, 2, 65538, 2**32 + 1):
        cases.append(("rsa1024_e_%d" % e, p * q, e, (p, q), ("RS256",)))
    p, q = prime(256, fits), prime(256, fits)
    cases.append(("rsa512_e_65537", p * q, 65537, (p, q), ("RS256",)))
    for serial, (name, n, e, primes, algs) in enumerate(cases, 600):
        save(name, tm.rsa_spki(n, e), ca, ca_key, serial, {alg: forge(alg, n, e, primes) for alg in algs})

    # An EC public key whose point is off the curve: y of a real key plus one.
    key = ec.generate_private_key(ec.SECP256R1())
    nums = key.public_key().public_numbers()
    text = signing_input("ES256", 0)
    from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
    r, s = decode_dss_signature(key.sign(text.encode(), ec.ECDSA(hashes.SHA256())))
    token = text + "." + b64url(r.to_bytes(32, "big") + s.to_bytes(32, "big"))
    def ec_spki(y):
        point = b"\x04" + nums.x.to_bytes(32, "big") + y.to_bytes(32, "big")
        return tm.seq(tm.seq(tm.oid("1.2.840.10045.2.1"), tm.oid("1.2.840.10045.3.1.7")), tm.bitstring(point))
    # The sound EC key as python cryptography writes it, to pin the hand-made DER.
    assert ec_spki(nums.y) == tm.spki_of(key)
    for name, y in (("ec_p256_ok", nums.y), ("ec_p256_off_curve", nums.y + 1)):
        save(name, ec_spki(y), ca, ca_key, 700 + len(name), {"ES256": token})


main()
