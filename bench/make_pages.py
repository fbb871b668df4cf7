#!/usr/bin/env python3
"""Writes deterministic Japanese HTML pages for the benchmarks.

  make_pages.py OUTDIR [MEGABYTES [ADVERSARIAL_MB,...]]
  make_pages.py --batch OUTDIR [COUNT]

One page of realistic markup (head with style and script, comments, headings,
paragraphs, tables, lists, pre, references, images with alt) is generated from
a fixed seed and written in each input encoding: page-sjis.html,
page-eucjp.html, page-iso2022jp.html, page-utf8.html, page-utf16le.html and
page-utf16be.html (with byte order marks). Only JIS X 0208 characters are used, so every encoding holds
the same text. Also writes the adversarial inputs of the same size class:
adv-amp.html ("&" without ";"), adv-img.html ("<img>" without "alt="),
adv-comment.html (an unterminated "<!--" early on), adv-noltag.html (no "<")
and adv-ordinary.html (ordinary markup), each of 8 megabytes; for every further
size N given (scripts/bench asks for 32), the same kinds as adv-KIND-N.html.

With --batch: COUNT pages (default 2000) of 4-64 KB each, batch-NNNN.html,
taking five encodings in turn (not UTF-16BE), for timing many small files in one command.
"""

import os
import random
import sys

WORDS = ("日本語 文書 変換 テキスト ファイル 東京 大阪 会社 情報 今日 天気 新しい 古い 技術 "
         "開発 利用者 画面 表示 検索 結果 記事 番号 時間 場所 写真 説明 内容 問題 解決 方法 "
         "電車 駅 地図 料理 季節 春 夏 秋 冬 山 川 海 空 花 木 森 町 村 学校 先生 学生 本 "
         "新聞 雑誌 手紙 音楽 映画 番組 世界 経済 社会 政治 文化 歴史 科学 自然 健康 生活 "
         "です ます でした ません こと もの ため よう から まで など について により として "
         "ホームページ サーバー ブラウザ ソフトウェア データ メール ネットワーク システム").split()
PUNCT = ["、", "。", "「", "」", "（", "）", "・", "！", "？"]
ASCII_WORDS = "HTML CSS JavaScript Web API OK 2026 100 v1.2 URL".split()


def sentence(rng):
    parts = []
    for _ in range(rng.randint(4, 14)):
        w = rng.choice(WORDS) if rng.random() < 0.9 else rng.choice(ASCII_WORDS)
        parts.append(w)
        if rng.random() < 0.15:
            parts.append("、")
    return "".join(parts) + rng.choice(["。", "。", "。", "！", "？"])


def paragraph(rng):
    text = "".join(sentence(rng) for _ in range(rng.randint(2, 6)))
    if rng.random() < 0.3:
        text += rng.choice(["&amp;", "&copy;", "&lt;注&gt;", "&#12354;", "&#x3042;", "&nbsp;", "&quot;"])
    if rng.random() < 0.2:
        text += '<a href="https://example.jp/%d">%s</a>' % (rng.randint(1, 9999), rng.choice(WORDS))
    return "<p>%s</p>\n" % text


def section(rng, n):
    out = ["<!-- section %d -->\n" % n, "<h2>%s %d</h2>\n" % (rng.choice(WORDS), n)]
    for _ in range(rng.randint(2, 5)):
        out.append(paragraph(rng))
    kind = rng.random()
    if kind < 0.25:
        out.append("<ul>\n" + "".join("<li>%s</li>\n" % sentence(rng) for _ in range(rng.randint(2, 6))) + "</ul>\n")
    elif kind < 0.5:
        rows = []
        for _ in range(rng.randint(2, 6)):
            cells = "".join("<td>%s</td>" % rng.choice(WORDS) for _ in range(4))
            rows.append("<tr>%s</tr>\n" % cells)
        out.append('<table border="1">\n<tr><th>項目</th><th>値</th><th>備考</th><th>日付</th></tr>\n' + "".join(rows) + "</table>\n")
    elif kind < 0.6:
        out.append("<pre>\n%s\n  %s\n</pre>\n" % (sentence(rng), sentence(rng)))
    elif kind < 0.75:
        out.append('<img src="img%d.png" alt="%s" width="120" height="80">\n' % (n, rng.choice(WORDS)))
    return "".join(out)


