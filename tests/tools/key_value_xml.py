#!/usr/bin/python3
"""Writes an XML-signature key value for the public key in a certificate:
RSAKeyValue (with the ds: prefix) or DSAKeyValue, Base64 wrapped at 64.
Usage: key_value_xml.py <cert.pem>"""
import base64
import sys

from cryptography import x509
from cryptography.hazmat.primitives.asymmetric import dsa, rsa


def b64(n):
    s = base64.b64encode(n.to_bytes((n.bit_length() + 7) // 8, "big")).decode()
    return "\n".join(s[i:i + 64] for i in range(0, len(s), 64))


key = x509.load_pem_x509_certificate(open(sys.argv[1], "rb").read()).public_key()
if isinstance(key, rsa.RSAPublicKey):
    n = key.public_numbers()
    print('<ds:KeyValue xmlns:ds="http://www.w3.org/2000/09/xmldsig#"><ds:RSAKeyValue>'
          "<ds:Modulus>%s</ds:Modulus><ds:Exponent>%s</ds:Exponent></ds:RSAKeyValue></ds:KeyValue>"
          % (b64(n.n), b64(n.e)))
elif isinstance(key, dsa.DSAPublicKey):
    n = key.public_numbers()
    p = n.parameter_numbers
    print("<DSAKeyValue><P>%s</P><Q>%s</Q><G>%s</G><Y>%s</Y></DSAKeyValue>"
          % (b64(p.p), b64(p.q), b64(p.g), b64(n.y)))
