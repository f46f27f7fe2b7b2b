#!/usr/bin/python3
"""Compare two folders of PNG pictures pixel by pixel.

Prints, per picture, the largest difference in any one colour channel and the
number of pixels that differ at all; exits 1 when a picture is missing, has
another size, or differs by more than the tolerance in some channel.

  tools/compare_shots.py BEFORE_DIR AFTER_DIR [--tolerance N]   (default 1)
"""
import argparse
import pathlib
import sys

import numpy as np
from PIL import Image


def load(path):
    return np.asarray(Image.open(path).convert("RGBA"), dtype=np.int16)


def compare(before, after):
    """(largest channel difference, differing pixels) or None for another size."""
    a, b = load(before), load(after)
    if a.shape != b.shape:
        return None
    diff = np.abs(a - b)
    return int(diff.max(initial=0)), int(np.count_nonzero(diff.max(axis=2)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before", type=pathlib.Path)
    parser.add_argument("after", type=pathlib.Path)
    parser.add_argument("--tolerance", type=int, default=1,
                        help="largest channel difference still taken as equal")
    args = parser.parse_args()
    names = sorted(p.name for p in args.before.glob("*.png"))
    if not names:
        print(f"no PNG pictures in {args.before}", file=sys.stderr)
        return 1
    worst, failed = 0, False
    for name in names:
        other = args.after / name
        if not other.is_file():
            print(f"{name}: missing in {args.after}")
            failed = True
            continue
        result = compare(args.before / name, other)
        if result is None:
            print(f"{name}: sizes differ")
            failed = True
            continue
        largest, pixels = result
        worst = max(worst, largest)
        mark = "" if largest <= args.tolerance else "  BEYOND TOLERANCE"
        print(f"{name}: largest difference {largest}, {pixels} pixels differ{mark}")
        failed |= largest > args.tolerance
    print(f"largest difference over {len(names)} pictures: {worst}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
