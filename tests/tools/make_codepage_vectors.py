#!/usr/bin/python3
"""Writes tests/data/codepages/vectors.tsv from Python's codecs, the outside
oracle for the code page layer. Run once; the table is kept in the tree.

Rows: id, direction, code page bytes (hex), UTF-8 (hex). Direction "dec"
checks code page -> UTF-8 only (undefined bytes become "#"), "both" checks
both ways.
"""
import codecs
import os
import unicodedata

CODECS = {
    "0120": "cp500", "1100": "latin-1", "1101": "ascii", "1103": "cp850",
    "1127": "mac-roman", "1140": "latin-1", "1160": "cp1252", "1164": "iso8859-15",
    "1180": "latin-1", "1401": "iso8859-2", "1403": "cp852", "1404": "cp1250",
    "1500": "iso8859-5", "1503": "cp866", "1504": "cp1251", "1509": "koi8-u",
    "1510": "koi8-r", "1610": "iso8859-9", "1614": "cp1254", "1700": "iso8859-7",
    "1704": "cp1253", "1800": "iso8859-8", "1804": "cp1255", "1810": "iso8859-8",
    "1900": "iso8859-4", "1904": "cp1257", "4102": "utf-16-be", "4103": "utf-16-le",
    "4110": "utf-8", "4310": "utf-8", "6100": "ascii", "6200": "ascii", "6300": "ascii",
    "8000": "shift_jis", "8004": "shift_jis", "8100": "euc-jp", "8200": "iso2022-jp",
    "8300": "big5", "8304": "big5", "8340": "big5hkscs", "8341": "big5hkscs",
    "8344": "big5hkscs", "8345": "big5hkscs", "8400": "gbk", "8402": "gb18030",
    "8404": "gbk", "8450": "gb2312", "8500": "euc-kr", "8504": "euc-kr",
    "8599": "iso2022-kr", "8600": "tis-620", "8604": "cp874", "8700": "iso8859-6",
    "8704": "cp1256", "8805": "cp1258",
}

# Samples for the multibyte sets: ASCII around native text (no backslash or
# tilde, which Shift_JIS reads as yen and overline).
JA, ZH_TW, ZH, KO = ("User 日本語テキスト 01", "User 中文使用者 01", "User 中文用户名 01",
                     "User 한국어 사용자 01")
UNICODE = "User Jörg Ελληνικά 日本 😀"
SAMPLES = {
    "shift_jis": JA, "euc-jp": JA, "iso2022-jp": JA, "big5": ZH_TW, "big5hkscs": ZH_TW,
    "gbk": ZH, "gb2312": ZH, "gb18030": "User 中文用户名 € 😀 01", "euc-kr": KO, "iso2022-kr": KO,
    "utf-8": UNICODE, "utf-16-be": UNICODE, "utf-16-le": UNICODE,
}


# Where the C library's tables (which the layer uses) differ from Python's,
# the rows follow the C library:
# - Mac Roman 0xC6 is U+0394 (not U+2206) and 0xF0 the private U+E01E (not U+F8FF);
# - TIS-620 leaves 0x80-0x9F undefined (Python reads them as C1 controls);
# - Windows-1258 joins a base letter and the mark right after it into one
#   precomposed character where one exists, and splits it on the way back;
# - ISO-2022-KR puts its designation header at the start of the output
#   (Python just before the first shift); both forms decode alike.
OVERRIDES = {"1127": {0xC6: "\u0394", 0xF0: "\ue01e"}}
UNDEFINED = {"8600": set(range(0x80, 0xA0))}
COMPOSING = {"8805"}
KR_HEADER = b"\x1b$)C"


def decode(cp, name, data, errors="strict"):
    out = []
    for b in data:
        if b in UNDEFINED.get(cp, ()):
            if errors == "strict":
                raise UnicodeDecodeError(name, bytes([b]), 0, 1, "undefined")
            out.append("#")
        elif b in OVERRIDES.get(cp, {}):
            out.append(OVERRIDES[cp][b])
        else:
            out.append(bytes([b]).decode(name, errors))
    text = "".join(out)
    return compose_pairs(text) if cp in COMPOSING else text


def compose_pairs(text):
    out = ""
    for ch in text:
        joined = unicodedata.normalize("NFC", out[-1:] + ch) if out else ch
        if out and unicodedata.combining(ch) and len(joined) == 1:
            out = out[:-1] + joined
        else:
            out += ch
    return out


def hash_per_byte(err):
    return ("#", err.start + 1)


codecs.register_error("hash_per_byte", hash_per_byte)


def rows():
    for cp, name in CODECS.items():
        if name in SAMPLES:
            text = SAMPLES[name]
            native = text.encode(name)
            if name == "iso2022-kr":
                yield cp, "dec", native, text.encode("utf-8")
                native = KR_HEADER + native.replace(KR_HEADER, b"")
            yield cp, "both", native, text.encode("utf-8")
            continue
        all_bytes = bytes(range(256))
        yield cp, "dec", all_bytes, decode(cp, name, all_bytes, "hash_per_byte").encode("utf-8")
        defined = bytes(b for b in all_bytes if _defined(cp, name, b))
        yield cp, "both", defined, decode(cp, name, defined).encode("utf-8")


def _defined(cp, name, b):
    if b in UNDEFINED.get(cp, ()):
        return False
    if b in OVERRIDES.get(cp, {}):
        return True
    try:
        return bytes([b]).decode(name).encode(name) == bytes([b])
    except UnicodeError:
        return False


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "data", "codepages", "vectors.tsv")
    with open(path, "w") as out:
        for cp, direction, native, utf8 in rows():
            out.write(f"{cp}\t{direction}\t{native.hex()}\t{utf8.hex()}\n")


if __name__ == "__main__":
    main()
