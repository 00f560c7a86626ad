#!/usr/bin/env python3
"""Counts the aarch64 instructions that one columnarize call executes outside the interpreter's
executable (in the module, the C library and the loader), per payload byte and shape, under
qemu-user: what callgrind counts on x86-64 (valgrind cannot run aarch64 code here, and Debian's
qemu-user has no plugins).

usage: ./dev python tools/dev/qemu_insns.py [--bytes N] [--shapes A,B] LABEL=MODULE_FOLDER...

Each MODULE_FOLDER holds an aarch64 vantor_codec module (the aarch64 wheel's, unpacked, or a
build folder's). The payloads are the benchmark's (bench/python/bench.py), N bytes (default
100000). The emulated arm64 python3.14 of VANTOR_AARCH64_SYSROOT runs a driver that calls
columnarize once, then twice; qemu translates one instruction per block and logs each block it
executes (-one-insn-per-tb -d exec,nochain) above the interpreter's executable (-dfilter), and
the difference between the two runs is one call's instructions. The interpreter's own
instructions (CPython is linked into Debian's python3.14) are left out. Address randomisation is
off (setarch -R), so the libraries land at the same addresses in every run with the same
options: the driver prints where they were, and a run whose filter did not fit them is repeated
with one that does.
"""

import argparse
import os
import pathlib
import subprocess
import sys
import tempfile
import threading

REPO = pathlib.Path(__file__).resolve().parents[2]
SYSROOT = pathlib.Path(os.environ.get("VANTOR_AARCH64_SYSROOT",
                                      "/var/cache/vantor-codec/arm64-sysroot"))

DRIVER = """\
import sys
sys.path.insert(0, sys.argv[1])
import vantor_codec
payload = open(sys.argv[2], "rb").read()
for _ in range(int(sys.argv[3])):
    vantor_codec.columnarize(payload)
print(open("/proc/self/maps").read())
"""


def outside_interpreter(maps):
    """The qemu -dfilter range (START..END) of every address above the interpreter's executable
    in a /proc/self/maps text, where the module and the libraries are: "" when the module lies
    below it or a mapping is missing."""
    executable_end = module = None
    for line in maps.splitlines():
        fields = line.split()
        if len(fields) < 6 or fields[1] != "r-xp":
            continue
        start, end = (int(address, 16) for address in fields[0].split("-"))
        name = pathlib.Path(fields[5]).name
        if name == "python3.14":
            executable_end = end
        elif name.startswith("vantor_codec."):
            module = start
    if executable_end is None or module is None or module < executable_end:
        return ""
    return f"{executable_end:#x}..0xffffffffffff"


def count_lines(fifo, counted):
    with open(fifo, "rb") as log:
        total = 0
        while chunk := log.read(1 << 20):
            total += chunk.count(b"\n")
    counted.append(total)


def executed(module_dir, payload, calls, scratch, ranges):
    """(instructions executed in the filtered ranges, the ranges the run printed)."""
    fifo = scratch / "log"
    fifo.unlink(missing_ok=True)
    os.mkfifo(fifo)
    counted = []
    reader = threading.Thread(target=count_lines, args=(fifo, counted))
    reader.start()
    python = SYSROOT / "usr/bin/python3.14"
    done = subprocess.run(
        ["setarch", "x86_64", "-R", "qemu-aarch64", "-L", str(SYSROOT), "-one-insn-per-tb",
         "-d", "exec,nochain", "-dfilter", ranges, "-D", str(fifo), str(python),
         str(scratch / "driver.py"), str(module_dir), str(payload), str(calls)],
        capture_output=True, text=True)
    reader.join()
    if done.returncode != 0:
        raise SystemExit(f"the driver failed under qemu:\n{done.stderr}")
    printed = outside_interpreter(done.stdout)
    if not printed:
        raise SystemExit(f"no module above the interpreter's code:\n{done.stdout}")
    return counted[0], printed


def call_instructions(module_dir, payload, scratch, ranges):
    """One call's instructions, and the filter range, which must not move from run to run."""
    counts = {}
    for calls in (1, 2):
        for _ in range(2):
            count, printed = executed(module_dir, payload, calls, scratch, ranges)
            if printed == ranges:
                counts[calls] = count
                break
            ranges = printed
        else:
            raise SystemExit(f"the interpreter or {module_dir} moves from run to run")
    return counts[2] - counts[1], ranges


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--bytes", type=int, default=100_000)
    parser.add_argument("--shapes", default="")
    parser.add_argument("modules", nargs="+", metavar="LABEL=MODULE_FOLDER")
    args = parser.parse_args(argv[1:])
    sys.path.insert(0, str(REPO / "bench" / "python"))
    import bench

    shapes = args.shapes.split(",") if args.shapes else list(bench.SHAPES)
    modules = [entry.split("=", 1) for entry in args.modules]
    ranges = {label: "0x1000000..0xffffffffffff" for label, _ in modules}
    print("shape," + ",".join(f"{label} insns/byte" for label, _ in modules))
    with tempfile.TemporaryDirectory() as name:
        scratch = pathlib.Path(name)
        (scratch / "driver.py").write_text(DRIVER)
        for shape in shapes:
            payload = scratch / f"{shape}.json"
            payload.write_bytes(bench.make_payload(shape, args.bytes))
            size = payload.stat().st_size
            row = [shape]
            for label, folder in modules:
                count, ranges[label] = call_instructions(pathlib.Path(folder).resolve(), payload,
                                                         scratch, ranges[label])
                row.append(f"{count / size:.2f}")
            print(",".join(row), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
