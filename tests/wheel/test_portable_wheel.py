"""The portable wheel that `./dev wheel` makes (VANTOR_WHEEL names it): its manylinux tag agrees
with the machine and the symbol versions its module needs, the C++ runtime and the unwinder are
inside the module, only the init function is exported, auditwheel confirms the tag, and it
installs and works in a fresh virtual environment of the interpreter it is for
(VANTOR_WHEEL_PYTHON, when that is not the one running the tests: the emulated arm64 one for the
aarch64 wheel)."""

import os
import pathlib
import re
import subprocess
import sys
import zipfile

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
WHEEL = os.environ.get("VANTOR_WHEEL")
WHEEL_PYTHON = os.environ.get("VANTOR_WHEEL_PYTHON") or sys.executable
pytestmark = pytest.mark.skipif(not WHEEL, reason="VANTOR_WHEEL names no wheel (./dev wheel sets it)")

# The glibc each machine's module is built against (Debian 11's, the root's own for x86-64 and
# the arm64 sysroot's for aarch64): no wheel built there may claim more.
BUILD_GLIBC_MINOR = {"x86_64": 31, "aarch64": 31}
# Libraries of glibc itself, which every manylinux system has (the dynamic loader provides the
# thread-local storage calls); the C++ runtime (libc++ or libstdc++) and the unwinder (libunwind
# or libgcc_s) are linked in instead.
SYSTEM_LIBRARIES = {"libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1"}
# The machine as readelf names it, for each architecture of a tag, and its dynamic loader.
MACHINES = {"x86_64": ("Advanced Micro Devices X86-64", "ld-linux-x86-64.so.2"),
            "aarch64": ("AArch64", "ld-linux-aarch64.so.1")}
TAG = re.compile(r"manylinux_2_(\d+)_(x86_64|aarch64)")


def readelf(path, *args):
    return subprocess.run(["readelf", "-W", *args, str(path)], capture_output=True, text=True,
                          check=True).stdout


@pytest.fixture(scope="module")
def module(tmp_path_factory):
    with zipfile.ZipFile(WHEEL) as archive:
        names = [name for name in archive.namelist() if name.endswith(".so")]
        assert len(names) == 1, names
        return pathlib.Path(archive.extract(names[0], tmp_path_factory.mktemp("module")))


def glibc_minors(module):
    versions = re.findall(r"Name: (\S+)\s+Flags", readelf(module, "-V"))
    return versions, [int(m.group(1)) for v in versions if (m := re.fullmatch(r"GLIBC_2\.(\d+)(?:\.\d+)?", v))]


def test_tag_is_manylinux_for_the_newest_glibc_version_needed(module):
    name = pathlib.Path(WHEEL).name
    version = re.search(r"project\(vantor_codec\s+VERSION\s+([0-9.]+)",
                        (REPO / "CMakeLists.txt").read_text()).group(1)
    interpreter = f"cp{sys.version_info.major}{sys.version_info.minor}"
    match = re.fullmatch(
        rf"vantor_codec-{re.escape(version)}-{interpreter}-{interpreter}-{TAG.pattern}\.whl", name)
    assert match, name
    _, minors = glibc_minors(module)
    assert minors, "the module names no glibc symbol version"
    assert int(match.group(1)) == max(17, *minors) <= BUILD_GLIBC_MINOR[match.group(2)]
    machine = re.search(r"Machine:\s+(.+)", readelf(module, "-h")).group(1).strip()
    assert machine == MACHINES[match.group(2)][0]


def test_auditwheel_confirms_the_tag():
    # auditwheel judges the wheel by the same policy as the package indexes: the tag the wheel
    # carries must be the one its module's needs allow.
    tag = re.search(rf"-({TAG.pattern})\.whl$", pathlib.Path(WHEEL).name).group(1)
    shown = subprocess.run([sys.executable, "-m", "auditwheel", "show", WHEEL], capture_output=True,
                           text=True, check=True).stdout
    # Its text is wrapped after the wheel's name, so any space may be a line break.
    assert re.search(rf'is\s+consistent\s+with\s+the\s+following\s+platform\s+tag:\s+"{tag}"',
                     shown), shown


def test_symbol_versions_are_glibc_only(module):
    versions, minors = glibc_minors(module)
    # A GLIBCXX_, CXXABI_ or GCC_ version would mean libstdc++ or libgcc_s from the system
    # (libc++ and libunwind version no symbols, so the libraries test catches those).
    assert len(minors) == len(versions), versions


def test_every_symbol_it_needs_is_versioned_or_the_interpreters(module):
    # An unversioned C library symbol was found in no library at link time: the module would
    # load only where the interpreter happens to have loaded its library (libpthread and libdl
    # before glibc 2.34). The interpreter's own C API is unversioned.
    unversioned = set()
    for line in readelf(module, "--dyn-syms").splitlines():
        fields = line.split()
        if len(fields) >= 8 and fields[0].endswith(":") and fields[6] == "UND" and fields[4] == "GLOBAL":
            name = fields[7]
            if "@" not in name and not name.startswith(("Py", "_Py")):
                unversioned.add(name)
    assert unversioned == set()


def test_needs_only_system_libraries(module):
    needed = set(re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", readelf(module, "-d")))
    loader = MACHINES[TAG.search(pathlib.Path(WHEEL).name).group(2)][1]
    assert "libc.so.6" in needed
    assert needed <= SYSTEM_LIBRARIES | {loader}, needed


def test_exports_only_the_init_function(module):
    defined = set()
    for line in readelf(module, "--dyn-syms").splitlines():
        fields = line.split()
        # Num: Value Size Type Bind Vis Ndx Name
        if len(fields) >= 8 and fields[0].endswith(":") and fields[6] != "UND":
            if fields[4] in ("GLOBAL", "WEAK", "GNU_UNIQUE"):
                defined.add(fields[7].split("@")[0])
    assert defined == {"PyInit_vantor_codec"}


def test_carries_the_licence_and_the_stub():
    with zipfile.ZipFile(WHEEL) as archive:
        names = set(archive.namelist())
    assert any(name.endswith(".dist-info/licenses/LICENSE") for name in names), sorted(names)
    assert {"vantor_codec.pyi", "vantor_codec-stubs/__init__.pyi"} <= names


def test_installs_and_works_in_a_fresh_venv(tmp_path):
    env = {name: value for name, value in os.environ.items()
           if not name.startswith("VANTOR_") and name != "PYTHONPATH"}
    venv = tmp_path / "venv"
    # The venv's pip judges the wheel's tag by what its interpreter reports.
    subprocess.run([WHEEL_PYTHON, "-m", "venv", str(venv)], check=True, env=env)
    python = venv / "bin" / "python"
    subprocess.run([str(python), "-m", "pip", "install", "--no-index", "--no-deps", "--quiet",
                    WHEEL], check=True, env=env)
    # The smoke script from an empty folder, so that only the venv's copy can be imported.
    completed = subprocess.run([str(python), str(REPO / "tests" / "wheel" / "smoke.py")],
                               cwd=tmp_path, env=env, capture_output=True, text=True, timeout=120)
    assert completed.returncode == 0, completed.stdout + completed.stderr
    assert pathlib.Path(completed.stdout.strip()).is_relative_to(venv), completed.stdout
