"""Instructions per payload byte of the C++ transform, per shape, split by phase.

Runs bench/cpp's transform_profile under callgrind for each shape, with collection on only inside
its profiled_call (one call of the transform), and splits the instructions into phases by the source file each one
comes from (callgrind keeps the file of code inlined from a header), with PHASE_FILES and
PHASE_METHODS below: classifying (the UTF-8 check of the whole payload), walking (the
tape reader and the scans of strings, whitespace and numbers), discovery (the row observer: each member's
column), constants (the constant test), writing (the tape writer and the result's text), memory
(buffers and pages) and other. Code from outside the project counts in the phase of the project
code it serves: a call to the C or C++ library (memcpy, malloc, std::vector's out-of-line parts)
in the phase of the line that calls it, and library code inlined into a project function
(std::sort, std::vector::push_back) in the phase of the last line from a project file before it
in that function, else by the function's name (PHASE_FUNCTIONS).

With --utf8-check it also runs bench/cpp's utf8_check_profile under callgrind: the reader's first
pass, the UTF-8 check of the whole payload, beside simdjson's UTF-8 validation and its stage 1
(On-Demand's iterate: the structural indexing, UTF-8 check included), on the string rows and
tool-call rows of 1 MiB that bench/cpp/utf8_check_bench.cpp times, in instructions per payload
byte. valgrind runs no AVX-512 code and hides it from the programs it runs, so each pass runs its
AVX2 kernel at most here.

Usage (./dev bench --instructions runs it on a build with debug information; ./dev bench runs the
second table alone):
    python3.14 bench/python/instructions.py [PROFILE_BINARY] [--bytes N] [--calls N]
        [--shapes LIST] [--keep FOLDER] [--utf8-check UTF8_CHECK_PROFILE]
PROFILE_BINARY needs debug information (-g; the optimisation stays that of the release build);
UTF8_CHECK_PROFILE does not, as its table is not split.
"""

import argparse
import fnmatch
import re
import shutil
import subprocess
import sys
import tempfile
from collections import defaultdict
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]

# The phases in the report's order; "other" takes what no rule names.
PHASES = ("classifying", "walking", "discovery", "constants", "writing", "memory", "other")

# Source file (a glob, relative to the clone) -> phase. The first match wins. When the core's files
# are renamed or split, this table is what to update.
PHASE_FILES = (
    ("src/text/utf8*", "classifying"),
    ("src/tape/tape_reader*", "walking"),
    ("src/tape/tape_builder*", "walking"),
    ("src/tape/tape_limits*", "walking"),
    ("src/tape/tape.h", "walking"),
    ("src/tape/nested_object_settler*", "walking"),
    ("src/tape/read_tape*", "walking"),
    ("src/tape/walk_protocols*", "walking"),
    ("src/text/string_scan*", "walking"),
    ("src/text/long_string_scan*", "walking"),
    ("src/text/whitespace_scan*", "walking"),
    ("src/text/string_reader*", "walking"),
    ("src/text/code_points*", "walking"),
    ("src/text/number_scan*", "walking"),
    ("src/text/number_reader*", "walking"),
    # The tape builder's test of each float token; the tape comparison's integer-and-float-text
    # test from the same file is a few instructions per mixed pair, counted here too.
    ("src/text/float_layout*", "walking"),
    ("src/text/json_number*", "walking"),
    ("src/text/powers_of_ten*", "walking"),
    ("src/text/byte_classes*", "walking"),
    ("src/text/unicode_classes*", "walking"),
    ("src/text/read_error*", "walking"),
    ("src/json/*", "walking"),
    ("src/hashing/*", "discovery"),
    ("src/text/same_bytes*", "discovery"),
    ("src/transform/tape_column_values*", "constants"),
    ("src/transform/number_equality*", "constants"),
    ("src/transform/column_rules*", "constants"),
    ("src/tape/tape_writer*", "writing"),
    ("src/transform/result_writer*", "writing"),
    ("src/transform/result_text*", "writing"),
    ("src/text/scalar_writer*", "writing"),
    ("src/text/float_text*", "writing"),
    ("src/text/float_tables*", "writing"),
    ("src/text/digit_tables*", "writing"),
    ("src/memory/*", "memory"),
)

