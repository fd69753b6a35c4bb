#!/usr/bin/python3
"""Certificates that attack a trust decision, written into OUTDIR.

Well-formed certificates are made with python cryptography. The malformed
ones (times that are not DER, degenerate public keys, strict profile
violations) are TBSCertificates written here byte by byte and signed with
the CA's key, since no careful library will make them; EC keys with
explicit parameters come from the openssl tool. Every file is NAME.pem /
NAME.der (and NAME.key when the private key exists).
"""
import datetime
import os
import ssl
import subprocess
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import dsa, padding, rsa
from cryptography.x509.oid import NameOID

OUT = sys.argv[1] if len(sys.argv) > 1 else "."
NOW = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
DAY = datetime.timedelta(days=1)


# --- a small DER writer for the hand-made certificates ---------------------

def tlv(tag, body):
    n = len(body)
    raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([tag]) + (bytes([n]) if n < 0x80 else bytes([0x80 | len(raw)]) + raw) + body


def seq(*items):
    return tlv(0x30, b"".join(items))


def integer(n):
    return tlv(0x02, n.to_bytes(n.bit_length() // 8 + 1, "big", signed=True))


def oid(dotted):
    parts = [int(p) for p in dotted.split(".")]
    body = bytes([40 * parts[0] + parts[1]])
    for p in parts[2:]:
        chunk = [p & 0x7F]
        while p > 0x7F:
            p >>= 7
            chunk.insert(0, 0x80 | (p & 0x7F))
        body += bytes(chunk)
    return tlv(0x06, body)


def bitstring(b):
    return tlv(0x03, b"\x00" + b)


def octets(b):
    return tlv(0x04, b)


NULL, TRUE = b"\x05\x00", b"\x01\x01\xff"
SHA256_RSA = seq(oid("1.2.840.113549.1.1.11"), NULL)


def utc(text):
    return tlv(0x17, text.encode())


def der_time(t):
    return utc(t.strftime("%y%m%d%H%M%SZ"))


def ext(dotted, critical, value):
    return seq(oid(dotted), TRUE if critical else b"", octets(value))


def ku_ext(bits):
    # KeyUsage BIT STRING, bit 0 = digitalSignature (the first bit of the first byte).
    value = sum(0x80 >> b for b in bits)
    return ext("2.5.29.15", True, tlv(0x03, bytes([7 - max(bits) % 8, value])))


def rsa_spki(n, e):
    return seq(seq(oid("1.2.840.113549.1.1.1"), NULL), bitstring(seq(integer(n), integer(e))))


def dsa_spki(p, q, g, y):
    return seq(seq(oid("1.2.840.10040.4.1"), seq(integer(p), integer(q), integer(g))),
               bitstring(integer(y)))


def spki_of(key):
    return key.public_key().public_bytes(serialization.Encoding.DER,
                                         serialization.PublicFormat.SubjectPublicKeyInfo)


def handmade(name, issuer_cert, issuer_key, spki, not_before, not_after, serial, exts=(),
             issuer=None, subject=None, v1=False, outer_alg=SHA256_RSA, hash_alg=hashes.SHA256):
    """issuer, subject: Name DER (default: the issuer's subject, O=Trust Test/CN=name);
    v1: no version field; outer_alg: the algorithm after the TBSCertificate,
    which the signature (hash_alg) follows, while the TBSCertificate names SHA-256."""
    issuer = issuer_cert.subject.public_bytes() if issuer is None else issuer
    subject = dn(name).public_bytes() if subject is None else subject
    parts = [] if v1 else [tlv(0xA0, integer(2))]
    parts += [integer(serial), SHA256_RSA, issuer, seq(not_before, not_after), subject, spki]
    if exts:
        parts.append(tlv(0xA3, seq(*exts)))
    tbs = seq(*parts)
    save_der(name, seq(tbs, outer_alg, bitstring(issuer_key.sign(tbs, padding.PKCS1v15(), hash_alg()))))


# --- files ------------------------------------------------------------------

def write(name, data):
    open(os.path.join(OUT, name), "wb").write(data)


def save_der(name, der):
    write(name + ".der", der)
    write(name + ".pem", ssl.DER_cert_to_PEM_cert(der).encode())


def save(name, cert, key=None):
    save_der(name, cert.public_bytes(serialization.Encoding.DER))
    if key is not None:
        save_key(name, key)


def save_key(name, key):
    write(name + ".key", key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                           serialization.NoEncryption()))


def dn(cn):
    return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Trust Test"),
                      x509.NameAttribute(NameOID.COMMON_NAME, cn)])


SERIAL = [100]
KU_FLAGS = ("digital_signature", "content_commitment", "key_encipherment", "data_encipherment",
            "key_agreement", "key_cert_sign", "crl_sign", "encipher_only", "decipher_only")


