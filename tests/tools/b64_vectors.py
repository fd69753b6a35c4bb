#!/usr/bin/python3
"""Random data and its standard Base64 from python's base64 module.

Usage: b64_vectors.py SEED COUNT MAXLEN; prints "hex base64" per line.
"""
import base64
import random
import sys

seed, count, maxlen = (int(a) for a in sys.argv[1:4])
rnd = random.Random(seed)
for i in range(count):
    data = bytes(rnd.randrange(256) for _ in range(rnd.randrange(1, maxlen + 1)))
    print(data.hex(), base64.b64encode(data).decode("ascii"))