# Files whose code belongs to more than one phase: the phase of each member function of the
# class in it, by name (a glob); the lines of a function the table does not name are "other".
# The row observer's calls are inlined into the tape reader, so its lines are found in the
# reader's function; they count as discovery all the same.
PHASE_METHODS = {
    "src/transform/column_index.h": (
        ("row_begin", "discovery"), ("expected_name", "discovery"),
        ("expected_member", "discovery"), ("member", "discovery"),
        ("member_in_column", "discovery"), ("member_value", "discovery"),
        ("row_end", "discovery"), ("non_object_row", "discovery"),
        ("add_column", "discovery"), ("take_back_value", "discovery"),
        ("reserve_for_rows", "discovery"), ("choose_columns", "constants"),
    ),
}

# For code from files that are not the project's (inlined from the C++ library's headers) inside
# a project function: the phase by the function's name (a regular expression), else the phase
# of the file the function is defined in.
PHASE_FUNCTIONS = (
    (r"read_tape|walk_tokens|TapeWalk|TapeBuilder", "walking"),
    (r"ColumnIndex|NameIndex|find_or_add|reserve_for_rows", "discovery"),
    (r"column_values_equal|choose_columns", "constants"),
    (r"write_|Writer", "writing"),
)

# transform_profile's name for each shape of bench.py (its payloads are the same bytes).
SHAPES = {
    "tool_call": "tool_call", "numbers": "number", "strings": "string", "sparse": "sparse",
    "wide": "wide", "nested": "nested", "nested_repeated": "nested_repeated",
    "nested_pretty": "nested_pretty", "nested_repeated_pretty": "nested_repeated_pretty",
    "airports": "airports",
}
COLLECTED_FUNCTION = "*profiled_call*"

# utf8_check_profile's passes, in the table's order, and its shapes; the payload size is that of
# bench/cpp/utf8_check_bench.cpp.
UTF8_CHECK_PASSES = {
    "vantor UTF-8 check": "vantor",
    "simdjson validate_utf8": "simdjson_validate_utf8",
    "simdjson stage 1 (On-Demand iterate)": "simdjson_stage1",
}
UTF8_CHECK_SHAPES = {"string rows": "string", "tool-call rows": "tool_call"}
UTF8_CHECK_BYTES = 1 << 20

PROJECT_PATH = re.compile(r"(?:^|/)((?:src|bench)/.+)$")
METHOD_START = re.compile(r"^    (?:\[\[[^\]]*\]\]\s*)?(?:[\w:<>,*&]+\s+)*?(~?\w+)\([^;]*$")


def method_ranges(path):
    """(first line, last line, name) of each member function defined at the class's indentation
    in the source file at `path`."""
    lines = path.read_text().splitlines()
    starts = [(number, match[1]) for number, line in enumerate(lines, 1)
              if (match := METHOD_START.match(line)) and match[1] not in {"if", "for", "while",
                                                                           "switch", "return"}]
    ranges = []
    for index, (first, name) in enumerate(starts):
        last = starts[index + 1][0] - 1 if index + 1 < len(starts) else len(lines)
        ranges.append((first, last, name))
    return ranges