HEAD = """<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01//EN">
<html lang="ja">
<head>
<meta http-equiv="Content-Type" content="text/html">
<title>ベンチマーク用のページ</title>
<style type="text/css">
body { font-family: sans-serif; margin: 2em; }
h2 { border-bottom: 1px solid #ccc; }
</style>
<script type="text/javascript">
<!--
function hello() { return 1 < 2 && 3 > 2; }
// -->
</script>
</head>
<body>
<h1>日本語のテキスト変換</h1>
"""


def make_page(megabytes, seed=1, target=None):
    rng = random.Random(seed)
    target = target or megabytes * 1024 * 1024
    parts = [HEAD]
    size = len(HEAD.encode("cp932"))
    n = 0
    while size < target:
        s = section(rng, n)
        parts.append(s)
        size += len(s.encode("cp932"))
        n += 1
    parts.append("</body>\n</html>\n")
    return "".join(parts)


ENCODINGS = {
    "sjis": lambda t: t.encode("cp932"),
    "eucjp": lambda t: t.encode("euc_jp"),
    "iso2022jp": lambda t: t.encode("iso2022_jp"),
    "utf8": lambda t: t.encode("utf-8"),
    "utf16le": lambda t: b"\xff\xfe" + t.encode("utf-16-le"),
    "utf16be": lambda t: b"\xfe\xff" + t.encode("utf-16-be"),
}

# The batch keeps to the five encodings it has always taken in turn, so its
# figures stay comparable from run to run.
BATCH_ENCODINGS = ("sjis", "eucjp", "iso2022jp", "utf8", "utf16le")


# Bytes of a page in each encoding per byte of it in Shift-JIS, near enough
# to keep every batch file within its size range.
GROWTH = {"sjis": 1.0, "eucjp": 1.0, "iso2022jp": 1.17, "utf8": 1.37, "utf16le": 1.27}


def write_batch(outdir, count):
    """count pages of 4-64 KB, each from its own seed, in the five encodings
    in turn."""
    os.makedirs(outdir, exist_ok=True)
    sizes = random.Random(3)
    names = list(BATCH_ENCODINGS)
    for i in range(count):
        name = names[i % len(names)]
        # A page ends with the section that reaches its target, 1-2 KB more.
        target = max(4096, int(sizes.randint(4, 64) * 1024 / GROWTH[name]) - 2048)
        data = ENCODINGS[name](make_page(0, seed=1000 + i, target=target))
        while len(data) > 64 * 1024:
            target -= 1024
            data = ENCODINGS[name](make_page(0, seed=1000 + i, target=target))
        with open(os.path.join(outdir, "batch-%04d.html" % i), "wb") as f:
            f.write(data)


def write_adversarial(outdir, adv_mb, suffix):
    n = adv_mb * 1024 * 1024
    ordinary = make_page(adv_mb, seed=2).encode("cp932")
    # No comment closer in it, so that the comment opened early stays open.
    # (Only here: ordinary markup keeps its closers, or its first comment, in
    # the head's script, would swallow the page.)
    unclosed = ordinary.replace(b"-->", b"--")
    adversarial = {
        "amp": b"<body>" + b"&" * (n - 6),
        "img": b"<body>" + b"<img>" * ((n - 6) // 5),
        "comment": b"<body><p>a</p><!--" + unclosed[: n - 18],
        "noltag": (b"abc def " * (n // 8)),
        "ordinary": ordinary[:n],
    }
    for name, data in adversarial.items():
        with open(os.path.join(outdir, "adv-%s%s.html" % (name, suffix)), "wb") as f:
            f.write(data)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    if sys.argv[1] == "--batch":
        write_batch(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 2000)
        return
    outdir = sys.argv[1]
    megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 32
    os.makedirs(outdir, exist_ok=True)
    page = make_page(megabytes)
    for name, encode in ENCODINGS.items():
        with open(os.path.join(outdir, "page-%s.html" % name), "wb") as f:
            f.write(encode(page))
    write_adversarial(outdir, 8, "")
    for more in (sys.argv[3].split(",") if len(sys.argv) > 3 else []):
        write_adversarial(outdir, int(more), "-%d" % int(more))


if __name__ == "__main__":
    main()
