#!/usr/bin/python3
"""Makes test certificates and writes what an independent X.509 library
reads from them: <out>/<n>.der and <out>/expected.tsv (file, attribute, value)."""
import datetime
import hashlib
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import dsa, ec, rsa
from cryptography.x509.oid import NameOID

out = sys.argv[1]
UTC = datetime.timezone.utc


def name(*attrs):
    return x509.Name([x509.RelativeDistinguishedName(rdn) for rdn in attrs])


def attr(oid, value):
    return x509.NameAttribute(oid, value)


CASES = [
    dict(key=("rsa", 2048), serial=0x80, subject=name([attr(NameOID.COMMON_NAME, "rsa2048")]),
         nb=datetime.datetime(2026, 1, 2, 3, 4, 5, tzinfo=UTC),
         na=datetime.datetime(2030, 12, 31, 23, 59, 59, tzinfo=UTC), ku="sig", ca=None),
    dict(key=("rsa", 3072), serial=0xF1 << 144 | 0x1234,
         subject=name([attr(NameOID.COUNTRY_NAME, "DE")], [attr(NameOID.ORGANIZATION_NAME, "Müller & Söhne")],
                      [attr(NameOID.COMMON_NAME, "東京 サーバ")]),
         nb=datetime.datetime(2025, 6, 1, tzinfo=UTC),
         na=datetime.datetime(2051, 6, 1, 12, 0, 0, tzinfo=UTC), ku="enc", ca=None),
    dict(key=("rsa", 4096), serial=1,
         subject=name([attr(NameOID.ORGANIZATION_NAME, "Root Org")],
                      [attr(NameOID.COMMON_NAME, "Root CA"), attr(NameOID.ORGANIZATIONAL_UNIT_NAME, "PKI")]),
         nb=datetime.datetime(2024, 1, 1, tzinfo=UTC),
         na=datetime.datetime(2060, 1, 1, tzinfo=UTC), ku="ca", ca=2),
    dict(key=("ec", ec.SECP256R1()), serial=0x7F, subject=name([attr(NameOID.COMMON_NAME, "ec256")],
         [attr(NameOID.LOCALITY_NAME, "Walldorf")]),
         nb=datetime.datetime(2026, 3, 1, tzinfo=UTC), na=datetime.datetime(2027, 3, 1, tzinfo=UTC),
         ku=None, ca=None),
    dict(key=("ec", ec.SECP384R1()), serial=0xFF << 144, subject=name([attr(NameOID.COMMON_NAME, "ec384")]),
         nb=datetime.datetime(2049, 12, 31, 23, 59, 59, tzinfo=UTC),
         na=datetime.datetime(2050, 1, 1, tzinfo=UTC), ku="sig", ca=0),
    dict(key=("dsa", 2048), serial=0x0102, subject=name([attr(NameOID.STATE_OR_PROVINCE_NAME, "BW")],
         [attr(NameOID.COMMON_NAME, "dsa")]),
         nb=datetime.datetime(2026, 1, 1, tzinfo=UTC), na=datetime.datetime(2028, 1, 1, tzinfo=UTC),
         ku="sig", ca=None),
]

KU_NAMES = [("digital_signature", "digitalSignature"), ("content_commitment", "nonRepudiation"),
            ("key_encipherment", "keyEncipherment"), ("data_encipherment", "dataEncipherment"),
            ("key_agreement", "keyAgreement"), ("key_cert_sign", "keyCertSign"), ("crl_sign", "cRLSign")]
KU = {"sig": {"digital_signature", "content_commitment"}, "enc": {"key_encipherment", "data_encipherment"},
      "ca": {"key_cert_sign", "crl_sign"}}


def make_key(kind):
    if kind[0] == "rsa":
        return rsa.generate_private_key(65537, kind[1])
    if kind[0] == "dsa":
        return dsa.generate_private_key(kind[1])
    return ec.generate_private_key(kind[1])


