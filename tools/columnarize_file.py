#!/usr/bin/env python3
"""Columnarize a JSON file of row objects and print the result.

usage: columnarize_file.py [FILE.json] [--min-rows N]   (FILE defaults to samples/rows.json)

The result (compact columnar JSON) goes to standard output. A payload the module refuses is
reported on standard error with exit status 1.
"""

import argparse
import pathlib
import sys

import vantor_codec

DEFAULT_FILE = pathlib.Path(__file__).resolve().parent.parent / "samples" / "rows.json"


def main(argv=None):
    parser = argparse.ArgumentParser(description="Columnarize a JSON array of row objects.")
    parser.add_argument("file", nargs="?", type=pathlib.Path, default=DEFAULT_FILE)
    parser.add_argument("--min-rows", type=int, default=20)
    options = parser.parse_args(argv)
    try:
        payload = options.file.read_bytes()
    except OSError as error:
        print(f"columnarize_file: cannot read {options.file}: {error.strerror}", file=sys.stderr)
        return 2
    try:
        result = vantor_codec.columnarize(payload, min_rows=options.min_rows)
    except (RuntimeError, TypeError, OverflowError, MemoryError) as error:
        print(f"columnarize_file: {options.file}: {error}", file=sys.stderr)
        return 1
    sys.stdout.buffer.write(result + b"\n")
    sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
