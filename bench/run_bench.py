#!/usr/bin/env python3
"""Times the whole kelvane program against the read-and-write floor and the
tools people use instead, on the pages of make_pages.py, in one sitting.

  run_bench.py --kelvane BIN --floor BIN --floor-malloc BIN --pages DIR --small DIR
               [--copy-floor BIN] [--stages BIN] [--memory-rates BIN] [--compare BIN]
               [--encoding-rs BIN] [--batch DIR] [--runs N]

Every figure is the median of N runs (default 5) of the whole command, output
written to a file. The commands compared on one page take turns within each
round, so a slow spell of a shared machine falls on all of them alike. MB/s
counts input bytes. Ratios compare times measured in this same run: each is
the median, over the rounds, of the two commands' ratio within a round.

Two floors: both read the file whole into a fresh block and write it back
through the program's platform calls. "floor" allocates that block from the
C library's malloc, the naive fresh block the goal is stated against; "floor/h"
uses the program's own heap (huge-page mappings), so it shows how much of the
program's time is left once the heap is equally good for both. "copies" is the
floor of the conversion's shape (copy_floor_main.cpp): the same blocks as a
conversion, each stage one copy, so the time kelvane takes beyond it is the
converting itself, not its memory. The goals are stated against "floor".

"enc_rs" is encoding_rs (bench/encoding_rs_peer): a strict decode of the page
and a strict encode to Shift_JIS, no markup work at all.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

ENCODINGS = [  # page suffix, iconv name, nkf input option, encoding_rs label
    ("sjis", "CP932", "-S", "shift_jis"),
    ("eucjp", "EUC-JP", "-E", "euc-jp"),
    ("iso2022jp", "ISO-2022-JP", "-J", "iso-2022-jp"),
    ("utf8", "UTF-8", "-W", "utf-8"),
    ("utf16le", "UTF-16", "-W16L", "utf-16le"),
    ("utf16be", "UTF-16", "-W16B", "utf-16be"),
]
ADVERSARIAL = ("ordinary", "amp", "img", "comment", "noltag")


def output_of(page):
    """The name.txt that kelvane and the floors write beside name.html."""
    return os.path.splitext(page)[0] + ".txt"


def warm(cmd):
    """Reads every existing file among cmd's words (and the program, found on
    the PATH when need be), so all of them are in the page cache."""
    paths = [shutil.which(cmd[0]) or cmd[0]] + list(cmd[1:])
    for path in paths:
        if os.path.isfile(path):
            with open(path, "rb") as f:
                while f.read(1 << 20):
                    pass


def run_once(cmd, stdout_path=None, output=None):
    """Wall time of one run of cmd; None when the command fails. The output
    file is removed first, outside the timed part, as a redirected tool's file
    is emptied by opening it: each run writes a new file, not over an old one
    (replacing a file by renaming costs ext4 an early flush of the new data)."""
    for path in (output if isinstance(output, list) else [output] if output else []):
        if os.path.exists(path):
            os.unlink(path)
    out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    # Earlier runs' output still being written back to disk would slow
    # whichever command comes next; flush it outside the timed part.
    os.sync()
    # This machine pages out memory that has gone unused for a while
    # (DAMON's pageout), the page cache included, so a page or a program that
    # sat idle would be read from disk by whichever command came first: every
    # file the command names, itself included, is read once untimed.
    warm(cmd)
    start = time.perf_counter()
    rc = subprocess.run(cmd, stdout=out, stderr=subprocess.DEVNULL).returncode
    elapsed = time.perf_counter() - start
    if stdout_path:
        out.close()
    return elapsed if rc == 0 else None


def timed(cmd, runs, stdout_path=None, output=None):
    """Median wall time of runs of cmd; None when the command fails."""
    return timed_side_by_side([(cmd, stdout_path, output)], runs).median(0)


class Timings:
    """The wall times of commands run side by side, round by round: times[i]
    holds command i's time in each round, or is None when it failed."""

    def __init__(self, times):
        self.times = times

    def median(self, i):
        return statistics.median(self.times[i]) if self.times[i] else None

    def ratio(self, i, j):
        """The median over the rounds of command i's time over command j's
        time in the same round; None when either failed. The two ran back to
        back, so a slow spell of the machine that lasts a round or more
        weighs on both sides of each ratio and cancels out, where a ratio of
        two medians would take it on one side only."""
        if not self.times[i] or not self.times[j]:
            return None
        return statistics.median(a / b for a, b in zip(self.times[i], self.times[j]))

    def figure(self, i, j):
        """Command i's time over command j's as the goals show it: the median
        of the per-round ratios and, from four rounds on, the middle half of
        them. On a VM a single round can be far off, so a verdict whose
        middle half straddles the bound is one that another run may reverse."""
        r = self.ratio(i, j)
        if r is None:
            return None
        rounds = [a / b for a, b in zip(self.times[i], self.times[j])]
        if len(rounds) < 4:
            return "%.2fx" % r
        low, _, high = statistics.quantiles(rounds, n=4)
        return "%.2fx (middle half of rounds %.2f-%.2fx)" % (r, low, high)


