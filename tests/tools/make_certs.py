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


def name(*rdns):
    """Each argument one RDN: (OID, value) pairs."""
    return x509.Name([x509.RelativeDistinguishedName([x509.NameAttribute(o, v) for o, v in rdn]) for rdn in rdns])


def t(*fields):
    return datetime.datetime(*fields, tzinfo=UTC)


N = NameOID
CASES = [  # key, serial, subject, not before, not after, key usage, CA path length
    (("rsa", 2048), 0x80, name([(N.COMMON_NAME, "rsa2048")]), t(2026, 1, 2, 3, 4, 5), t(2030, 12, 31, 23, 59, 59),
     "sig", None),
    (("rsa", 3072), 0xF1 << 144 | 0x1234, name([(N.COUNTRY_NAME, "DE")], [(N.ORGANIZATION_NAME, "Müller & Söhne")],
                                               [(N.COMMON_NAME, "東京 サーバ")]),
     t(2025, 6, 1), t(2051, 6, 1, 12, 0, 0), "enc", None),
    (("rsa", 4096), 1, name([(N.ORGANIZATION_NAME, "Root Org")], [(N.COMMON_NAME, "Root CA"),
                                                                  (N.ORGANIZATIONAL_UNIT_NAME, "PKI")]),
     t(2024, 1, 1), t(2060, 1, 1), "ca", 2),
    (("ec", ec.SECP256R1()), 0x7F, name([(N.COMMON_NAME, "ec256")], [(N.LOCALITY_NAME, "Walldorf")]),
     t(2026, 3, 1), t(2027, 3, 1), None, None),
    (("ec", ec.SECP384R1()), 0xFF << 144, name([(N.COMMON_NAME, "ec384")]), t(2049, 12, 31, 23, 59, 59),
     t(2050, 1, 1), "sig", 0),
    (("dsa", 2048), 0x0102, name([(N.STATE_OR_PROVINCE_NAME, "BW")], [(N.COMMON_NAME, "dsa")]),
     t(2026, 1, 1), t(2028, 1, 1), "sig", None),
]

KU_NAMES = [("digital_signature", "digitalSignature"), ("content_commitment", "nonRepudiation"),
            ("key_encipherment", "keyEncipherment"), ("data_encipherment", "dataEncipherment"),
            ("key_agreement", "keyAgreement"), ("key_cert_sign", "keyCertSign"), ("crl_sign", "cRLSign")]
KU = {"sig": {"digital_signature", "content_commitment"}, "enc": {"key_encipherment", "data_encipherment"},
      "ca": {"key_cert_sign", "crl_sign"}}


def make_key(kind):
    return {"rsa": lambda n: rsa.generate_private_key(65537, n), "dsa": dsa.generate_private_key,
            "ec": ec.generate_private_key}[kind[0]](kind[1])


def hexpairs(b, sep=":"):
    return sep.join("%02X" % c for c in b)


rows = []
issuer_key = make_key(("rsa", 2048))
issuer = name([(N.COMMON_NAME, "Test Issuer")])
for i, (kind, serial, subject, nb, na, usage, pathlen) in enumerate(CASES):
    key = make_key(kind)
    b = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer if i != 2 else subject)
         .public_key(key.public_key()).serial_number(serial).not_valid_before(nb).not_valid_after(na))
    if i != 3:
        b = b.add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()), False)
    if usage:
        flags = {a: a in KU[usage] for a, _ in KU_NAMES}
        b = b.add_extension(x509.KeyUsage(encipher_only=False, decipher_only=False, **flags), True)
    if pathlen is not None:
        b = b.add_extension(x509.BasicConstraints(ca=True, path_length=pathlen), True)
    cert = b.sign(key if i == 2 else issuer_key, hashes.SHA384() if i == 4 else hashes.SHA256())
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
        "KEYTYPE": kind[0].upper(),
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
