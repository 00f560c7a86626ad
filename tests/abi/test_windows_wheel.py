"""The Windows wheel that `./dev wheel --arch win_amd64` makes (tools/dev/windows_wheel.py) from the
MinGW-w64 build of the module, and that module as pip installed it into the Lib/site-packages of a
Windows-layout folder. The wheel's name and WHEEL file carry the one tag cp314-cp314-win_amd64, it
holds the module, its type stub (also as vantor_codec-stubs) and the project's metadata and
nothing else, its RECORD gives every other file's true SHA-256 and size, and the installed module
is the built one, byte for byte, and loads under Wine against the stand-in python314.dll. What it
imports and exports is checked by test_windows_module.py, which ./dev runs on the installed module
in the same session. No Windows CPython is here: nothing runs the module past its init."""

import base64
import csv
import email.parser
import hashlib
import io
import os
import pathlib
import re
import subprocess
import zipfile

import pytest
from conftest import build_paths

REPO = pathlib.Path(__file__).resolve().parents[2]
PATHS = build_paths("VANTOR_WINDOWS_MODULE_ENV")
if "VANTOR_WINDOWS_WHEEL" not in PATHS:
    pytest.fail("VANTOR_WINDOWS_MODULE_ENV names no wheel: ./dev wheel --arch win_amd64 sets it",
                pytrace=False)
WHEEL = pathlib.Path(PATHS["VANTOR_WINDOWS_WHEEL"])
SITE = pathlib.Path(PATHS["VANTOR_WINDOWS_SITE_PACKAGES"])
VERSION = re.search(r"project\(vantor_codec\s+VERSION\s+([0-9.]+)",
                    (REPO / "CMakeLists.txt").read_text()).group(1)
DIST_INFO = f"vantor_codec-{VERSION}.dist-info"
MODULE_NAME = "vantor_codec.cp314-win_amd64.pyd"
CONTENTS = {MODULE_NAME, "vantor_codec.pyi", "vantor_codec-stubs/__init__.pyi",
            f"{DIST_INFO}/METADATA", f"{DIST_INFO}/WHEEL", f"{DIST_INFO}/RECORD",
            f"{DIST_INFO}/licenses/LICENSE"}


def wheel_files(path=WHEEL):
    with zipfile.ZipFile(path) as archive:
        return {entry.filename: archive.read(entry) for entry in archive.infolist()}


def record_problems(files):
    """What is wrong with the RECORD of {path in the wheel: bytes}, checked from PEP 376 and
    PEP 427 alone: each file but RECORD listed once with sha256= and the digest in URL-safe base64
    without padding, and its size; RECORD listed with neither; nothing listed that is not there."""
    record = files[f"{DIST_INFO}/RECORD"].decode()
    rows = list(csv.reader(io.StringIO(record)))
    problems = []
    listed = [row[0] for row in rows]
    if len(set(listed)) != len(listed):
        problems.append("a path is listed twice")
    if set(listed) != set(files):
        problems.append(f"listed but absent: {sorted(set(listed) - set(files))}; "
                        f"present but not listed: {sorted(set(files) - set(listed))}")
    for path, digest, size in rows:
        if path == f"{DIST_INFO}/RECORD":
            if (digest, size) != ("", ""):
                problems.append("RECORD lists a hash or size of itself")
            continue
        data = files.get(path, b"")
        expected = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).decode().rstrip("=")
        if digest != f"sha256={expected}":
            problems.append(f"{path}: hash {digest}, not sha256={expected}")
        if size != str(len(data)):
            problems.append(f"{path}: size {size}, not {len(data)}")
    return problems


def test_the_wheel_is_named_for_cpython_314_on_64_bit_windows():
    assert WHEEL.name == f"vantor_codec-{VERSION}-cp314-cp314-win_amd64.whl"


def test_the_wheel_file_says_the_same_one_tag_and_a_platform_wheel():
    wheel = email.parser.Parser().parsestr(wheel_files()[f"{DIST_INFO}/WHEEL"].decode())
    assert wheel["Wheel-Version"] == "1.0"
    assert wheel["Root-Is-Purelib"] == "false"
    assert wheel.get_all("Tag") == ["cp314-cp314-win_amd64"]


def test_the_wheel_holds_the_module_its_stub_and_its_metadata_only():
    files = wheel_files()
    assert set(files) == CONTENTS
    assert list(files)[-1] == f"{DIST_INFO}/RECORD"
    stub = (REPO / "src" / "vantor_codec.pyi").read_bytes()
    assert files["vantor_codec.pyi"] == files["vantor_codec-stubs/__init__.pyi"] == stub
    assert files[f"{DIST_INFO}/licenses/LICENSE"] == (REPO / "LICENSE").read_bytes()


def test_the_metadata_is_the_projects():
    metadata = email.parser.Parser().parsestr(wheel_files()[f"{DIST_INFO}/METADATA"].decode())
    assert (metadata["Name"], metadata["Version"]) == ("vantor_codec", VERSION)
    assert metadata["Requires-Python"] == ">=3.14"
    assert metadata["License-Expression"] == "MIT"
    assert "Operating System :: Microsoft :: Windows" in metadata.get_all("Classifier")


def test_the_record_gives_every_files_hash_and_size():
    assert record_problems(wheel_files()) == []


@pytest.mark.parametrize("change", ["module", "size", "unlisted", "missing", "twice"])
def test_the_record_check_finds_a_wrong_record(change):
    # The check above, on copies of the wheel's files spoilt one way each.
    files = wheel_files()
    record = f"{DIST_INFO}/RECORD"
    lines = files[record].decode().splitlines(keepends=True)
    if change == "module":
        module = files[MODULE_NAME]
        files[MODULE_NAME] = module[:64] + bytes([module[64] ^ 1]) + module[65:]
    elif change == "size":
        files[MODULE_NAME] += b"\0"
    elif change == "unlisted":
        files["vantor_codec/extra.py"] = b""
    elif change == "missing":
        del files["vantor_codec.pyi"]
    else:
        files[record] = "".join([lines[0], *lines]).encode()
    assert record_problems(files) != []


def test_the_installed_module_is_the_built_one():
    # pip put the wheel's files where a Windows CPython 3.14 looks for them: purelib and platlib
    # are both Lib/site-packages there.
    module = wheel_files()[MODULE_NAME]
    assert (SITE / MODULE_NAME).read_bytes() == module
    assert pathlib.Path(PATHS["VANTOR_WINDOWS_BUILT_MODULE"]).read_bytes() == module
    assert (SITE / "vantor_codec-stubs" / "__init__.pyi").is_file()
    installed = {path.name for path in (SITE / DIST_INFO).iterdir()}
    assert {"METADATA", "WHEEL", "RECORD", "INSTALLER"} <= installed


def test_the_installed_module_loads_under_wine_and_hands_over_its_definition():
    # module_load_test (tests/windows) sits where python.exe would, with the stand-in
    # python314.dll beside it, and loads the module from Lib/site-packages by its full path.
    load_test = pathlib.Path(PATHS["VANTOR_WINDOWS_LOAD_TEST"])
    assert (load_test.parent / "python314.dll").is_file()
    assert SITE.parent.parent == load_test.parent
    completed = subprocess.run(["wine", str(load_test), str(SITE / MODULE_NAME)],
                               capture_output=True, text=True, timeout=300,
                               env={**os.environ, "WINEDEBUG": "-all"})
    assert completed.returncode == 0, completed.stdout + completed.stderr
    assert "vantor_codec loaded, handed over its definition, and unloaded" in completed.stdout