def timed_side_by_side(commands, runs):
    """Times each of commands ((cmd, stdout_path, output) triples, cmd None to
    skip) runs times, all of them within each round, so that a slow spell of a
    shared machine falls on all of them alike. Each round takes them in a new
    order (shuffled, the same shuffles on every run of the bench): what ran
    just before matters on a VM, where a command that writes or frees much
    memory slows the next one (kelvane once took 2.2 times as long right after
    nkf as right after the floor), and a fixed cycle, even one that starts
    further on each round, would give a command the same predecessor every
    round."""
    times = [[] for _ in commands]
    failed = [cmd is None for cmd, _, _ in commands]
    for r in range(runs):
        order = list(range(len(commands)))
        random.Random(r).shuffle(order)
        for i in order:
            cmd, stdout_path, output = commands[i]
            if failed[i]:
                continue
            t = run_once(cmd, stdout_path, output)
            if t is None:
                failed[i] = True
            else:
                times[i].append(t)
    return Timings([None if failed[i] else times[i] for i in range(len(commands))])


def peak_kib(cmd):
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    try:
        return int(r.stderr.strip().splitlines()[-1])
    except (ValueError, IndexError):
        return None


def mbps(size, seconds):
    return size / seconds / 1e6 if seconds else float("nan")


def print_memory_rates(program, runs):
    """The machine's first touch of fresh memory and its plain copy rate: the
    floor is a read, a write and a first touch of a fresh block, so the goals
    that are ratios to it depend on how fast this machine faults pages in."""
    touch, copy = [], []
    for _ in range(runs):
        r = subprocess.run([program], capture_output=True, text=True)
        if r.returncode != 0:
            print("Memory of this machine: n/a")
            return
        fields = r.stdout.split()
        touch.append(float(fields[1]))
        copy.append(float(fields[3]))
    print("Memory of this machine, median of %d runs: first touch of a fresh 32 MB malloc block"
          " %.0f MB/s, copy between touched blocks %.0f MB/s" % (
              runs, statistics.median(touch), statistics.median(copy)))
    print()


