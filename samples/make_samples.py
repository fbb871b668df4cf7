#!/usr/bin/env python3
"""Writes the sample pages: page-source.html.in (UTF-8) in each encoding kelvane
reads, with and without a byte order mark where the encoding has one.

The source holds only JIS X 0208 characters, which every one of these
encodings and code page 932 map alike, so all the samples convert to the same
text. Each file declares its own charset in a meta tag, as real pages do;
kelvane never reads it. Run it from anywhere: python3 samples/make_samples.py
"""

import os

HERE = os.path.dirname(os.path.abspath(__file__))

BOM_UTF8 = b"\xef\xbb\xbf"
BOM_UTF16LE = b"\xff\xfe"
BOM_UTF16BE = b"\xfe\xff"

# (file name, charset declared in the page, codec, byte order mark, CRLF line ends)
SAMPLES = [
    ("page-utf8.html", "UTF-8", "utf-8", b"", False),
    ("page-utf8-bom.html", "UTF-8", "utf-8", BOM_UTF8, False),
    ("page-utf16le.html", "UTF-16LE", "utf-16-le", b"", True),
    ("page-utf16le-bom.html", "UTF-16", "utf-16-le", BOM_UTF16LE, True),
    ("page-utf16be.html", "UTF-16BE", "utf-16-be", b"", False),
    ("page-utf16be-bom.html", "UTF-16", "utf-16-be", BOM_UTF16BE, False),
    ("page-shift_jis.html", "Shift_JIS", "cp932", b"", True),
    ("page-euc-jp.html", "EUC-JP", "euc_jp", b"", False),
    ("page-iso-2022-jp.html", "ISO-2022-JP", "iso2022_jp", b"", False),
]


def main():
    with open(os.path.join(HERE, "page-source.html.in"), encoding="utf-8") as f:
        source = f.read()
    for name, charset, codec, bom, crlf in SAMPLES:
        text = source.replace("{charset}", charset)
        if crlf:
            text = text.replace("\n", "\r\n")
        data = bom + text.encode(codec)
        # Every encoding must give back the same text: nothing outside JIS X 0208.
        assert data[len(bom):].decode(codec) == text, name
        assert text.encode("cp932").decode("cp932") == text, name
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
