#!/usr/bin/python3
"""An independent ticket issuer for tests: builds the ticket byte stream
itself and signs it with python cryptography (or the openssl tool).

  make_ticket.py cert OUT --kind rsa2048|rsa3072|ec256 --cn NAME [--ca BASE]
      OUT.key (PKCS#8 PEM), OUT.pem, OUT.der; --ca BASE signs with BASE.key
      (else self-signed); --is-ca makes a CA certificate.
  make_ticket.py ticket --key K.pem --cert C.pem [fields] [signing] [faults]
      prints the ticket text ("+" written as "!").

Byte stream: version 2, four-character code page, InfoUnits (identifier,
2-byte big-endian length, value) in ascending identifier order, 0xFF, 2-byte
signature length, detached PKCS#7 signature over everything before 0xFF."""
import argparse
import base64
import datetime
import struct
import subprocess
import sys
import tempfile

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, rsa
from cryptography.hazmat.primitives.serialization import pkcs7
from cryptography.x509.oid import NameOID

UTC = datetime.timezone.utc
# Python codecs for the code pages the tests use.
CODECS = {"1100": "latin-1", "4110": "utf-8", "1160": "cp1252", "1401": "iso8859-2",
          "1500": "iso8859-5", "8000": "shift_jis", "1101": "ascii"}
TEXT_UNITS = {"user": 1, "client": 2, "sysid": 3, "lang": 9}
UTF8_UNITS = {"rcpt_client": 15, "rcpt_sysid": 16, "portal": 32, "auth": 136}


def make_cert(a):
    if a.kind.startswith("rsa"):
        key = rsa.generate_private_key(65537, int(a.kind[3:]))
    else:
        key = ec.generate_private_key(ec.SECP256R1())
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, a.cn)])
    issuer, signer = subject, key
    if a.ca:
        issuer = x509.load_pem_x509_certificate(open(a.ca + ".pem", "rb").read()).subject
        signer = serialization.load_pem_private_key(open(a.ca + ".key", "rb").read(), None)
    now = datetime.datetime.now(UTC)
    b = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
         .public_key(key.public_key()).serial_number(x509.random_serial_number())
         .not_valid_before(now - datetime.timedelta(days=1))
         .not_valid_after(now + datetime.timedelta(days=30)))
    if a.is_ca:
        b = b.add_extension(x509.BasicConstraints(ca=True, path_length=None), True)
    cert = b.sign(signer, hashes.SHA256())
    open(a.out + ".key", "wb").write(key.private_bytes(
        serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8, serialization.NoEncryption()))
    open(a.out + ".pem", "wb").write(cert.public_bytes(serialization.Encoding.PEM))
    open(a.out + ".der", "wb").write(cert.public_bytes(serialization.Encoding.DER))


def units(a):
    """(identifier, value) pairs in ascending identifier order."""
    codec = CODECS.get(a.codepage, "latin-1")
    out = [(uid, getattr(a, name).encode(codec)) for name, uid in TEXT_UNITS.items()
           if getattr(a, name) is not None]
    if not a.no_created:
        created = a.created or (datetime.datetime.now(UTC) - datetime.timedelta(minutes=a.age)
                                ).strftime("%Y%m%d%H%M")
        out.append((4, created.encode(codec)))
    for uid, v in ((5, a.hours), (7, a.minutes)):
        if v is not None:
            out.append((uid, struct.pack(">i", v)))
    if a.flags is not None:
        out.append((8, bytes([a.flags])))
    out += [(uid, getattr(a, name).encode("utf-8")) for name, uid in UTF8_UNITS.items()
            if getattr(a, name) is not None]
    return sorted(out, key=lambda u: u[0])


def sign(a, data):
    key = serialization.load_pem_private_key(open(a.key, "rb").read(), None)
    cert = x509.load_pem_x509_certificate(open(a.cert, "rb").read())
    md = {"sha1": hashes.SHA1(), "sha256": hashes.SHA256(), "sha384": hashes.SHA384(),
          "sha512": hashes.SHA512()}[a.hash]
    if a.openssl:
        with tempfile.NamedTemporaryFile() as f:
            f.write(data)
            f.flush()
            cmd = ["openssl", "cms", "-sign", "-binary", "-outform", "DER", "-in", f.name,
                   "-signer", a.cert, "-inkey", a.key, "-md", a.hash]
            cmd += ["-noattr"] * a.no_attrs + ["-nocerts"] * a.no_certs
            return subprocess.run(cmd, check=True, capture_output=True).stdout
    opts = [pkcs7.PKCS7Options.DetachedSignature, pkcs7.PKCS7Options.Binary]
    opts += [o for o, on in ((pkcs7.PKCS7Options.NoAttributes, a.no_attrs),
                             (pkcs7.PKCS7Options.NoCerts, a.no_certs)) if on]
    return (pkcs7.PKCS7SignatureBuilder().set_data(data).add_signer(cert, key, md)
            .sign(serialization.Encoding.DER, opts))


def make_ticket(a):
    signed = bytes([2]) + a.codepage.encode("ascii")[:4].ljust(4, b" ")
    for uid, v in units(a):
        signed += bytes([uid]) + struct.pack(">H", len(v)) + v
    sig = sign(a, signed + b"x" if a.sign_other else signed)
    stream = bytearray(signed + b"\xff" + struct.pack(">H", len(sig)) + sig)
    if a.flip_bit is not None:
        stream[a.flip_bit // 8] ^= 1 << (a.flip_bit % 8)
    if a.truncate:
        stream = stream[:-a.truncate]
    text = base64.b64encode(bytes(stream)).decode("ascii")
    if not a.keep_plus:
        text = text.replace("+", "!")
    if a.urlencode:
        text = text.replace("!", "%21").replace("=", "%3D")
    sys.stdout.write(text)


def main():
    p = argparse.ArgumentParser()
    sub = p.add_subparsers(dest="cmd", required=True)
    c = sub.add_parser("cert")
    c.add_argument("out")
    c.add_argument("--ca")
    c.add_argument("--is-ca", action="store_true")
    t = sub.add_parser("ticket")
    for parser, name, default in ((c, "kind", "rsa2048"), (c, "cn", "Ticket Issuer"), (t, "codepage", "1100"),
                                  (t, "key", None), (t, "cert", None)):
        parser.add_argument("--" + name, default=default, required=default is None)
    for name in list(TEXT_UNITS) + list(UTF8_UNITS):
        t.add_argument("--" + name.replace("_", "-"), dest=name)
    t.add_argument("--created", help="YYYYMMDDHHMM in UTC (default: now - age)")
    t.add_argument("--age", type=int, default=0, help="minutes since creation")
    t.add_argument("--hash", default="sha256")
    t.add_argument("--truncate", type=int, default=0, help="drop bytes from the end")
    # --flip-bit N flips bit N of the byte stream; --no-attrs: no signed
    # attributes; --no-certs: signer certificate left out; --openssl: signed by
    # openssl cms; --sign-other: the signature covers other content.
    for name in ("hours", "minutes", "flags", "flip-bit"):
        t.add_argument("--" + name, type=int)
    for name in ("no-created", "no-attrs", "no-certs", "openssl", "sign-other", "keep-plus", "urlencode"):
        t.add_argument("--" + name, action="store_true")
    a = p.parse_args()
    make_cert(a) if a.cmd == "cert" else make_ticket(a)


main()
