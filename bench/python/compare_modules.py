"""Two builds of vantor_codec timed against each other in one process: the wheel's module beside
the release build's, or one compiler flag against another.

Both module files are loaded under the module's own name from their paths (each its own shared
object), and their columnarize calls run interleaved, round by round, on bench.py's payloads as
bench.py's throughput section runs its candidates. The machine's drift then reaches both alike;
repeating the whole comparison shows how much of the difference is noise. Both must give the same
bytes on every payload.

    python3.14 bench/python/compare_modules.py [--quick] [--repeat N] [--shapes LIST]
        [--sizes LIST] BASELINE.so CANDIDATE.so

Reports, per shape and size, the candidate's rate over the baseline's in each repetition, and
their minimum and median. With --instructions it counts instead, under callgrind, the
instructions each module's calls execute per payload byte: a child process that loads one module
and makes C calls, less one that makes none, over C and the payload's length (the interpreter's
own work per call is the same for both modules; callgrind runs the AVX2 kernels, see
development.md). Stripped modules, like the wheel's, need no symbols for this.
"""

import argparse
import importlib.machinery
import importlib.util
import os
import re
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
SIZES = {"1KB": 1 << 10, "100KB": 100 << 10, "1MB": 1 << 20}


def bench_module():
    if str(HERE) not in sys.path:
        sys.path.insert(0, str(HERE))
    import bench

    return bench


def load_module_file(path):
    """The module in the shared object at `path`, apart from any other vantor_codec loaded."""
    loader = importlib.machinery.ExtensionFileLoader("vantor_codec", str(path))
    spec = importlib.util.spec_from_file_location("vantor_codec", str(path), loader=loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


def compare(baseline, candidate, payloads, settings, repeat):
    """{payload label: [candidate's rate ÷ baseline's, one per repetition]}."""
    bench = bench_module()
    ratios = {label: [] for label in payloads}
    for _ in range(repeat):
        for label, payload in payloads.items():
            medians, _ = bench.interleaved_medians(
                {"baseline": baseline.columnarize, "candidate": candidate.columnarize}, payload,
                settings)
            ratios[label].append(medians["baseline"] / medians["candidate"])
    return ratios


# The child of --instructions: load the module file argv[1], read the payload argv[2], make one
# warm-up call, then argv[3] more.
COUNTING_CHILD = """
import sys
sys.path.insert(0, sys.argv[4])
import compare_modules
module = compare_modules.load_module_file(sys.argv[1])
payload = open(sys.argv[2], "rb").read()
module.columnarize(payload)
for _ in range(int(sys.argv[3])):
    module.columnarize(payload)
"""


def total_instructions(module_path, payload_path, calls):
    """The instructions callgrind counts in a child that makes `calls` calls after a warm-up."""
    with tempfile.TemporaryDirectory() as scratch:
        output = Path(scratch, "callgrind.out")
        # A fixed hash seed: the interpreter's start-up then runs the same instructions in both
        # children, and only the calls differ.
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={output}",
                        sys.executable, "-c", COUNTING_CHILD, str(module_path), str(payload_path),
                        str(calls), str(HERE)], check=True, capture_output=True,
                       env=dict(os.environ, PYTHONHASHSEED="0"))
        summary = re.search(r"^summary: (\d+)", output.read_text(), re.M)
        return int(summary.group(1))


def instructions_per_byte(module_path, payloads, calls):
    """{payload label: instructions per payload byte of one call}."""
    figures = {}
    with tempfile.TemporaryDirectory() as scratch:
        for label, payload in payloads.items():
            path = Path(scratch, "payload.json")
            path.write_bytes(payload)
            counts = [total_instructions(module_path, path, amount) for amount in (0, calls)]
            figures[label] = (counts[1] - counts[0]) / calls / len(payload)
    return figures


def main(arguments=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("baseline", type=Path)
    parser.add_argument("candidate", type=Path)
    parser.add_argument("--quick", action="store_true", help="bench.py's smoke-test rounds")
    parser.add_argument("--repeat", type=int, default=3, help="whole comparisons (default 3)")
    parser.add_argument("--shapes", help="bench.py's shapes, comma-separated (default: all)")
    parser.add_argument("--instructions", type=int, metavar="CALLS",
                        help="count instructions per byte of CALLS calls under callgrind instead")
    parser.add_argument("--sizes", default="1KB,100KB",
                        help=f"from {', '.join(SIZES)}, comma-separated (default: 1KB,100KB)")
    args = parser.parse_args(arguments)
    bench = bench_module()
    shapes = args.shapes.split(",") if args.shapes else list(bench.SHAPES)
    sizes = args.sizes.split(",")
    unknown = sorted(set(shapes) - set(bench.SHAPES)) + sorted(set(sizes) - set(SIZES))
    if unknown:
        parser.error(f"unknown shapes or sizes: {unknown}")
    baseline, candidate = load_module_file(args.baseline), load_module_file(args.candidate)
    payloads = {f"{bench.SHAPES[shape][0]} {size}": bench.make_payload(shape, SIZES[size])
                for shape in shapes for size in sizes}
    for label, payload in payloads.items():
        if baseline.columnarize(payload) != candidate.columnarize(payload):
            print(f"compare_modules.py: the two modules' results differ on {label}",
                  file=sys.stderr)
            return 1
    print(f"baseline {args.baseline}\ncandidate {args.candidate}\n")
    if args.instructions:
        counts = [instructions_per_byte(path, payloads, args.instructions)
                  for path in (args.baseline, args.candidate)]
        print(bench.table(["payload", "baseline instructions per byte",
                           "candidate instructions per byte", "candidate ÷ baseline"],
                          [[label, f"{counts[0][label]:.2f}", f"{counts[1][label]:.2f}",
                            f"{counts[1][label] / counts[0][label]:.3f}"] for label in payloads]))
        return 0
    settings = bench.QUICK if args.quick else bench.FULL
    ratios = compare(baseline, candidate, payloads, settings, args.repeat)
    print(bench.table(
        ["payload", *(f"run {index + 1}" for index in range(args.repeat)), "min", "median"],
        [[label, *(f"{ratio:.3f}" for ratio in values), f"{min(values):.3f}",
          f"{statistics.median(values):.3f}"] for label, values in ratios.items()]))
    every = [ratio for values in ratios.values() for ratio in values]
    print(f"\ncandidate ÷ baseline over every payload and run: min {min(every):.3f}, "
          f"median {statistics.median(every):.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
