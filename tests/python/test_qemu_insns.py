"""The aarch64 instruction count (tools/dev/qemu_insns.py): the log filter it takes from
/proc/self/maps covers every address above the interpreter's executable, where the module must
be."""

import importlib.util

import pytest
from conftest import REPO

SPEC = importlib.util.spec_from_file_location("qemu_insns", REPO / "tools" / "dev" / "qemu_insns.py")
qemu_insns = importlib.util.module_from_spec(SPEC)
SPEC.loader.exec_module(qemu_insns)

MODULE = "/w/build/vantor_codec.cpython-314-aarch64-linux-gnu.so"
LIBC = "/sysroot/usr/lib/aarch64-linux-gnu/libc.so.6"
PYTHON = "/sysroot/usr/bin/python3.14"


def mapping(start, end, permissions, path):
    return f"{start:x}-{end:x} {permissions} 00000000 fe:00 1234    {path}"


@pytest.mark.parametrize("lines, filtered", [
    # Above the end of the interpreter's code, whatever else lies there.
    ([mapping(0x400000, 0xaec000, "r-xp", PYTHON), mapping(0xaff000, 0xb00000, "r--p", PYTHON),
      mapping(0x7fffeda40000, 0x7fffedbdd000, "r-xp", LIBC),
      mapping(0x7ffff7f80000, 0x7ffff7fd5000, "r-xp", MODULE), "c000-d000 rw-p 00000000 00:00 0"],
     "0xaec000..0xffffffffffff"),
    # The module's data and a library of a similar name do not count as the module.
    ([mapping(0x400000, 0xaec000, "r-xp", PYTHON), mapping(0x7ffff0000000, 0x7ffff0001000, "r--p", MODULE),
      mapping(0x7ffff7f80000, 0x7ffff7fd5000, "r-xp", "/w/other_codec.so")], ""),
    # A module below the interpreter's code would be left out: no filter.
    ([mapping(0x5000000, 0x6000000, "r-xp", PYTHON), mapping(0x400000, 0x500000, "r-xp", MODULE)],
     ""),
    # No interpreter in the text: no filter.
    ([mapping(0x7ffff7f80000, 0x7ffff7fd5000, "r-xp", MODULE)], ""),
])
def test_filter_from_the_maps(lines, filtered):
    assert qemu_insns.outside_interpreter("\n".join(lines)) == filtered
