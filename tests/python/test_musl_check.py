"""The musl check of the wheels (tools/dev/musl_check.py): which undefined symbols it takes for C
library calls, and how it turns a wheel's compile command into one against musl's headers."""

import importlib.util

import pytest
from conftest import REPO

SPEC = importlib.util.spec_from_file_location("musl_check", REPO / "tools" / "dev" / "musl_check.py")
musl_check = importlib.util.module_from_spec(SPEC)
SPEC.loader.exec_module(musl_check)


@pytest.mark.parametrize("symbol, kind", [
    # CPython's C API, public and private.
    ("PyUnicode_DecodeUTF8", "python"), ("_Py_Dealloc", "python"), ("_Py_NoneStruct", "python"),
    ("PyExc_TypeError", "python"),
    # The C++ runtime and the unwinder, the compiler's and the linker's.
    ("_ZdlPvm", "runtime"), ("__cxa_throw", "runtime"), ("__gxx_personality_v0", "runtime"),
    ("_Unwind_Resume", "runtime"), ("__dso_handle", "runtime"), ("__tls_get_addr", "runtime"),
    ("__cpu_model", "runtime"), ("__cpu_indicator_init", "runtime"),
    ("__aarch64_ldadd8_acq_rel", "runtime"),
    # Everything else is a C library call, glibc's own names included, so that musl is asked.
    ("madvise", "libc"), ("syscall", "libc"), ("__errno_location", "libc"),
    ("__stack_chk_fail", "libc"), ("__fprintf_chk", "libc"), ("Pyramid", "libc"),
    ("__libc_single_threaded", "libc"), ("_exit", "libc"),
])
def test_kind_of_an_undefined_symbol(symbol, kind):
    assert musl_check.kind(symbol) == kind


WRAPPER = "/repo/tools/dev/wheel-cxx"
SOURCE = "/repo/src/memory/huge_pages.cpp"


@pytest.mark.parametrize("arguments, kept", [
    # The wheel's flags stay, warnings as errors among them; the output, the dependency file and
    # the compile switch go, as do another target and sysroot.
    ([WRAPPER, "-I/repo/src", "-O3", "-std=c++2b", "-Wall", "-Werror", "-MD", "-MT", "x.o",
      "-MF", "x.o.d", "-o", "x.o", "-c", SOURCE],
     ["-I/repo/src", "-O3", "-std=c++2b", "-Wall", "-Werror"]),
    ([WRAPPER, "--sysroot=/sysroot", "-isystem", "/usr/include/python3.14", "-fPIC", "-o", "y.o",
      "-c", SOURCE], ["-isystem", "/usr/include/python3.14", "-fPIC"]),
    ([WRAPPER, "--sysroot", "/sysroot", "--target=aarch64-linux-gnu", "-DNDEBUG", "-c", SOURCE,
      "-o", "z.o"], ["-DNDEBUG"]),
    # The profile flags of a profile-guided build are GCC's, for the glibc build: they all go.
    ([WRAPPER, "-O3", "-fprofile-use=/repo/build/wheel/profile/counts",
      "-fprofile-prefix-path=/repo/build/wheel/cmake", "-fprofile-partial-training", "-c", SOURCE],
     ["-O3"]),
    ([WRAPPER, "-fprofile-generate=/repo/counts", "-DNDEBUG", "-c", SOURCE], ["-DNDEBUG"]),
    # GCC's name for C++23 becomes clang 16's; C++20 is the same to both.
    ([WRAPPER, "-std=c++23", "-c", SOURCE], ["-std=c++2b"]),
    ([WRAPPER, "-std=c++20", "-c", SOURCE], ["-std=c++20"]),
])
@pytest.mark.parametrize("sysroot, musl", [
    ("/", "/usr/include/aarch64-linux-musl"),
    ("/var/cache/arm64", "/var/cache/arm64/usr/include/aarch64-linux-musl"),
])
def test_compile_command_for_musl(arguments, kept, sysroot, musl, tmp_path):
    command = musl_check.musl_command(arguments, SOURCE, tmp_path / "out.o", "aarch64",
                                      tmp_path / "pyconfig", sysroot)
    assert command[:2] == ["clang++-16", "--target=aarch64-linux-musl"]
    # No system header folder but those named: musl's, libc++'s and the pyconfig.h folder.
    assert "-nostdlibinc" in command and "-nostdinc++" in command
    named = [command[i + 1] for i, flag in enumerate(command) if flag == "-isystem"]
    assert named[:3] == ["/usr/lib/llvm-16/include/c++/v1", musl, str(tmp_path / "pyconfig")]
    assert "-D_LIBCPP_HAS_MUSL_LIBC=1" in command
    middle = command[command.index(str(tmp_path / "pyconfig")) + 1:-4]
    assert middle == kept
    assert command[-4:] == ["-c", SOURCE, "-o", str(tmp_path / "out.o")]