def hexpairs(b, sep=":"):
    return sep.join("%02X" % c for c in b)


rows = []
issuer_key = make_key(("rsa", 2048))
issuer = name([attr(NameOID.COMMON_NAME, "Test Issuer")])
for i, c in enumerate(CASES):
    key = make_key(c["key"])
    b = (x509.CertificateBuilder().subject_name(c["subject"]).issuer_name(issuer if i != 2 else c["subject"])
         .public_key(key.public_key()).serial_number(c["serial"])
         .not_valid_before(c["nb"]).not_valid_after(c["na"]))
    if i != 3:
        b = b.add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()), False)
    if c["ku"]:
        flags = {a: a in KU[c["ku"]] for a, _ in KU_NAMES}
        b = b.add_extension(x509.KeyUsage(encipher_only=False, decipher_only=False, **flags), True)
    if c["ca"] is not None:
        b = b.add_extension(x509.BasicConstraints(ca=True, path_length=c["ca"]), True)
    signer = key if i == 2 else issuer_key
    md = hashes.SHA384() if c["key"][0] == "ec" and i == 4 else hashes.SHA256()
    cert = b.sign(signer, md)
    der = cert.public_bytes(serialization.Encoding.DER)
    f = "%d.der" % i
    open("%s/%s" % (out, f), "wb").write(der)
    c2 = x509.load_der_x509_certificate(der)
    sn = c2.serial_number.to_bytes((c2.serial_number.bit_length() + 7) // 8 or 1, "big")
    spki = c2.public_key().public_bytes(serialization.Encoding.DER,
                                        serialization.PublicFormat.SubjectPublicKeyInfo)
    exp = {
        "SUBJECT": c2.subject.rfc4514_string(),
        "ISSUER": c2.issuer.rfc4514_string(),
        "SERIAL": hexpairs(sn, ""),
        "SERIALNO": hexpairs(sn),
        "SERIALINT": str(c2.serial_number),
        "FINGERPRINT": hexpairs(c2.fingerprint(hashes.SHA256())),
        "PKFINGERPRINT": hexpairs(hashlib.sha256(spki).digest()),
        "VALIDFROM_TIME_T_DEC": str(int(c2.not_valid_before.replace(tzinfo=UTC).timestamp())),
        "VALIDTO_TIME_T_DEC": str(int(c2.not_valid_after.replace(tzinfo=UTC).timestamp())),
        "KEYLENGTH": str(c2.public_key().key_size),
        "KEYTYPE": {"rsa": "RSA", "dsa": "DSA", "ec": "EC"}[c["key"][0]],
        "VERSION": "3",
        "SIGALGOID": c2.signature_algorithm_oid.dotted_string,
    }
    try:
        ski = c2.extensions.get_extension_for_class(x509.SubjectKeyIdentifier).value.digest
        exp["SUBJECTKEYID"] = hexpairs(ski)
    except x509.ExtensionNotFound:
        exp["SUBJECTKEYID"] = "<none>"
    try:
        ku = c2.extensions.get_extension_for_class(x509.KeyUsage).value
        exp["KEYUSAGE"] = ", ".join(n for a, n in KU_NAMES if getattr(ku, a))
        sig = ku.digital_signature or ku.content_commitment
    except x509.ExtensionNotFound:
        exp["KEYUSAGE"] = "<none>"
        sig = True
    exp["SIGAVAILABLE"] = "TRUE" if sig else "FALSE"
    try:
        bc = c2.extensions.get_extension_for_class(x509.BasicConstraints).value
        exp["BASICCONSTRAINTS"] = "CA,%d" % (bc.path_length if bc.path_length is not None else -1) if bc.ca else "NOCA"
    except x509.ExtensionNotFound:
        exp["BASICCONSTRAINTS"] = "NOCA"
    for k, v in exp.items():
        rows.append("%s\t%s\t%s" % (f, k, v))
open("%s/expected.tsv" % out, "w", encoding="utf-8").write("\n".join(rows) + "\n")
