"""The wheels' tag picker (tools/dev/manylinux_tag.py) on modules described by their machine,
libraries and the symbols they need of each version: the tag follows the newest glibc version and
the machine, each machine's own dynamic loader is allowed, whatever a manylinux system need not
provide is named, and so is what decides the tag's glibc version."""

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
FLOOR = "the floor, glibc 2.17"

CASES = [
    # (modules: (machine, needed libraries, {symbol version: symbols}), tag, what decides it,
    # the problems' start)
    ([(X86, BASE + ["ld-linux-x86-64.so.2"],
       {"GLIBC_2.2.5": ["malloc"], "GLIBC_2.34": ["pthread_create", "dlsym"]})],
     "manylinux_2_34_x86_64", "GLIBC_2.34: dlsym, pthread_create", []),
    ([(ARM, BASE + ["ld-linux-aarch64.so.1"],
       {"GLIBC_2.17": ["malloc"], "GLIBC_2.35": ["_dl_find_object"], "GLIBC_2.25": ["getrandom"]})],
     "manylinux_2_35_aarch64", "GLIBC_2.35: _dl_find_object", []),
    # Nothing newer than the floor: 17, named for the symbols that need it, if any.
    ([(X86, BASE, {"GLIBC_2.2.5": ["free"], "GLIBC_2.14": ["memcpy"]})], "manylinux_2_17_x86_64",
     f"{FLOOR}: no symbol needs it", []),
    ([(X86, BASE, {"GLIBC_2.2.5": ["free"], "GLIBC_2.17": ["clock_gettime"]})],
     "manylinux_2_17_x86_64", f"{FLOOR}, for clock_gettime", []),
    # aarch64's first glibc is the floor: all its symbols are of 2.17.
    ([(ARM, BASE, {"GLIBC_2.17": ["malloc", "clock_gettime"]})], "manylinux_2_17_aarch64",
     f"{FLOOR}, aarch64's first: no symbol needs a newer one", []),
    # A version's third number does not count; the newest of several modules decides, with
    # the symbols of every module that need it.
    ([(X86, BASE, {"GLIBC_2.3.4": ["__memcpy_chk"], "GLIBC_2.28": ["fcntl64"]}),
      (X86, BASE, {"GLIBC_2.28": ["statx"], "GLIBC_2.18": ["__cxa_thread_atexit_impl"]})],
     "manylinux_2_28_x86_64", "GLIBC_2.28: fcntl64, statx", []),
    # Another machine's loader is not this one's.
    ([(ARM, BASE + ["ld-linux-x86-64.so.2"], {"GLIBC_2.17": ["free"]})], "manylinux_2_17_aarch64",
     None, ["m0.so needs ld-linux-x86-64.so.2"]),
    ([(X86, BASE + ["libpython3.14.so.1.0"], {"GLIBC_2.17": ["free"]})], "manylinux_2_17_x86_64",
     None, ["m0.so needs libpython3.14.so.1.0"]),
    ([(ARM, BASE, {"GLIBC_2.17": ["free"], "GLIBCXX_3.4.30": ["_ZSt28__throw_bad_array_new_lengthv"]})],
     "manylinux_2_17_aarch64", None, ["m0.so needs GLIBCXX_3.4.30: link the C++ runtime"]),
    ([(X86, BASE, {"GLIBC_2.17": ["free"]}), (ARM, BASE, {"GLIBC_2.34": ["free"]})],
     "manylinux_2_34_aarch64", None, ["the modules are for different machines: aarch64, x86_64"]),
    ([("RISC-V", BASE, {"GLIBC_2.27": ["free"]})], "manylinux_2_17_x86_64", None,
     ["m0.so is for RISC-V"]),
    ([], "manylinux_2_17_x86_64", None, ["the wheel holds no extension module"]),
]


@pytest.mark.parametrize("modules, tag, decided, problems", CASES)
def test_tag_what_decides_it_and_problems(modules, tag, decided, problems, tmp_path, monkeypatch):
    wheel = tmp_path / "w.whl"
    with zipfile.ZipFile(wheel, "w") as archive:
        archive.writestr("vantor_codec.pyi", "")
        for number, (machine, needed, symbols) in enumerate(modules):
            archive.writestr(f"m{number}.so", json.dumps([machine, needed, symbols]))

    def described(path):
        machine, needed, symbols = json.loads(pathlib.Path(path).read_text())
        return machine, set(needed), set(symbols), {v: set(names) for v, names in symbols.items()}

    monkeypatch.setattr(manylinux_tag, "module_requirements", described)
    found_tag, found_problems, found_decided = manylinux_tag.manylinux_tag(wheel)
    assert found_tag == tag
    if decided is not None:
        assert found_decided == decided
    assert len(found_problems) == len(problems), found_problems
    for found, expected in zip(found_problems, problems):
        assert found.startswith(expected), found_problems


def test_reads_the_machine_of_a_real_module():
    # The description of the module built here, as readelf gives it.
    from conftest import PATHS

    machine, needed, versions, symbols = manylinux_tag.module_requirements(PATHS["VANTOR_MODULE"])
    assert machine in manylinux_tag.ARCHITECTURES
    assert "libc.so.6" in needed
    assert any(version.startswith("GLIBC_2.") for version in versions)
    # Every version a needed symbol names is one the module declares it needs, glibc's among them.
    assert set(symbols) <= versions
    assert any(version.startswith("GLIBC_2.") and names for version, names in symbols.items())