class Classifier:
    """The phase of a line of code, from the tables above, for the sources of the clone at
    `repo`."""

    def __init__(self, repo=REPO):
        self.repo = repo
        self.methods = {}
        for file, rules in PHASE_METHODS.items():
            path = repo / file
            ranges = method_ranges(path) if path.is_file() else []
            self.methods[file] = [(first, last, next(
                (phase for pattern, phase in rules if fnmatch.fnmatchcase(name, pattern)),
                "other")) for first, last, name in ranges]
        self.cache = {}

    def relative(self, file):
        """A source path relative to the clone, whatever the build made of it (absolute,
        relative to the build folder, or mapped by -ffile-prefix-map), when the clone has that
        file; else the path as it is."""
        match = PROJECT_PATH.search(file)
        if match and (self.repo / match[1]).is_file():
            return match[1]
        return file

    def is_project_function(self, name, defining_file):
        head = name.split("(")[0]
        return bool(re.search(r"(^|[\s<,])vantor::", head)) or self.relative(
            defining_file).startswith("src/")

    def file_phase(self, file, line):
        """The phase of `line` in `file`, or None when the file is not one of the project's."""
        file = self.relative(file)
        if file in self.methods:
            return next((phase for first, last, phase in self.methods[file]
                         if first <= line <= last), "other")
        if file not in self.cache:
            self.cache[file] = next(
                (phase for pattern, phase in PHASE_FILES if fnmatch.fnmatchcase(file, pattern)),
                "other" if file.startswith(("src/", "bench/")) else None)
        return self.cache[file]

    def function_phase(self, function, defining_file):
        for pattern, phase in PHASE_FUNCTIONS:
            if re.search(pattern, function.split("(")[0]):
                return phase
        return self.file_phase(defining_file, 0) or "other"


def split_profile(lines, classifier):
    """Instructions by phase from callgrind's output (written with --compress-strings=no and
    --compress-pos=no), and the total that callgrind counted."""
    phases = defaultdict(int)
    total = 0
    function, defining_file, file = "", "", ""
    project = False
    callee, callee_file = "", ""
    pending_call = None  # the callee of the calls= line just read
    context = None  # the phase of the current function's last line from a project file
    for line in lines:
        if not line or line[0] == "#":
            continue
        if line[0].isdigit():
            position, cost = line.split()[:2]
            cost, position = int(cost), int(position)
            own = classifier.file_phase(file, position)
            phase = own or context or classifier.function_phase(function, defining_file)
            if own:
                context = own
            if pending_call is not None:
                callee, callee_file = pending_call
                pending_call = None
                # A call's line holds the callee's inclusive cost: counted here only for callees
                # outside the project, whose own lines are not counted.
                if project and not classifier.is_project_function(callee, callee_file):
                    phases[phase] += cost
                continue
            if project:
                phases[phase] += cost
            continue
        if line.startswith(("totals:", "summary:")):
            total = int(line.split()[1])
            continue
        key, _, value = line.partition("=")
        if key == "fl":
            defining_file = file = value
        elif key in ("fi", "fe"):
            file = value
        elif key == "fn":
            function, file, context = value, defining_file, None
            project = classifier.is_project_function(function, defining_file)
        elif key in ("cfn",):
            callee = value
        elif key in ("cfi", "cfl"):
            callee_file = value
        elif key == "calls":
            pending_call = (callee, callee_file)
            callee_file = defining_file
    return dict(phases), total


def counted_total(lines):
    """The instructions that callgrind counted, from its output's totals or summary line."""
    return next(int(line.split()[1]) for line in lines
                if line.startswith(("totals:", "summary:")))


def callgrind(command, out_file, what):
    """Runs `command` under callgrind, counting inside COLLECTED_FUNCTION alone; returns what it
    printed."""
    finished = subprocess.run(
        ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out_file}",
         f"--toggle-collect={COLLECTED_FUNCTION}", "--compress-strings=no",
         "--compress-pos=no", *map(str, command)],
        capture_output=True, text=True)
    if finished.returncode != 0:
        raise RuntimeError(f"callgrind on {what} failed:\n{finished.stderr[-2000:]}")
    return finished.stdout


def profile(binary, shape, size, calls, out_file):
    """Runs transform_profile under callgrind; returns the payload's size in bytes."""
    said = callgrind([binary, SHAPES[shape], size, calls], out_file, shape)
    match = re.search(r"payload (\d+) bytes", said)
    if match is None:
        raise RuntimeError(f"transform_profile said: {said!r}")
    return int(match[1])


