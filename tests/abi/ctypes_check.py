"""Loads the shared object from Python ctypes and drives the lifecycle."""
import ctypes
import os
import sys
import tempfile

lib = ctypes.CDLL(sys.argv[1])
lib.TavriInitialize.argtypes = [ctypes.c_char_p]
lib.TavriInitialize.restype = ctypes.c_int32
lib.TavriShutdown.restype = ctypes.c_int32
lib.TavriGetVersion.restype = ctypes.c_int32
lib.RavAreSetProperty.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
lib.RavAreSetProperty.restype = ctypes.c_int32
lib.RavAreGetProperty.argtypes = [ctypes.c_char_p]
lib.RavAreGetProperty.restype = ctypes.c_char_p

assert lib.TavriGetVersion() == 1
assert lib.RavAreGetProperty(None).split(b";")[0] == b"QOR_EXT_TRC"
with tempfile.TemporaryDirectory() as d:
    trc = os.path.join(d, "ctypes.trc").encode()
    assert lib.RavAreSetProperty(b"QOR_EXT_TRL", b"3") == 0
    assert lib.RavAreSetProperty(b"QOR_EXT_TRC", trc) == 0
    assert lib.TavriInitialize(None) == 0
    assert lib.RavAreGetProperty(b"SSF_HASH") in (b"SHA1", os.environb.get(b"SSF_HASH"))
    assert lib.RavAreSetProperty(b"SSF_INCLUDE_CERT", b"Yes") == 0
    assert lib.RavAreGetProperty(b"SSF_INCLUDE_CERT") == b"1"
    assert lib.TavriShutdown() == 0
    text = open(trc, "rb").read()
    assert b"    Initializing QORJWT Version 1 \n" in text, text
    assert b"RavAreSetProperty(SSF_INCLUDE_CERT,Yes)\n" in text, text
print("ctypes check passed")
