#!/usr/bin/python3
"""Signs JSON Web Tokens for the tests as an outside signer (python hmac
and cryptography), with the header and payload texts exactly as given.

stdin, one request a line:  ALG KEYREF HEADER_HEX PAYLOAD_HEX
  KEYREF  secret:<hex>            HMAC secret
          rsa:<name>:<bits>       RSA key made here (one per name)
          rfc:<examples.json>     the RSA key of RFC 7515 A.2, named "rfc"
          raw:<hex>               HMAC with these bytes (e.g. a certificate)
          pem:<path>              RSA private key from a PEM file (no key output)
stdout: 'key <name> cert|spki|pem <hex>' for every RSA key, then
        'token <text>' per request, in order."""
import base64
import hashlib
import hmac
import json
import sys

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa

sys.dont_write_bytecode = True  # the shared helpers are imported from the source tree
from make_jws import b64url, print_key, self_signed  # noqa: E402

HASHES = {"256": (hashlib.sha256, hashes.SHA256), "384": (hashlib.sha384, hashes.SHA384),
          "512": (hashlib.sha512, hashes.SHA512)}
keys = {}   # name -> (private key, certificate DER)
out = []


def rsa_key(ref):
    kind, rest = ref.split(":", 1)
    if kind == "pem":
        return serialization.load_pem_private_key(open(rest, "rb").read(), None)
    if kind == "rfc":
        name = "rfc"
        if name not in keys:
            ex = json.load(open(rest))["a2_rs256"]
            key = serialization.load_pem_private_key(ex["private_key_pem"].encode(), None)
            keys[name] = (key, base64.b64decode(ex["certificate_der_base64"]))
    else:
        name, bits = rest.split(":")
        if name not in keys:
            key = rsa.generate_private_key(public_exponent=65537, key_size=int(bits))
            keys[name] = (key, self_signed(key, name))
    return keys[name][0]


for line in sys.stdin:
    if not line.strip():
        continue
    alg, ref, header_hex, payload_hex = line.split()
    signing_input = (b64url(bytes.fromhex(header_hex)) + "." + b64url(bytes.fromhex(payload_hex))).encode()
    hash_fn, hash_cls = HASHES[alg[2:]]
    if alg.startswith("HS"):
        secret = bytes.fromhex(ref.split(":", 1)[1])
        sig = hmac.new(secret, signing_input, hash_fn).digest()
    else:
        sig = rsa_key(ref).sign(signing_input, padding.PKCS1v15(), hash_cls())
    out.append("token " + signing_input.decode() + "." + b64url(sig))

for name, (key, cert) in keys.items():
    print_key(name, key, cert)
print("\n".join(out))
