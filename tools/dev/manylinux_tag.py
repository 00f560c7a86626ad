#!/usr/bin/env python3
"""Prints the manylinux platform tag that a Linux x86-64 or aarch64 wheel's extension modules meet.

usage: manylinux_tag.py WHEEL

The tag is manylinux_2_N_ARCH, N being the newest GLIBC_2.N symbol version that a module needs
(at least 17, the oldest baseline that pip still meets in practice, and the first glibc for
aarch64) and ARCH the modules' machine. It fails (status 1, the reason on standard error) when a
module needs a library outside the manylinux set or a versioned symbol of libstdc++ or libgcc_s,
which only a newer system than N would provide (the C++ runtime and the unwinder belong inside
the module), or when the modules are of different machines. Standard error says what decides N:
the symbols that need GLIBC_2.N, or the floor when none needs that much.
"""

import re
import subprocess
import sys
import tempfile
import zipfile

# The libraries that every manylinux system provides (PEP 600's list), but the dynamic loader,
# whose name depends on the machine.
MANYLINUX_LIBRARIES = {
    "libc.so.6", "libm.so.6", "libdl.so.2", "librt.so.1", "libpthread.so.0", "libutil.so.1",
    "libresolv.so.2", "libnsl.so.1", "libgcc_s.so.1", "libstdc++.so.6", "libz.so.1",
}
# The machine as readelf names it: the tag's architecture and that machine's dynamic loader.
ARCHITECTURES = {
    "Advanced Micro Devices X86-64": ("x86_64", "ld-linux-x86-64.so.2"),
    "AArch64": ("aarch64", "ld-linux-aarch64.so.1"),
}
MIN_GLIBC_MINOR = 17
# The first glibc of a machine, whose version its oldest symbols carry, where it is past 2.0.
FIRST_GLIBC_MINOR = {"aarch64": 17}


def readelf(*args):
    return subprocess.run(["readelf", "-W", *args], capture_output=True, text=True,
                          check=True).stdout


def module_requirements(path):
    """(machine, needed libraries, needed symbol versions, {version: the symbols needed of it})
    of one shared object."""
    machine = re.search(r"^\s*Machine:\s+(.+?)\s*$", readelf("-h", path), re.MULTILINE).group(1)
    needed = set(re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", readelf("-d", path)))
    versions = set(re.findall(r"Name: (\S+)\s+Flags", readelf("-V", path)))
    symbols = {}
    # Num: Value Size Type Bind Vis Ndx Name@VERSION (Name@VERSION (N) in newer readelfs)
    for fields in (line.split() for line in readelf("--dyn-syms", path).splitlines()):
        if len(fields) >= 8 and fields[0].endswith(":") and fields[6] == "UND" and "@" in fields[7]:
            name, version = fields[7].split("@", 1)
            symbols.setdefault(version.lstrip("@"), set()).add(name)
    return machine, needed, versions, symbols


def glibc_minor(version):
    """N of GLIBC_2.N or GLIBC_2.N.M, None for other versions."""
    match = re.fullmatch(r"GLIBC_2\.([0-9]+)(\.[0-9]+)?", version)
    return int(match.group(1)) if match else None


def decided_by(newest, symbols, architecture):
    """What makes the tag's glibc 2.N: the symbols of GLIBC_2.N (and 2.N.M), or the floor, which
    the machine's first glibc may be (where every C library symbol has that version)."""
    names = ", ".join(sorted({name for version, found in symbols.items()
                              if glibc_minor(version) == newest for name in found}))
    if newest > MIN_GLIBC_MINOR:
        return f"GLIBC_2.{newest}: {names}"
    floor = f"the floor, glibc 2.{MIN_GLIBC_MINOR}"
    if FIRST_GLIBC_MINOR.get(architecture) == MIN_GLIBC_MINOR:
        return f"{floor}, {architecture}'s first: no symbol needs a newer one"
    return f"{floor}, for {names}" if names else f"{floor}: no symbol needs it"


def manylinux_tag(wheel):
    """(tag, problems, what decides the tag's glibc version) of a wheel."""
    problems = []
    newest = MIN_GLIBC_MINOR
    architectures = set()
    symbols = {}
    with zipfile.ZipFile(wheel) as archive, tempfile.TemporaryDirectory() as scratch:
        modules = [name for name in archive.namelist() if name.endswith(".so")]
        if not modules:
            problems.append("the wheel holds no extension module")
        for name in modules:
            path = archive.extract(name, scratch)
            machine, needed, versions, module_symbols = module_requirements(path)
            for version, names in module_symbols.items():
                symbols.setdefault(version, set()).update(names)
            if machine not in ARCHITECTURES:
                problems.append(f"{name} is for {machine}, which has no manylinux tag here")
                continue
            architecture, loader = ARCHITECTURES[machine]
            architectures.add(architecture)
            for library in sorted(needed - MANYLINUX_LIBRARIES - {loader}):
                problems.append(f"{name} needs {library}, which manylinux systems need not have")
            for version in sorted(versions):
                minor = glibc_minor(version)
                if minor is not None:
                    newest = max(newest, minor)
                elif version.startswith(("GLIBCXX_", "CXXABI_", "GCC_")):
                    problems.append(f"{name} needs {version}: link the C++ runtime and the unwinder statically")
                else:
                    problems.append(f"{name} needs the unknown symbol version {version}")
    if len(architectures) > 1:
        machines = ", ".join(sorted(architectures))
        problems.append(f"the modules are for different machines: {machines}")
    architecture = min(architectures, default="x86_64")
    return (f"manylinux_2_{newest}_{architecture}", problems,
            decided_by(newest, symbols, architecture))


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    tag, problems, decided = manylinux_tag(argv[1])
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    print(f"{tag}: decided by {decided}", file=sys.stderr)
    print(tag)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
