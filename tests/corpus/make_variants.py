#!/usr/bin/env python3
"""Writes each UTF-8 HTML document found under SOURCE-DIR in every encoding
kelvane reads, so that one document's outputs can be compared with each other.

  make_variants.py SOURCE-DIR OUT-DIR

For document N it writes dNNNN.<variant>.html for the variants below and
dNNNN.src naming the source. A character that code page 932 lacks, or that
does not come back from it unchanged, is first written as a numeric reference,
so every variant holds the same codes and must give the same text. EUC-JP and
ISO-2022-JP are computed from the Shift-JIS bytes by the JIS arithmetic, so
they hold exactly the same characters; a document with codes that have no
such form (the user-defined area, or half-width katakana for ISO-2022-JP)
gets no variant there. Documents of ASCII only are skipped: they would only
test the fallback.
"""

import gzip
import hashlib
import os
import sys


def representable(c):
    try:
        return c.encode("cp932").decode("cp932") == c
    except UnicodeEncodeError:
        return False


def sjis_to_euc(data):
    """EUC-JP bytes of the same codes; None when some code has no EUC form."""
    out = bytearray()
    i = 0
    while i < len(data):
        lead = data[i]
        if lead < 0x80:
            out.append(lead)
            i += 1
        elif 0xA1 <= lead <= 0xDF:
            out += bytes([0x8E, lead])
            i += 1
        else:
            trail = data[i + 1]
            i += 2
            row = (lead - 0x81 if lead < 0xA0 else lead - 0xC1) * 2 + 0x21
            if trail >= 0x9F:
                row += 1
                col = trail - 0x9F + 0x21
            else:
                col = trail - 0x40 + 0x21 - (1 if trail > 0x7F else 0)
            if row > 0x7E:
                return None
            out += bytes([row | 0x80, col | 0x80])
    return bytes(out)


def euc_to_iso2022jp(data):
    """ISO-2022-JP of the same codes; None when it holds half-width katakana."""
    out = bytearray()
    kanji = False
    i = 0
    while i < len(data):
        c = data[i]
        if c == 0x8E:
            return None
        if c < 0x80:
            if kanji:
                out += b"\x1b(B"
                kanji = False
            out.append(c)
            i += 1
        else:
            if not kanji:
                out += b"\x1b$B"
                kanji = True
            out += bytes([c & 0x7F, data[i + 1] & 0x7F])
            i += 2
    if kanji:
        out += b"\x1b(B"
    return bytes(out)


def variants(text):
    sjis = text.encode("cp932")
    result = {
        "sjis": sjis,
        "utf8": text.encode("utf-8"),
        "utf8bom": b"\xef\xbb\xbf" + text.encode("utf-8"),
        "u16le": text.encode("utf-16-le"),
        "u16lebom": b"\xff\xfe" + text.encode("utf-16-le"),
        "u16be": text.encode("utf-16-be"),
        "u16bebom": b"\xfe\xff" + text.encode("utf-16-be"),
    }
    euc = sjis_to_euc(sjis)
    if euc is not None:
        result["eucjp"] = euc
        iso = euc_to_iso2022jp(euc)
        if iso is not None:
            result["iso2022jp"] = iso
    return result


def main():
    source, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    paths = sorted(os.path.join(d, f) for d, _, fs in os.walk(source) for f in fs
                   if f.endswith((".html", ".htm", ".html.gz")))
    seen = set()
    count = 0
    for path in paths:
        raw = open(path, "rb").read()
        if path.endswith(".gz"):
            raw = gzip.decompress(raw)
        digest = hashlib.sha1(raw).digest()
        if digest in seen:
            continue
        seen.add(digest)
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError:
            continue
        text = "".join(c if representable(c) else "&#%d;" % ord(c) for c in text)
        if text.isascii():
            continue
        count += 1
        base = os.path.join(out, "d%04d" % count)
        for name, data in variants(text).items():
            with open("%s.%s.html" % (base, name), "wb") as f:
                f.write(data)
        with open(base + ".src", "w") as f:
            f.write(path + "\n")
    print("%d documents" % count)


if __name__ == "__main__":
    main()
