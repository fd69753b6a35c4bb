#!/usr/bin/python3
"""Builds a ticket byte stream and its text independently of the library.

Usage: ticket_stream.py CODEPAGE SIGHEX ID:HEX...   (units in the given order)
Prints two lines: the stream in hex, then the ticket text (Base64 with "!").
"""
import base64
import struct
import sys


def main():
    codepage, sig = sys.argv[1].encode("ascii"), bytes.fromhex(sys.argv[2])
    out = bytearray([2]) + codepage
    for unit in sys.argv[3:]:
        ident, value = unit.split(":")
        value = bytes.fromhex(value)
        out += bytes([int(ident)]) + struct.pack(">h", len(value)) + value
    out += b"\xff" + struct.pack(">h", len(sig)) + sig
    print(out.hex())
    print(base64.b64encode(bytes(out)).decode("ascii").replace("+", "!"))


if __name__ == "__main__":
    main()
