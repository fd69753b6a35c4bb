#!/usr/bin/python3
"""Takes a ticket text apart independently of the library.

Usage: split_ticket.py TICKETFILE OUTDIR
Base64-decodes the text ("!" read as "+"), parses the byte stream itself
and writes OUTDIR/signed.bin (the bytes before the 0xFF marker) and
OUTDIR/signature.der. Prints "version V", "codepage CCCC", one
"unit ID HEX" line per InfoUnit in stream order, then "signature N".
Exits 1 on any defect (bad Base64, "+" in the text, truncation, bad lengths,
trailing bytes after the signature).
"""
import base64
import binascii
import struct
import sys


def fail(why):
    print("error " + why)
    sys.exit(1)


def main():
    text = open(sys.argv[1], "rb").read().rstrip(b"\0").decode("ascii")
    if "+" in text:
        fail("'+' in ticket text")
    try:
        raw = base64.b64decode(text.replace("!", "+"), validate=True)
    except binascii.Error as e:
        fail("base64: %s" % e)
    if len(raw) < 6:
        fail("short stream")
    print("version %d" % raw[0])
    print("codepage %s" % raw[1:5].decode("ascii"))
    pos = 5
    while True:
        if pos >= len(raw):
            fail("no marker")
        ident = raw[pos]
        pos += 1
        if ident == 0xFF:
            break
        if pos + 2 > len(raw):
            fail("truncated length")
        (length,) = struct.unpack(">h", raw[pos:pos + 2])
        pos += 2
        if length < 0 or length > 256 or pos + length > len(raw):
            fail("bad unit length %d" % length)
        print("unit %d %s" % (ident, raw[pos:pos + length].hex()))
        pos += length
    signed = raw[:pos - 1]
    (sig_len,) = struct.unpack(">h", raw[pos:pos + 2])
    sig = raw[pos + 2:pos + 2 + sig_len]
    if sig_len < 1 or len(sig) != sig_len or pos + 2 + sig_len != len(raw):
        fail("bad signature length %d" % sig_len)
    open(sys.argv[2] + "/signed.bin", "wb").write(signed)
    open(sys.argv[2] + "/signature.der", "wb").write(sig)
    print("signature %d" % sig_len)


if __name__ == "__main__":
    main()