def make(cn, key, issuer_name, issuer_key, before=None, after=None, ca=False, ku=None, bc=True):
    SERIAL[0] += 1
    b = (x509.CertificateBuilder().subject_name(dn(cn)).issuer_name(issuer_name or dn(cn))
         .public_key(key.public_key()).serial_number(SERIAL[0])
         .not_valid_before(before or NOW - DAY).not_valid_after(after or NOW + 365 * DAY)
         .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()), False))
    if bc:
        b = b.add_extension(x509.BasicConstraints(ca=ca, path_length=None), True)
    if ku is not None:
        b = b.add_extension(x509.KeyUsage(**{f: f in ku for f in KU_FLAGS}), True)
    return b.sign(issuer_key, hashes.SHA256())


def rsa_key(bits=2048, e=65537):
    return rsa.generate_private_key(e, bits)


def key_id(key):
    return x509.SubjectKeyIdentifier.from_public_key(key.public_key()).digest


def strict_profile(ca, ca_key, leaf_key, spki, start, end):
    """What strict X.509 checking finds beyond path validation proper.
    tol_*: profile nits that change nothing a certificate may do; bad_*:
    contradictions, missing names and ambiguous algorithms. Every signer
    has leaf.key; a CA made here has a leaf named NAME_leaf below it."""
    ku_sign = ku_ext([0])
    serial = [800]

    def leaf(name, exts=(), **kw):
        serial[0] += 1
        handmade(name, ca, ca_key, spki, start, end, serial[0], exts, **kw)

    def ca_and_leaf(name, exts, subject=None):
        k = rsa_key()
        subject = dn("CA " + name).public_bytes() if subject is None else subject
        handmade(name, None, k, spki_of(k), start, end, serial[0] + 1, exts, issuer=subject, subject=subject)
        handmade(name + "_leaf", None, k, spki, start, end, serial[0] + 2, issuer=subject)
        serial[0] += 2

    skid = ext("2.5.29.14", False, octets(os.urandom(20)))
    bc_ca = ext("2.5.29.19", True, seq(TRUE))
    ku_ca = ku_ext([5, 6])  # keyCertSign, cRLSign
    # Tolerated: a CA without subject key identifier, without key usage (also
    # with a path length), with basicConstraints not critical.
    ca_and_leaf("tol_ca_no_skid", [bc_ca, ku_ca])
    ca_and_leaf("tol_ca_no_ku", [bc_ca, skid])
    ca_and_leaf("tol_ca_pathlen_no_ku", [ext("2.5.29.19", True, seq(TRUE, integer(0))), skid])
    ca_and_leaf("tol_ca_bc_not_critical", [ext("2.5.29.19", False, seq(TRUE)), ku_ca, skid])
    # Refused: a path length or keyCertSign on a certificate that is no CA,
    # empty names, an empty subjectAltName or one that carries the only name
    # without being critical, signature algorithms that differ inside and
    # outside the signed part, extensions in a version 1 certificate, key
    # identifiers marked critical (OpenSSL handles them as unknown then).
    leaf("bad_akid_critical", [ext("2.5.29.35", True, seq(tlv(0x80, key_id(ca_key)))), ku_sign])
    leaf("bad_skid_critical", [ext("2.5.29.14", True, octets(key_id(leaf_key))), ku_sign])
    leaf("bad_pathlen_non_ca", [ext("2.5.29.19", True, seq(integer(0))), ku_sign])
    leaf("bad_certsign_non_ca", [ext("2.5.29.19", True, seq()), ku_ext([0, 5])])
    ca_and_leaf("bad_ca_empty_subject", [bc_ca, ku_ca, skid], subject=seq())
    leaf("bad_empty_subject", [ku_sign], subject=seq())
    san = ext("2.5.29.17", False, seq(tlv(0x82, b"signer.example")))
    leaf("bad_empty_subject_san_not_critical", [san], subject=seq())
    leaf("bad_empty_san", [ext("2.5.29.17", False, seq())])
    leaf("bad_sig_alg_inconsistent", outer_alg=seq(oid("1.2.840.113549.1.1.12"), NULL),
         hash_alg=hashes.SHA384)
    leaf("bad_v1_with_extensions", [ku_sign], v1=True)
    # EC signers made by the openssl tool, their keys in NAME.key: a named
    # curve, and the same curve spelt out as explicit parameters, which is
    # how a forged curve with a chosen generator would look.
    for name, enc in (("tol_ec_named", "named_curve"), ("bad_ec_explicit", "explicit")):
        serial[0] += 1
        base = os.path.join(OUT, name)
        for cmd in (["ecparam", "-name", "prime256v1", "-param_enc", enc, "-genkey", "-noout",
                     "-out", base + ".key"],
                    ["req", "-new", "-key", base + ".key", "-subj", "/O=Trust Test/CN=" + name,
                     "-out", base + ".csr"],
                    ["x509", "-req", "-in", base + ".csr", "-CA", os.path.join(OUT, "ca.pem"),
                     "-CAkey", os.path.join(OUT, "ca.key"), "-set_serial", str(serial[0]),
                     "-days", "365", "-outform", "DER", "-out", base + ".der"]):
            subprocess.run(["openssl"] + cmd, check=True, capture_output=True)
        save_der(name, open(base + ".der", "rb").read())


