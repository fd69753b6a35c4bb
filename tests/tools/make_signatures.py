#!/usr/bin/python3
"""Makes the signature test data once: a CA, signers certified by it (RSA,
ECDSA P-256, DSA), an expired and an untrusted signer, public keys, raw
signature values and PKCS#7 signatures, all by python cryptography.
Usage: make_signatures.py <out dir>"""
import datetime
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import dsa, ec, padding, rsa
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from cryptography.hazmat.primitives.serialization import pkcs7
from cryptography.x509.oid import NameOID

out = sys.argv[1]
UTC = datetime.timezone.utc
PEM = serialization.Encoding.PEM
DER = serialization.Encoding.DER


def write(name, data):
    with open("%s/%s" % (out, name), "wb") as f:
        f.write(data)


def dn(cn):
    return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Sig Test"),
                      x509.NameAttribute(NameOID.COMMON_NAME, cn)])


def cert(key, cn, issuer_key, issuer_name, serial, ca=False,
         nb=datetime.datetime(2024, 1, 1, tzinfo=UTC), na=datetime.datetime(2099, 1, 1, tzinfo=UTC)):
    b = (x509.CertificateBuilder().subject_name(dn(cn)).issuer_name(issuer_name or dn(cn))
         .public_key(key.public_key()).serial_number(serial).not_valid_before(nb).not_valid_after(na)
         .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()), False)
         .add_extension(x509.BasicConstraints(ca=ca, path_length=None), True))
    return b.sign(issuer_key, hashes.SHA256())


def save(base, key, c):
    write(base + ".key", key.private_bytes(PEM, serialization.PrivateFormat.PKCS8,
                                           serialization.NoEncryption()))
    write(base + ".pem", c.public_bytes(PEM))
    write(base + ".der", c.public_bytes(DER))


msg = bytes(range(256)) * 3 + b"signed ticket content\n"
write("msg.bin", msg)

ca_key = rsa.generate_private_key(65537, 2048)
ca = cert(ca_key, "Sig Test CA", ca_key, None, 1, ca=True)
save("ca", ca_key, ca)
keys = {
    "rsa": rsa.generate_private_key(65537, 2048),
    "ec": ec.generate_private_key(ec.SECP256R1()),
    "dsa": dsa.generate_private_key(2048),
    "old": rsa.generate_private_key(65537, 2048),
}
certs = {}
expired = dict(nb=datetime.datetime(2018, 1, 1, tzinfo=UTC), na=datetime.datetime(2020, 1, 1, tzinfo=UTC))
for serial, (name, key) in enumerate(keys.items(), start=0x1A2):
    certs[name] = cert(key, "Signer " + name, ca_key, ca.subject, serial, **(expired if name == "old" else {}))
    save(name, key, certs[name])
rogue_key = rsa.generate_private_key(65537, 2048)
save("rogue", rogue_key, cert(rogue_key, "Signer rsa", rogue_key, None, 0x1A2))

SPKI = serialization.PublicFormat.SubjectPublicKeyInfo
for file, key, enc, form in (("rsa.pub.pem", "rsa", PEM, SPKI), ("rsa.pub.der", "rsa", DER, SPKI),
                             ("rsa.pkcs1.pem", "rsa", PEM, serialization.PublicFormat.PKCS1),
                             ("ec.pub.pem", "ec", PEM, SPKI)):
    write(file, keys[key].public_key().public_bytes(enc, form))

HASHES = {"sha1": hashes.SHA1(), "sha256": hashes.SHA256(), "sha384": hashes.SHA384(),
          "sha512": hashes.SHA512(), "md5": hashes.MD5()}
for h in ("sha1", "sha256", "sha512", "md5"):
    write("rsa.%s.sig" % h, keys["rsa"].sign(msg, padding.PKCS1v15(), HASHES[h]))
write("old.sha256.sig", keys["old"].sign(msg, padding.PKCS1v15(), hashes.SHA256()))


def flat(der_sig, size):
    r, s = decode_dss_signature(der_sig)
    return r.to_bytes(size, "big") + s.to_bytes(size, "big")


for name, sig in (("dsa", keys["dsa"].sign(msg, hashes.SHA256())),
                  ("ec", keys["ec"].sign(msg, ec.ECDSA(hashes.SHA256())))):
    write(name + ".sha256.sig", sig)
    write(name + ".sha256.flat", flat(sig, 32))

O = pkcs7.PKCS7Options
def p7(name, key, c, h, opts):
    write(name, pkcs7.PKCS7SignatureBuilder().set_data(msg).add_signer(c, key, HASHES[h])
          .sign(DER, [O.Binary] + opts))


p7("py.rsa.detached.p7", keys["rsa"], certs["rsa"], "sha256", [O.DetachedSignature])
p7("py.ec.attached.p7", keys["ec"], certs["ec"], "sha256", [])
p7("py.rsa.noattr.nocerts.p7", keys["rsa"], certs["rsa"], "sha512",
   [O.DetachedSignature, O.NoAttributes, O.NoCerts])