def time_adversarial(kelvane, pages, runs, goals):
    """Each adversarial kind at 8 and at 32 MB: against ordinary markup of the
    same size (at most 3x), and 32 MB against 8 MB (at most 6x; 4x is linear,
    a quadratic step shows as 16x). Both sizes run in the same rounds, so every
    ratio is one of times taken side by side."""
    print()
    print("Adversarial inputs (time relative to ordinary markup of the same size; 32/8 = time"
          " at 32 MB / time at 8 MB)")
    def page(name, suffix):
        return os.path.join(pages, "adv-%s%s.html" % (name, suffix))

    present = [(mb, suffix) for mb, suffix in ((8, ""), (32, "-32"))
               if all(os.path.exists(page(name, suffix)) for name in ADVERSARIAL)]
    sizes = [mb for mb, _ in present]
    paths = [page(name, suffix) for _, suffix in present for name in ADVERSARIAL]
    times = timed_side_by_side([([kelvane, path], None, output_of(path)) for path in paths], runs)

    def index(mb, i):
        return sizes.index(mb) * len(ADVERSARIAL) + i if mb in sizes else None

    print("  %-9s %10s %7s %10s %7s %7s" % ("kind", "8 MB ms", "x ord", "32 MB ms", "x ord", "32/8"))
    for i, name in enumerate(ADVERSARIAL):
        cells = []
        for mb in (8, 32):
            k = index(mb, i)
            t = times.median(k) if k is not None else None
            ordinary = times.median(index(mb, 0)) if k is not None else None
            if t is None or ordinary is None:
                # Some adversarial inputs convert to nothing and still succeed;
                # a failing exit is reported, not hidden.
                cells += ["failed" if k is not None else "n/a", ""]
                if k is not None:
                    goals.append(("adversarial %s at %d MB converts" % (name, mb), False))
                continue
            against_ordinary = times.ratio(k, index(mb, 0))
            cells += ["%.1f" % (t * 1e3), "%.2fx" % against_ordinary]
            if i > 0:
                goals.append(("adversarial %s at %d MB within 3x ordinary" % (name, mb),
                              against_ordinary <= 3, times.figure(k, index(mb, 0))))
        k8, k32 = index(8, i), index(32, i)
        growth = (times.ratio(k32, k8)
                  if k8 is not None and k32 is not None and times.median(k8) and times.median(k32)
                  else None)
        if growth is not None:
            goals.append(("adversarial %s linear: 32 MB within 6x of 8 MB" % name, growth <= 6,
                          times.figure(k32, k8)))
        print("  %-9s %10s %7s %10s %7s %7s" % tuple(
            [name] + cells + ["%.2fx" % growth if growth is not None else "n/a"]))


