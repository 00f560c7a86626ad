#!/usr/bin/env python3
"""Writes the float oracle fixture: one line "<hex bits> <repr>" per binary64 value.

Python's repr gives the shortest round-trip digits (the nearest of several shortest), the same
digits and exponent as the float text; only the layout differs, and the test converts it.

Usage: python3 tools/gen_float_fixture.py OUTPUT_FILE

The content is fixed by the seed, so the file is rewritten only when it is missing, incomplete or
was written by another version of this script.
"""
import math
import os
import random
import struct
import sys

VERSION = "float-oracle v1 seed=20261207 random=1000000 short=200000"
RANDOM_COUNT = 1_000_000
SHORT_COUNT = 200_000


def bits_of(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def from_bits(b):
    return struct.unpack("<d", struct.pack("<Q", b))[0]


def special_values():
    values = [0.0, -0.0, 5e-324, 2.2250738585072014e-308, 2.225073858507201e-308,
              1.7976931348623157e308, 0.1, 0.2, 0.3, 1 / 3, 2 / 3, 12.34, -2.5,
              123456789012345.6, 1234567890123456.8, 9999999999999998.0, 2.0**60,
              1.5e300, 0.001234, 0.0000099, 9.999999999999999e-6, 9007199254740993.0]
    for e in range(-324, 309):
        values.append(float(f"1e{e}"))
    for e in range(-1074, 1024):
        values.append(math.ldexp(1.0, e))
    for d in range(1, 10):
        for e in range(-8, 20):
            values.append(float(f"{d}e{e}"))
    # Each value's neighbours: the layout switch points and the rounding interval edges.
    neighbours = []
    for x in values:
        b = bits_of(abs(x))
        for nb in (b - 1, b + 1):
            if 0 <= nb < 0x7FF0000000000000:
                neighbours.append(from_bits(nb))
    return values + neighbours


def random_values(rng):
    count = 0
    while count < RANDOM_COUNT:
        x = from_bits(rng.getrandbits(64))
        if math.isfinite(x):
            count += 1
            yield x
    # Bit patterns almost always need 16 or 17 digits; short decimals exercise the shorter paths.
    for _ in range(SHORT_COUNT):
        digits = rng.randint(1, 10 ** rng.randint(1, 15))
        exponent = rng.randint(-330, 310)
        x = float(f"{digits}e{exponent}")
        if math.isfinite(x):
            yield x if rng.random() < 0.5 else -x
    # Subnormals by their own bit patterns (random patterns hold few of them).
    for _ in range(50_000):
        yield from_bits(rng.getrandbits(52) | (rng.getrandbits(1) << 63))


def is_current(path):
    try:
        with open(path, "rb") as f:
            first = f.readline().decode().strip()
            f.seek(-6, os.SEEK_END)
            last = f.read().decode()
    except (OSError, UnicodeDecodeError):
        return False
    return first == "# " + VERSION and last == "# end\n"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    path = sys.argv[1]
    if is_current(path):
        return
    rng = random.Random(20261207)
    # A name of its own per run, so two builds writing the fixture at once cannot collide.
    temporary = f"{path}.{os.getpid()}.partial"
    with open(temporary, "w") as out:
        out.write("# " + VERSION + "\n")
        for x in special_values():
            out.write(f"{bits_of(x):016x} {x!r}\n")
        for x in random_values(rng):
            out.write(f"{bits_of(x):016x} {x!r}\n")
        out.write("# end\n")
    os.replace(temporary, path)


if __name__ == "__main__":
    main()
