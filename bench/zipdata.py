#!/usr/bin/env python3
"""Writes a reproducible tree of navigation-data-like text files for the zip benchmark.

Usage: zipdata.py TARGET_DIR [--megabytes 150] [--files 2000] [--seed 1]
       zipdata.py --single FILE --megabytes 40 [--seed 2]

The same arguments give byte-identical files. The content mimics what navigation packages hold:
fix, navaid, airway and procedure records in fixed columns, so that it compresses like the real thing.
"""
import argparse
import os
import random

FOLDERS = ["earth_fix", "earth_nav", "earth_awy", "proc", "airports", "holdings", "sid", "star", "approach", "misc"]


def ident(rng, length):
    return "".join(rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZ") for _ in range(length))


def record(rng, kind):
    lat = rng.uniform(-89.9, 89.9)
    lon = rng.uniform(-179.9, 179.9)
    if kind == 0:
        return "%12.8f %13.8f %-5s %-4s %-2s %d\n" % (lat, lon, ident(rng, 5), ident(rng, 4), ident(rng, 2), rng.randrange(4))
    if kind == 1:
        return "%d %12.8f %13.8f %6d %05d %3d %10.3f %-4s %-4s %-2s %s VOR-DME\n" % (
            rng.choice((2, 3, 12, 13)), lat, lon, rng.randrange(0, 12000), rng.randrange(10800, 11795),
            rng.randrange(25, 130), rng.uniform(-20, 20), ident(rng, 3), ident(rng, 4), ident(rng, 2), ident(rng, 8))
    if kind == 2:
        return "%-5s %-2s %2d %-5s %-2s %2d %s %d %03d %03d %s\n" % (
            ident(rng, 5), ident(rng, 2), 11, ident(rng, 5), ident(rng, 2), 11, rng.choice("NF"), rng.randrange(1, 3),
            rng.randrange(0, 460), rng.randrange(0, 600), "%s%d" % (rng.choice("JQTUVWY"), rng.randrange(1, 999)))
    return "APPCH:%03d,A,R%02d%s,%s,RW%02d%s,%s,%s,1,%s,M,%04d,,,,,%5.1f,%5.1f,,+,%05d,,,,,,,0,,,,;\n" % (
        rng.randrange(10, 990), rng.randrange(1, 37), rng.choice("LRC "), ident(rng, 5), rng.randrange(1, 37),
        rng.choice("LRC "), ident(rng, 4), ident(rng, 2), rng.choice(("IF", "TF", "CF", "RF")),
        rng.randrange(0, 3600), rng.uniform(0, 360), rng.uniform(0, 30), rng.randrange(1000, 15000))


def write_file(path, size, rng):
    kind = rng.randrange(4)
    header = "I\n1100 Version - data cycle %d, build %d\n\n" % (rng.randrange(2001, 2413), rng.randrange(10 ** 7))
    lines = [header]
    total = len(header)
    # A pool of lines that recur, as airways and procedures reuse fixes.
    pool = [record(rng, kind) for _ in range(64)]
    while total < size:
        line = rng.choice(pool) if rng.random() < 0.25 else record(rng, kind)
        lines.append(line)
        total += len(line)
    lines.append("99\n")
    with open(path, "w", newline="\n") as handle:
        handle.write("".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("target", nargs="?")
    parser.add_argument("--megabytes", type=float, default=150)
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--single")
    args = parser.parse_args()
    rng = random.Random(args.seed)

    if args.single:
        write_file(args.single, int(args.megabytes * 1000 * 1000), rng)
        return

    # Sizes spread like real packages: many small files, some large ones; scaled to the total.
    weights = [rng.lognormvariate(0, 1.4) for _ in range(args.files)]
    scale = args.megabytes * 1000 * 1000 / sum(weights)
    for index, weight in enumerate(weights):
        folder = os.path.join(args.target, FOLDERS[index % len(FOLDERS)], "%02d" % (index % 7))
        os.makedirs(folder, exist_ok=True)
        suffix = rng.choice((".dat", ".txt", ".xml", ".cfg", ".nav"))
        write_file(os.path.join(folder, "%s_%04d%s" % (ident(rng, 4).lower(), index, suffix)), max(64, int(weight * scale)), rng)


if __name__ == "__main__":
    main()
