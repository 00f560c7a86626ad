"""The calls that train the x86-64 wheel's profile-guided build (./dev wheel).

Loads the instrumented module given as the one argument and calls columnarize on the payloads
tool results hold: the benchmark's row shapes (bench/python/bench.py's generators, nested API rows
and indented ones among them) at about 1 KB, 10 KB, 100 KB and 1 MB, the samples, and a few
refused payloads, so that the paths users take are the ones the compiler lays out for speed and
the failure paths stay out of their way. Each shape and size gets about the same number of bytes,
so no one shape decides the profile. The results are checked to be JSON, which keeps a module
that trains on failures from going unnoticed.

    python3.14 tools/dev/pgo_training.py MODULE.so
"""

import importlib.machinery
import importlib.util
import json
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
SIZES = (1_000, 10_000, 100_000, 1_000_000)
BYTES_PER_PAYLOAD = 16_000_000

# Refusals and failures, a few of each kind, called now and then.
REFUSED = (
    b"",
    b"[",
    b'[{"a":1,}]',
    b'[{"a":tru}]',
    b'[{"a":"\\x"}]',
    b'[{"a":1}] x',
    b"[1, 2]",
    b'{"a": 1}',
    b'[{"a":"\xff"}]',
)


def load(path):
    loader = importlib.machinery.ExtensionFileLoader("vantor_codec", path)
    spec = importlib.util.spec_from_file_location("vantor_codec", path, loader=loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    # The benchmark imports the module by name: it gets this one.
    sys.modules["vantor_codec"] = module
    return module


def payloads():
    sys.path.insert(0, str(REPO / "bench" / "python"))
    from bench import SHAPES, make_payload

    for shape in SHAPES:
        for size in SIZES:
            yield f"{shape} {size}", make_payload(shape, size)
    for sample in sorted((REPO / "samples").glob("*.json")):
        yield sample.name, sample.read_bytes()


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    columnarize = load(sys.argv[1]).columnarize
    refused = 0
    for name, payload in payloads():
        calls = max(1, BYTES_PER_PAYLOAD // max(len(payload), 1))
        try:
            result = columnarize(payload)
        except RuntimeError:
            continue  # a sample that shows a failure
        json.loads(result)
        for _ in range(calls - 1):
            columnarize(payload)
        for bad in REFUSED:
            try:
                columnarize(bad)
            except (RuntimeError, TypeError):
                refused += 1
        print(f"trained: {name}, {calls} calls", file=sys.stderr)
    if refused == 0:
        sys.exit("no refused payload was refused: is this the module?")


if __name__ == "__main__":
    main()
