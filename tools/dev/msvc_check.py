#!/usr/bin/env python3
"""Compiles the module's sources as an MSVC build would see them: what can be checked here of a
source build on Windows with MSVC, which Debian does not have.

usage: msvc_check.py BUILD_DIR OUT_DIR

BUILD_DIR is the Windows module's CMake folder (build/wheel-win_amd64/cmake), whose
compile_commands.json lists the sources of the core and the binding and whose python3.14-windows
folder holds the 3.14 headers with the Windows pyconfig.h. Each source is compiled to an object in
OUT_DIR by Debian's clang for x86_64-pc-windows-msvc with -fms-compatibility: _MSC_VER is defined
and __GNUC__ is not, so platform/compiler.h takes its MSVC branch (_umul128, __cpuid, __cpuidex,
_xgetbv) and every other compiler test in src/ its non-GNU side; -Wall -Wextra -Werror apply to
the project's own code. MSVC's C++ library and the UCRT's headers are not in Debian, so MinGW-w64's
libstdc++ and C headers stand in, behind a prelude that undoes what they do for a compiler that is
not GCC (they define __attribute__ away) and gives libstdc++ the GCC macros it reads.

Then each object must not reference the GCC runtime's processor model (__cpu_model, which
__builtin_cpu_supports reads): the run-time kernel choice came from the MSVC branch. Exits 1 when a
compile fails or an object does.

Not checked: MSVC itself (cl.exe), its C++ library and the UCRT's headers, and linking or running
the result.
"""

import json
import pathlib
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

REPO = pathlib.Path(__file__).resolve().parents[2]
MINGW = pathlib.Path("/usr/x86_64-w64-mingw32ucrt/include")

# Compiled first: the MSVC branch of platform/compiler.h is the one taken.
PROBE = """\
#include "platform/compiler.h"
#if !defined(VANTOR_COMPILER_MSVC) || defined(VANTOR_COMPILER_GNU) || \\
    !defined(VANTOR_X86_CPU_FEATURES)
#error "platform/compiler.h did not take its MSVC branch"
#endif
bool probe_avx2() { return vantor::platform::cpu_supports_avx2(); }
"""

PRELUDE = """\
// Written by tools/dev/msvc_check.py: MinGW-w64's headers read by clang in MSVC mode.
#include <_mingw.h>
// Defined away by _mingw.h for compilers other than GCC; clang's own intrinsic headers need it.
#undef __attribute__
// Attributes after a declarator, which _mingw.h spells __declspec for MSVC.
#undef __MINGW_NOTHROW
#define __MINGW_NOTHROW
#undef __MINGW_ATTRIB_NORETURN
#define __MINGW_ATTRIB_NORETURN
#undef __MINGW_ATTRIB_DEPRECATED
#define __MINGW_ATTRIB_DEPRECATED
// MinGW's setjmp.h and clang's intrin.h declare _setjmp differently: only clang's is read.
#define _INC_SETJMP
typedef int jmp_buf[64];
// What GCC predefines and libstdc++'s atomics read.
#define __GCC_ATOMIC_TEST_AND_SET_TRUEVAL 1
"""
LOCK_FREE = ["BOOL", "CHAR", "CHAR8_T", "CHAR16_T", "CHAR32_T", "WCHAR_T", "SHORT", "INT", "LONG",
             "LLONG", "POINTER"]


def libstdcxx_include():
    """MinGW-w64 GCC's libstdc++ headers: the C++ library folder and its target folder."""
    gcc = subprocess.run(["x86_64-w64-mingw32ucrt-g++", "-print-file-name=include"],
                         capture_output=True, text=True, check=True).stdout.strip()
    cxx = pathlib.Path(gcc) / "c++"
    return [cxx, cxx / "x86_64-w64-mingw32ucrt"]


def clang_resource_include():
    resource = subprocess.run(["clang++", "-print-resource-dir"], capture_output=True, text=True,
                              check=True).stdout.strip()
    return pathlib.Path(resource) / "include"


def sources(build_dir):
    """The core's and the binding's sources, from the Windows build's compile commands."""
    commands = json.loads((build_dir / "compile_commands.json").read_text())
    return sorted({pathlib.Path(entry["file"]) for entry in commands
                   if pathlib.Path(entry["file"]).is_relative_to(REPO / "src")})


def compile_command(source, output, prelude, build_dir):
    system = [clang_resource_include(), *libstdcxx_include(), MINGW,
              build_dir / "python3.14-windows"]
    return ["clang++", "--target=x86_64-pc-windows-msvc", "-fms-compatibility", "-fms-extensions",
            "-std=c++20", "-O2", "-DNDEBUG", "-nostdinc++", "-nostdlibinc", "-D__STRICT_ANSI__",
            *[f"-D__GCC_ATOMIC_{name}_LOCK_FREE=2" for name in LOCK_FREE],
            *[argument for folder in system for argument in ("-isystem", str(folder))],
            "-include", str(prelude), f"-I{REPO / 'src'}", "-Wall", "-Wextra", "-Werror",
            "-c", str(source), "-o", str(output)]


def undefined_symbols(obj):
    listing = subprocess.run(["x86_64-w64-mingw32ucrt-nm", "--undefined-only", str(obj)],
                             capture_output=True, text=True, check=True).stdout
    return {line.split()[-1] for line in listing.splitlines() if line.strip()}


def check(source, out_dir, prelude, build_dir):
    """None when SOURCE compiles and its object is as the MSVC branch makes it, else why not."""
    name = source.relative_to(REPO).as_posix() if source.is_relative_to(REPO / "src") \
        else source.name
    obj = out_dir / (name.replace("/", "_") + ".obj")
    command = compile_command(source, obj, prelude, build_dir)
    compiled = subprocess.run(command, capture_output=True, text=True)
    if compiled.returncode != 0:
        return f"{shlex.join(command)}\n{compiled.stderr}"
    gnu_runtime = {name for name in undefined_symbols(obj) if name.startswith("__cpu_")}
    if gnu_runtime:
        return f"{obj.name} needs the GCC runtime's {sorted(gnu_runtime)}"
    return None


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[1])
    build_dir, out_dir = (pathlib.Path(argument).resolve() for argument in sys.argv[1:])
    out_dir.mkdir(parents=True, exist_ok=True)
    prelude = out_dir / "msvc_mode_prelude.h"
    prelude.write_text(PRELUDE)
    probe = out_dir / "msvc_branch_probe.cpp"
    probe.write_text(PROBE)
    files = [probe, *sources(build_dir)]
    with ThreadPoolExecutor() as pool:
        problems = [problem for problem in
                    pool.map(lambda source: check(source, out_dir, prelude, build_dir), files)
                    if problem]
    for problem in problems:
        print(problem, file=sys.stderr)
    print(f"msvc_check: {len(files) - len(problems)} of {len(files)} sources compiled in MSVC mode "
          f"(clang --target=x86_64-pc-windows-msvc), warnings as errors")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
