"""The wheels' tag picker (tools/dev/manylinux_tag.py) on modules described by their machine,
libraries and symbol versions: the tag follows the newest glibc version and the machine, each
machine's own dynamic loader is allowed, and whatever a manylinux system need not provide is
named."""

import importlib.util
import json
import pathlib
import zipfile

import pytest
from conftest import REPO

SPEC = importlib.util.spec_from_file_location("manylinux_tag",
                                              REPO / "tools" / "dev" / "manylinux_tag.py")
manylinux_tag = importlib.util.module_from_spec(SPEC)
SPEC.loader.exec_module(manylinux_tag)

X86 = "Advanced Micro Devices X86-64"
ARM = "AArch64"
BASE = ["libc.so.6", "libm.so.6"]

CASES = [
    # (modules: (machine, needed libraries, symbol versions), tag, the problems' start)
    ([(X86, BASE + ["ld-linux-x86-64.so.2"], ["GLIBC_2.2.5", "GLIBC_2.34"])],
     "manylinux_2_34_x86_64", []),
    ([(ARM, BASE + ["ld-linux-aarch64.so.1"], ["GLIBC_2.17", "GLIBC_2.35", "GLIBC_2.25"])],
     "manylinux_2_35_aarch64", []),
    # Nothing newer than the floor: 17.
    ([(X86, BASE, ["GLIBC_2.2.5", "GLIBC_2.14"])], "manylinux_2_17_x86_64", []),
    ([(ARM, BASE, ["GLIBC_2.17"])], "manylinux_2_17_aarch64", []),
    # Another machine's loader is not this one's.
    ([(ARM, BASE + ["ld-linux-x86-64.so.2"], ["GLIBC_2.17"])], "manylinux_2_17_aarch64",
     ["m0.so needs ld-linux-x86-64.so.2"]),
    ([(X86, BASE + ["libpython3.14.so.1.0"], ["GLIBC_2.17"])], "manylinux_2_17_x86_64",
     ["m0.so needs libpython3.14.so.1.0"]),
    ([(ARM, BASE, ["GLIBC_2.17", "GLIBCXX_3.4.30"])], "manylinux_2_17_aarch64",
     ["m0.so needs GLIBCXX_3.4.30: link the C++ runtime"]),
    ([(X86, BASE, ["GLIBC_2.17"]), (ARM, BASE, ["GLIBC_2.34"])], "manylinux_2_34_aarch64",
     ["the modules are for different machines: aarch64, x86_64"]),
    ([("RISC-V", BASE, ["GLIBC_2.27"])], "manylinux_2_17_x86_64", ["m0.so is for RISC-V"]),
    ([], "manylinux_2_17_x86_64", ["the wheel holds no extension module"]),
]


@pytest.mark.parametrize("modules, tag, problems", CASES)
def test_tag_and_problems(modules, tag, problems, tmp_path, monkeypatch):
    wheel = tmp_path / "w.whl"
    with zipfile.ZipFile(wheel, "w") as archive:
        archive.writestr("vantor_codec.pyi", "")
        for number, (machine, needed, versions) in enumerate(modules):
            archive.writestr(f"m{number}.so", json.dumps([machine, needed, versions]))

    def described(path):
        machine, needed, versions = json.loads(pathlib.Path(path).read_text())
        return machine, set(needed), set(versions)

    monkeypatch.setattr(manylinux_tag, "module_requirements", described)
    found_tag, found_problems = manylinux_tag.manylinux_tag(wheel)
    assert found_tag == tag
    assert len(found_problems) == len(problems), found_problems
    for found, expected in zip(found_problems, problems):
        assert found.startswith(expected), found_problems


def test_reads_the_machine_of_a_real_module():
    # The description of the module built here, as readelf gives it.
    from conftest import PATHS

    machine, needed, versions = manylinux_tag.module_requirements(PATHS["VANTOR_MODULE"])
    assert machine in manylinux_tag.ARCHITECTURES
    assert "libc.so.6" in needed
    assert any(version.startswith("GLIBC_2.") for version in versions)
