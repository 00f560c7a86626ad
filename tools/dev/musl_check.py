#!/usr/bin/env python3
"""Compiles the module's sources against musl's headers and looks up every C library call they
make in musl's C library: what can be checked of a musllinux wheel without a musl system.

usage: musl_check.py BUILD_DIR MACHINE OUT_DIR [SYSROOT]

BUILD_DIR is a wheel's CMake folder (build/wheel/cmake): each source of the core and the binding
is compiled again with its own command from compile_commands.json, the wheel's flags (but its
profile's) and warnings as errors included, by clang 16 of the Debian 11 root (mounted at
/opt/vantor-wheel-root), but for MACHINE-linux-musl: musl's headers (Debian's musl-dev) in place
of glibc's, libc++'s headers told that their C library is musl. musl and CPython's headers for
MACHINE are those of the Debian 11 root itself, or of SYSROOT, a folder that both roots see at
that path (the aarch64 wheel's). The objects go to OUT_DIR. Every symbol they leave undefined that
is neither CPython's C API nor the C++ runtime's nor the compiler's must be defined by musl's
libc.so; the calls are printed with where each was found. Exits 1 when a compile fails or a call
is missing from musl.

CPython's pyconfig.h stays the glibc build's (no musl CPython is at hand): the headers it
switches on are musl's, but a musl build's own configuration may differ in a few HAVE_ macros.
"""

import json
import pathlib
import re
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

ROOT = pathlib.Path("/opt/vantor-wheel-root")
LLVM = "/usr/lib/llvm-16"
REPO = pathlib.Path(__file__).resolve().parents[2]

# Symbols the objects may leave undefined without a C library call: CPython's C API, the C++
# runtime (mangled names, the ABI and unwinder entry points), the compiler's runtime (the CPU
# model that __builtin_cpu_supports reads, aarch64's out-of-line atomics) and what the linker
# provides.
RUNTIME_PREFIXES = ("_Z", "__cxa_", "__gxx_personality", "_Unwind_", "__cpu_", "__aarch64_")
LINKER_SYMBOLS = {"_GLOBAL_OFFSET_TABLE_", "__dso_handle", "__tls_get_addr"}


def kind(symbol):
    """'python', 'runtime' or 'libc' for an undefined symbol of one of the objects."""
    if re.match(r"_?Py[A-Z_]", symbol):
        return "python"
    if symbol.startswith(RUNTIME_PREFIXES) or symbol in LINKER_SYMBOLS:
        return "runtime"
    return "libc"


def musl_command(arguments, source, output, machine, pyconfig_dir, sysroot="/"):
    """The wheel's compile command for SOURCE (its argument list, the wrapper first) made to
    compile for MACHINE-linux-musl against musl's headers in SYSROOT and libc++'s into OUTPUT."""
    flags = []
    skip = 0
    for argument in arguments[1:]:
        if skip:
            skip -= 1
        elif argument in ("-o", "-MF", "-MT", "--sysroot"):
            skip = 1
        elif argument in ("-c", "-MD", source) or argument.startswith(("--sysroot=", "--target=")):
            pass
        elif argument == "-std=c++23":
            # GCC's name for the standard the wheel compiles with; clang 16 knows it by its draft's.
            flags.append("-std=c++2b")
        elif argument.startswith("-fprofile"):
            # The wheel's profile is GCC's, made of its glibc build: clang reads neither its
            # counts nor all of its flags.
            pass
        else:
            flags.append(argument)
    return ["clang++-16", f"--target={machine}-linux-musl", "-nostdlibinc", "-nostdinc++",
            "-D_LIBCPP_HAS_MUSL_LIBC=1",
            "-isystem", f"{LLVM}/include/c++/v1",
            "-isystem", str(pathlib.Path(sysroot) / f"usr/include/{machine}-linux-musl"),
            # CPython's multiarch pyconfig.h includes <MACHINE-linux-gnu/python3.14/pyconfig.h>:
            # a folder with that alone, not glibc's whole include folder.
            "-isystem", str(pyconfig_dir),
            *flags, "-c", source, "-o", str(output)]


