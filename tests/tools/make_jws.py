#!/usr/bin/python3
"""Signs JSON Web Tokens with ES, PS and EdDSA as an outside signer (PyJWT
over python cryptography), makes the keys and writes them in every form the
library reads: certificate, SubjectPublicKeyInfo, PEM and JWK.

stdin, one request a line:  ALG[/VARIANT] KEYREF HEADERS_HEX PAYLOAD_HEX
  ALG       any PyJWT algorithm name (HS256 ... EdDSA)
  VARIANT   der      ES signature in DER form instead of R || S
            salt0    PS signature with an empty salt
            mgf1sha1 PS signature with MGF1 over SHA-1
  KEYREF    <name>:<kind>  key made here once per name; kind is rsa2048,
                           rsa3072, rsa1024, p256, p384, p521, ed25519, ed448
            secret:<hex>   HMAC secret
  HEADERS   JSON object of header members besides "alg" and "typ"; a
            header "typ": null leaves "typ" out
stdout: 'key <name> cert|spki|pem|jwk <hex>' for every key made, then
        'token <text>' per request, in order."""
import base64
import datetime
import json
import sys

import jwt
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, ed448, ed25519, padding, rsa, utils
from cryptography.x509.oid import NameOID

HASHES = {"256": hashes.SHA256, "384": hashes.SHA384, "512": hashes.SHA512}
keys = {}  # name -> private key
out = []


def b64url(b):
    return base64.urlsafe_b64encode(b).rstrip(b"=").decode()


def make_key(kind):
    if kind.startswith("rsa"):
        return rsa.generate_private_key(public_exponent=65537, key_size=int(kind[3:]))
    curves = {"p256": ec.SECP256R1, "p384": ec.SECP384R1, "p521": ec.SECP521R1}
    if kind in curves:
        return ec.generate_private_key(curves[kind]())
    return {"ed25519": ed25519.Ed25519PrivateKey, "ed448": ed448.Ed448PrivateKey}[kind].generate()


def self_signed(key, cn):
    now = datetime.datetime.now(datetime.timezone.utc)
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, cn)])
    algo = None if isinstance(key, (ed25519.Ed25519PrivateKey, ed448.Ed448PrivateKey)) else hashes.SHA256()
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=3650)).sign(key, algo))
    return cert.public_bytes(serialization.Encoding.DER)


def public_jwk(key):
    pub = key.public_key()
    if isinstance(key, rsa.RSAPrivateKey):
        return jwt.algorithms.RSAAlgorithm.to_jwk(pub)
    if isinstance(key, ec.EllipticCurvePrivateKey):
        # Coordinates at the full width of the curve: the packaged PyJWT drops
        # leading zero bytes, which a strict reader rightly refuses.
        nums = pub.public_numbers()
        width = (pub.curve.key_size + 7) // 8
        crv = {256: "P-256", 384: "P-384", 521: "P-521"}[pub.curve.key_size]
        return json.dumps({"kty": "EC", "crv": crv, "x": b64url(nums.x.to_bytes(width, "big")),
                           "y": b64url(nums.y.to_bytes(width, "big"))})
    return jwt.algorithms.OKPAlgorithm.to_jwk(pub)


def variant_signature(alg, variant, key, signing_input):
    h = HASHES[alg[2:]]()
    if variant == "der":
        return key.sign(signing_input, ec.ECDSA(h))
    mgf = padding.MGF1(hashes.SHA1() if variant == "mgf1sha1" else h)
    salt = 0 if variant == "salt0" else h.digest_size
    return key.sign(signing_input, padding.PSS(mgf=mgf, salt_length=salt), h)


def print_key(name, key, cert_der, jwk=None):
    spki = serialization.PublicFormat.SubjectPublicKeyInfo
    forms = [("cert", cert_der), ("spki", key.public_key().public_bytes(serialization.Encoding.DER, spki)),
             ("pem", key.public_key().public_bytes(serialization.Encoding.PEM, spki))]
    for form, data in forms + ([("jwk", jwk.encode())] if jwk is not None else []):
        print("key", name, form, data.hex())


def main():
    for line in sys.stdin:
        if not line.strip():
            continue
        alg_variant, ref, headers_hex, payload_hex = line.split()
        alg, _, variant = alg_variant.partition("/")
        name, kind = ref.split(":", 1)
        if name == "secret":
            key = bytes.fromhex(kind)
        else:
            if name not in keys:
                keys[name] = make_key(kind)
            key = keys[name]
        headers = json.loads(bytes.fromhex(headers_hex))
        payload = bytes.fromhex(payload_hex)
        token = jwt.api_jws.encode(payload, key, algorithm=alg, headers=headers)
        if variant:
            signing_input = token.rsplit(".", 1)[0]
            token = signing_input + "." + b64url(variant_signature(alg, variant, key, signing_input.encode()))
        out.append("token " + token)

    for name, key in keys.items():
        print_key(name, key, self_signed(key, name), public_jwk(key))
    print("\n".join(out))


if __name__ == "__main__":
    main()