def phase_table(args, shapes, folder):
    """Prints the instructions per payload byte of transform_profile on each shape, by phase."""
    classifier = Classifier()
    print(f"## Instructions per payload byte ({args.bytes:,}-byte payloads, {args.calls} calls "
          f"each, callgrind; collected inside {COLLECTED_FUNCTION})\n")
    print("| shape | payload bytes | total | " + " | ".join(PHASES) + " | unsplit |")
    print("| --- | ---: | ---: | " + " | ".join("---:" for _ in PHASES) + " | ---: |")
    for shape in shapes:
        out_file = folder / f"callgrind.{shape}.out"
        size = profile(args.binary, shape, args.bytes, args.calls, out_file)
        with open(out_file) as source:
            phases, total = split_profile(source.read().splitlines(), classifier)
        per_byte = args.calls * size
        # What the split did not place (a callee counted twice, or not at all) shows here.
        unsplit = total - sum(phases.values())
        print(f"| {shape} | {size:,} | {total / per_byte:.2f} | "
              + " | ".join(f"{phases.get(phase, 0) / per_byte:.2f}" for phase in PHASES)
              + f" | {unsplit / per_byte:.2f} |", flush=True)


def utf8_check_table(binary, calls, folder):
    """Prints the instructions per payload byte of each of utf8_check_profile's passes on each
    of its shapes, with the kernel that ran."""
    print(f"## The UTF-8 check beside simdjson's passes: instructions per payload byte "
          f"(core_bench's payloads of about {UTF8_CHECK_BYTES >> 20} MiB, {calls} calls each "
          f"after one not counted; callgrind, which runs no AVX-512 code)\n")
    print("| pass | kernel | " + " | ".join(UTF8_CHECK_SHAPES) + " |")
    print("| --- | --- | " + " | ".join("---:" for _ in UTF8_CHECK_SHAPES) + " |")
    for label, pass_name in UTF8_CHECK_PASSES.items():
        cells, kernels = [], set()
        for shape in UTF8_CHECK_SHAPES.values():
            out_file = folder / f"callgrind.{pass_name}.{shape}.out"
            said = callgrind([binary, pass_name, shape, UTF8_CHECK_BYTES, calls], out_file,
                             f"{pass_name} on {shape}")
            match = re.search(r"payload (\d+) bytes, \d+ calls, kernel (\S+)", said)
            if match is None:
                raise RuntimeError(f"utf8_check_profile said: {said!r}")
            with open(out_file) as source:
                total = counted_total(source)
            cells.append(f"{total / (calls * int(match[1])):.2f}")
            kernels.add(match[2])
        print(f"| {label} | {', '.join(sorted(kernels))} | " + " | ".join(cells) + " |",
              flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", nargs="?", metavar="PROFILE_BINARY",
                        help="transform_profile, built with debug information")
    parser.add_argument("--bytes", type=int, default=100 << 10, help="payload size (100 KiB)")
    parser.add_argument("--calls", type=int, default=5, help="calls counted per shape (5)")
    parser.add_argument("--shapes", default=",".join(SHAPES),
                        help=f"comma-separated, from {','.join(SHAPES)}")
    parser.add_argument("--keep", metavar="FOLDER", help="keep callgrind's output files there")
    parser.add_argument("--utf8-check", metavar="UTF8_CHECK_PROFILE",
                        help="also the UTF-8 check beside simdjson's passes, with this driver")
    args = parser.parse_args()
    if args.binary is None and args.utf8_check is None:
        parser.error("give PROFILE_BINARY, --utf8-check UTF8_CHECK_PROFILE or both")
    shapes = [shape for shape in args.shapes.split(",") if shape]
    unknown = sorted(set(shapes) - set(SHAPES))
    if unknown:
        parser.error(f"unknown shapes {unknown}")
    if shutil.which("valgrind") is None:
        parser.error("valgrind is not installed (package valgrind)")

    with tempfile.TemporaryDirectory() as scratch:
        folder = Path(args.keep or scratch)
        folder.mkdir(parents=True, exist_ok=True)
        if args.binary is not None:
            phase_table(args, shapes, folder)
        if args.utf8_check is not None:
            if args.binary is not None:
                print()
            utf8_check_table(args.utf8_check, args.calls, folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