def compile_all(build_dir, machine, out_dir, sysroot):
    entries = json.loads((build_dir / "compile_commands.json").read_text())
    # The shipped module's sources, once each: not the fault-injection variant's that
    # ./dev wheel --python-tests adds to the folder.
    sources = {}
    for entry in entries:
        command = entry.get("command") or " ".join(entry["arguments"])
        if (pathlib.Path(entry["file"]).is_relative_to(REPO / "src")
                and "-DVANTOR_FAULT_INJECTION" not in command):
            sources.setdefault(entry["file"], entry)
    sources = list(sources.values())
    if not sources:
        raise SystemExit(f"no sources of src/ in {build_dir}/compile_commands.json")
    out_dir.mkdir(parents=True, exist_ok=True)
    pyconfig_dir = out_dir / "pyconfig"
    link = pyconfig_dir / f"{machine}-linux-gnu" / "python3.14"
    link.parent.mkdir(parents=True, exist_ok=True)
    link.unlink(missing_ok=True)
    link.symlink_to(sysroot / f"usr/include/{machine}-linux-gnu/python3.14")

    def one(entry):
        arguments = entry.get("arguments") or shlex.split(entry["command"])
        source = entry["file"]
        output = out_dir / (pathlib.Path(source).relative_to(REPO).as_posix().replace("/", "_") + ".o")
        command = musl_command(arguments, source, output, machine, pyconfig_dir, sysroot)
        done = subprocess.run(["chroot", str(ROOT), "/bin/sh", "-c", 'cd "$0" && exec "$@"',
                               entry["directory"], *command], capture_output=True, text=True)
        return source, output, done

    objects, failed = [], []
    with ThreadPoolExecutor(max_workers=2) as pool:
        for source, output, done in pool.map(one, sources):
            if done.returncode != 0:
                failed.append(f"{source}:\n{done.stderr}")
            else:
                objects.append(output)
    return objects, failed


def undefined_symbols(objects):
    """{symbol: the objects that need it}."""
    found = {}
    for path in objects:
        listed = subprocess.run(["nm", "-u", "--format=posix", str(path)], capture_output=True,
                                text=True, check=True).stdout
        for line in listed.splitlines():
            if line.strip():
                found.setdefault(line.split()[0], []).append(path.name)
    return found


def musl_exports(machine, sysroot):
    """The symbols musl's libc.so defines (functions and data, strong or weak)."""
    # The Debian 11 root's own folders are under its mount point here. Debian's musl package
    # puts the library in /lib, which a root made by debootstrap merges into /usr/lib, but an
    # unpacked sysroot does not.
    folder = ROOT if sysroot == pathlib.Path("/") else sysroot
    library = next((path for path in (folder / f"{lib}/{machine}-linux-musl/libc.so"
                                      for lib in ("usr/lib", "lib")) if path.exists()), None)
    if library is None:
        raise SystemExit(f"no musl libc.so for {machine} in {folder}")
    listed = subprocess.run(["nm", "-D", "--defined-only", "--format=posix", str(library)],
                            capture_output=True, text=True, check=True).stdout
    return {line.split()[0] for line in listed.splitlines() if line.strip()}


def main(argv):
    if len(argv) not in (4, 5):
        print(__doc__.strip().splitlines()[3], file=sys.stderr)
        return 2
    build_dir, machine, out_dir = (pathlib.Path(argv[1]).resolve(), argv[2],
                                   pathlib.Path(argv[3]).resolve())
    sysroot = pathlib.Path(argv[4] if len(argv) == 5 else "/")
    objects, failed = compile_all(build_dir, machine, out_dir, sysroot)
    for failure in failed:
        print(f"musl: compiling {failure}", file=sys.stderr)
    print(f"musl: {len(objects)} sources compiled for {machine}-linux-musl, warnings as errors;"
          f" {len(failed)} failed")
    symbols = undefined_symbols(objects)
    exports = musl_exports(machine, sysroot)
    calls = sorted(symbol for symbol in symbols if kind(symbol) == "libc")
    missing = [symbol for symbol in calls if symbol not in exports]
    print(f"musl: {len(calls)} C library calls, each looked up in musl's libc.so:")
    for symbol in calls:
        where = "MISSING from musl" if symbol in missing else "in musl"
        print(f"  {symbol:24} {where} (from {', '.join(sorted(set(symbols[symbol])))})")
    for symbol in missing:
        print(f"musl: {symbol} is not in musl's C library", file=sys.stderr)
    return 1 if failed or missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