def main():
    os.makedirs(OUT, exist_ok=True)
    expired, future = dict(before=NOW - 400 * DAY, after=NOW - DAY), dict(before=NOW + DAY, after=NOW + 400 * DAY)
    ca_key, other_key, inter_key, leaf_key = rsa_key(), rsa_key(), rsa_key(), rsa_key()
    ca = make("Trust CA", ca_key, None, ca_key, ca=True, ku=["key_cert_sign", "crl_sign"])
    inter = make("Trust Intermediate", inter_key, ca.subject, ca_key, ca=True, ku=["key_cert_sign"])
    save("ca", ca, ca_key)
    save("inter", inter, inter_key)
    save_key("leaf", leaf_key)
    # The same CA and intermediate out of their period, and a CA nobody trusts.
    save("ca_expired", make("Trust CA", ca_key, None, ca_key, ca=True, ku=["key_cert_sign"], **expired))
    save("ca_future", make("Trust CA", ca_key, None, ca_key, ca=True, ku=["key_cert_sign"], **future))
    save("other_ca", make("Other CA", other_key, None, other_key, ca=True, ku=["key_cert_sign"]), other_key)
    save("inter_expired", make("Trust Intermediate", inter_key, ca.subject, ca_key, ca=True,
                               ku=["key_cert_sign"], **expired))
    signers = {"ok": {}, "expired": expired, "future": future, "ku_sign": dict(ku=["digital_signature"]),
               "ku_nonrep": dict(ku=["content_commitment"]), "ku_tls_server": dict(ku=["key_encipherment"])}
    for name, kw in signers.items():
        save("leaf_" + name, make("Signer " + name, leaf_key, ca.subject, ca_key, **kw))
    save("leaf_sibling", make("Signer sibling", leaf_key, ca.subject, ca_key))
    save("leaf_of_inter", make("Signer below intermediate", leaf_key, inter.subject, inter_key))
    # A CA whose key usage leaves out certificate signing, and a "CA"
    # without basicConstraints, each with a leaf below it.
    for name, kw in {"ca_no_certsign": dict(ca=True, ku=["digital_signature"]),
                     "ca_no_bc": dict(bc=False)}.items():
        k = rsa_key()
        save(name, make("CA " + name, k, None, k, **kw), k)
        save("leaf_under_" + name, make("Signer under " + name, leaf_key, dn("CA " + name), k))

    # Times that are not DER: the signer key is sound, the CA signs.
    spki = spki_of(leaf_key)
    start, end = der_time(NOW - DAY), der_time(NOW + 365 * DAY)
    times = {"ok": (start, end), "offset_past": (start, utc("100101000000+0100")),
             "offset_future": (start, utc("491231000000+0100")), "month13": (start, utc("491301000000Z")),
             "11_digits": (start, utc("49123100000Z")), "no_seconds": (start, utc("4912310000Z")),
             "fraction": (tlv(0x18, b"20200101000000.5Z"), end), "feb30": (start, utc("490230000000Z"))}
    for serial, (name, (nb, na)) in enumerate(times.items(), 201):
        handmade("time_" + name, ca, ca_key, spki, nb, na, serial)

    # Degenerate and sound RSA keys on one 2048-bit modulus, and DSA g = 1.
    n = leaf_key.public_key().public_numbers().n
    for e in (1, 2, 3, 65537, 2**32 - 1, 2**32 + 1, 2**64 + 1):
        handmade("rsa_e_%d" % e, ca, ca_key, rsa_spki(n, e), start, end, 300 + e % 1000)
    handmade("rsa_1024", ca, ca_key, rsa_spki(rsa_key(1024).public_key().public_numbers().n, 65537),
             start, end, 401)
    n_small = rsa_key(1024).public_key().public_numbers().n >> 8
    handmade("rsa_1016", ca, ca_key, rsa_spki(n_small | 1, 65537), start, end, 402)
    params = dsa.generate_parameters(1024)
    p = params.parameter_numbers()
    good = params.generate_private_key().public_key().public_numbers()
    handmade("dsa_g1", ca, ca_key, dsa_spki(p.p, p.q, 1, 1), start, end, 501)
    handmade("dsa_ok", ca, ca_key, dsa_spki(p.p, p.q, p.g, good.y), start, end, 502)
    strict_profile(ca, ca_key, leaf_key, spki, start, end)

    # The one message every raw test signs, and the signatures that need no
    # private key once the key is degenerate: RSA e = 1 verifies the padded
    # digest itself, DSA g = y = 1 verifies r = 1 with any s. msg.bin is
    # written last: its presence marks the material complete.
    msg = b"ticket body signed by a degenerate key\n"
    digest = hashes.Hash(hashes.SHA256())
    digest.update(msg)
    info = bytes.fromhex("3031300d060960864801650304020105000420") + digest.finalize()
    k = (n.bit_length() + 7) // 8
    write("rsa_e_1.sig", b"\x00\x01" + b"\xff" * (k - 3 - len(info)) + b"\x00" + info)
    write("dsa_g1.sig", seq(integer(1), integer(1)))
    write("msg.bin", msg)


if __name__ == "__main__":
    main()