def time_batch(kelvane, floor, batch, runs, goals):
    """Many small pages in one command, against the floor reading and writing
    the same files in one command."""
    pages = sorted(os.path.join(batch, f) for f in os.listdir(batch) if f.endswith(".html"))
    if not pages:
        return
    outputs = [output_of(page) for page in pages]
    size = sum(os.path.getsize(page) for page in pages)
    timings = timed_side_by_side([([kelvane] + pages, None, outputs),
                                  ([floor] + pages, None, outputs)], runs)
    t_k, t_f = timings.median(0), timings.median(1)
    print()
    print("A batch: %d pages of %.0f-%.0f KB (%.1f MB) in one command, median of %d runs" % (
        len(pages), min(map(os.path.getsize, pages)) / 1024,
        max(map(os.path.getsize, pages)) / 1024, size / 1e6, runs))
    if not t_k or not t_f:
        print("  failed")
        goals.append(("batch within 2x floor", False))
        return
    over_floor = timings.ratio(0, 1)
    print("  kelvane %8.1f ms  floor %8.1f ms  kelvane / floor %5.2fx" % (
        t_k * 1e3, t_f * 1e3, over_floor))
    goals.append(("batch within 2x floor", over_floor <= 2, timings.figure(0, 1)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kelvane", required=True)
    ap.add_argument("--floor", required=True)
    ap.add_argument("--floor-malloc", required=True)
    ap.add_argument("--pages", required=True)
    ap.add_argument("--small", required=True)
    ap.add_argument("--copy-floor", help="kelvane_copy_floor, the floor of the conversion's shape")
    ap.add_argument("--stages", help="kelvane_stages, for where one conversion's time goes")
    ap.add_argument("--memory-rates", help="kelvane_memory_rates, what the floor is made of")
    ap.add_argument("--compare", help="another kelvane build, timed side by side on the pages")
    ap.add_argument("--encoding-rs", help="bench/encoding_rs_peer's program, a peer on the pages")
    ap.add_argument("--batch", help="a folder of small pages (make_pages.py --batch)")
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    runs = args.runs
    scratch = os.path.join(args.pages, "out")
    os.makedirs(scratch, exist_ok=True)
    have = {t: shutil.which(t) is not None for t in ("iconv", "nkf", "w3m", "links2")}
    goals = []
    compared = []
    if args.memory_rates:
        print_memory_rates(args.memory_rates, runs)

    print("Whole files, median of %d runs (MB/s of input; x = time / kelvane's time)" % runs)
    print("%-10s %6s | %8s %8s %8s %8s %8s %8s %8s | %7s %7s %7s %7s %7s %7s" %
          ("input", "MB", "kelvane", "floor", "floor/h", "copies", "iconv", "nkf", "enc_rs",
           "k/floor", "k/fl/h", "k/copy", "iconv", "nkf", "enc_rs"))
    for suffix, iconv_name, nkf_opt, rs_label in ENCODINGS:
        page = os.path.join(args.pages, "page-%s.html" % suffix)
        size = os.path.getsize(page)
        txt = output_of(page)
        copy_cmd = None
        if args.copy_floor and subprocess.run([args.kelvane, page]).returncode == 0:
            # The copy floor writes as many bytes as the program does.
            copy_cmd = [args.copy_floor, str(os.path.getsize(txt)), page]
        times = timed_side_by_side([
            ([args.kelvane, page], None, txt),
            ([args.floor_malloc, page], None, txt),
            ([args.floor, page], None, txt),
            (["iconv", "-f", iconv_name, "-t", "CP932", page] if have["iconv"] else None,
             os.path.join(scratch, "iconv.txt"), None),
            (["nkf", nkf_opt, "-s", "-Lw", page] if have["nkf"] else None,
             os.path.join(scratch, "nkf.txt"), None),
            ([args.compare, page] if args.compare else None, None, txt),
            (copy_cmd, None, txt),
            ([args.encoding_rs, rs_label, page, os.path.join(scratch, "enc_rs.txt")]
             if args.encoding_rs else None, None, os.path.join(scratch, "enc_rs.txt")),
        ], runs)
        t_k, t_f, t_h, t_i, t_n, t_c, t_s, t_r = (times.median(i) for i in range(8))
        # Command indexes in the list above.
        floor_malloc, floor_heap, iconv, nkf, other, copies, enc_rs = range(1, 8)

        def rel(i):
            r = times.ratio(i, 0)
            return "%6.2fx" % r if r else "    n/a"

        def over(i):
            r = times.ratio(0, i)
            return "%6.2fx" % r if r else "    n/a"

        def rate(t):
            return "%.0f" % mbps(size, t) if t else "n/a"

        print("%-10s %6.1f | %8.0f %8.0f %8.0f %8s %8s %8s %8s | %7s %7s %7s %7s %7s %7s" % (
            suffix, size / 1e6, mbps(size, t_k), mbps(size, t_f), mbps(size, t_h), rate(t_s),
            rate(t_i), rate(t_n), rate(t_r), over(floor_malloc), over(floor_heap),
            over(copies), rel(iconv), rel(nkf), rel(enc_rs)))
        if t_c:
            compared.append((suffix, size, t_c, times.ratio(other, 0)))
        if t_k and t_f:
            goals.append(("kelvane <= 1.5x floor (%s)" % suffix,
                          times.ratio(0, floor_malloc) <= 1.5, times.figure(0, floor_malloc)))
        if t_k and t_i:
            goals.append(("kelvane as fast as iconv (%s)" % suffix, times.ratio(0, iconv) <= 1,
                          times.figure(0, iconv)))
        if t_k and t_n:
            goals.append(("kelvane >= 3x nkf (%s)" % suffix, times.ratio(nkf, 0) >= 3,
                          times.figure(nkf, 0)))
        if args.encoding_rs:
            goals.append(("kelvane >= 2x encoding_rs (%s)" % suffix,
                          bool(t_k and t_r and times.ratio(enc_rs, 0) >= 2),
                          times.figure(enc_rs, 0)))

    if compared:
        print()
        print("The other build, %s, side by side (MB/s; x = its time / kelvane's time)" % args.compare)
        for suffix, size, t_c, against in compared:
            print("  %-10s %8.0f   %6.2fx" % (suffix, mbps(size, t_c), against))

    small = os.path.join(args.small, "page-sjis.html")
    size = os.path.getsize(small)
    t_k = timed([args.kelvane, small], runs, output=output_of(small))
    print()
    print("HTML to text on a %.1f MB Shift-JIS page (MB/s; x = time / kelvane's time)" % (size / 1e6))
    print("  kelvane %8.1f" % mbps(size, t_k))
    for name, cmd in (("w3m", ["w3m", "-dump", "-T", "text/html", "-I", "Shift_JIS", "-O", "Shift_JIS", small]),
                      ("links2", ["links2", "-dump", small])):
        if not have[name]:
            print("  %-7s n/a (not installed)" % name)
            continue
        t = timed(cmd, max(1, runs // 2), os.path.join(scratch, name + ".txt"))
        if t is None:
            print("  %-7s failed" % name)
            continue
        print("  %-7s %8.1f   %6.1fx" % (name, mbps(size, t), t / t_k))
        goals.append(("kelvane >= %dx %s" % (20 if name == "w3m" else 5, name),
                      t >= (20 if name == "w3m" else 5) * t_k))

    time_adversarial(args.kelvane, args.pages, runs, goals)
    if args.batch:
        time_batch(args.kelvane, args.floor_malloc, args.batch, runs, goals)

    print()
    print("Peak memory of one conversion (/usr/bin/time %M)")
    for suffix, _, _, _ in ENCODINGS:
        page = os.path.join(args.pages, "page-%s.html" % suffix)
        size = os.path.getsize(page)
        kib = peak_kib([args.kelvane, page])
        if kib is None:
            print("  %-10s n/a" % suffix)
            continue
        bound = 3 * size + 8 * 1024 * 1024
        print("  %-10s %8.1f MB  (%.2fx input; bound 3x + 8 MB = %.1f MB)" % (
            suffix, kib * 1024 / 1e6, kib * 1024 / size, bound / 1e6))
        goals.append(("peak memory within 3x input + 8 MB (%s)" % suffix, kib * 1024 <= bound))

    if args.stages:
        print()
        print("Where one conversion's time goes (ms, median of %d runs, one file per process)" % runs)
        print("%-10s %8s %8s %8s %8s %8s %8s" % ("input", "read", "decode", "html", "crlf", "write", "total"))
        for suffix, _, _, _ in ENCODINGS:
            page = os.path.join(args.pages, "page-%s.html" % suffix)
            rows = []
            for _ in range(runs):
                if os.path.exists(output_of(page)):
                    os.unlink(output_of(page))
                os.sync()
                r = subprocess.run([args.stages, page], capture_output=True, text=True)
                if r.returncode != 0:
                    break
                fields = r.stdout.strip().splitlines()[-1].split()[1:]
                rows.append([float(f) for f in fields])
            if not rows:
                print("%-10s failed" % suffix)
                continue
            # Columns: read, detect, decode, html, crlf, write, total; detect is ~0.
            med = [statistics.median(col) for col in zip(*rows)]
            print("%-10s %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f" % (
                suffix, med[0], med[2], med[3], med[4], med[5], med[6]))

    print()
    print("Goals")
    for goal in goals:
        name, ok = goal[0], goal[1]
        figure = goal[2] if len(goal) > 2 and goal[2] else None
        print("  %-4s %s%s" % ("met" if ok else "MISS", name, ": " + figure if figure else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
