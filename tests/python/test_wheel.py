"""The package as users receive it: a wheel built by scikit-build-core from the same CMake project,
installed into a fresh virtual environment that cannot see the build tree."""

import importlib.machinery
import json
import os
import re
import subprocess
import sys
import sysconfig
import zipfile

import pytest
from conftest import REPO

SMOKE_PAYLOAD = b'[{"a":1,"b":2},{"a":1,"c":3}]'
SMOKE_RESULT = b'{"columns":["b","c"],"rows":[[2,null],[null,3]],"constants":{"a":1}}'


def project_version():
    text = (REPO / "CMakeLists.txt").read_text()
    match = re.search(r"project\(vantor_codec\s+VERSION\s+([0-9]+\.[0-9]+\.[0-9]+)", text)
    assert match, "CMakeLists.txt names no project version"
    return match.group(1)


def clean_env():
    """The environment without the variables that point interpreters at the build tree."""
    env = {name: value for name, value in os.environ.items() if not name.startswith("VANTOR_")}
    env.pop("PYTHONPATH", None)
    return env


def run(command, **options):
    completed = subprocess.run(
        command, env=clean_env(), capture_output=True, text=True, timeout=600, **options
    )
    assert completed.returncode == 0, f"{command}\n{completed.stdout}\n{completed.stderr}"
    return completed


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    out = tmp_path_factory.mktemp("wheel")
    # No package index here: the build backend comes from the interpreter's own site-packages.
    run([sys.executable, "-m", "build", "--wheel", "--no-isolation", "--outdir", str(out), str(REPO)])
    wheels = list(out.glob("*.whl"))
    assert len(wheels) == 1, wheels
    return wheels[0]


@pytest.fixture(scope="module")
def venv_python(wheel, tmp_path_factory):
    venv = tmp_path_factory.mktemp("venv")
    run([sys.executable, "-m", "venv", str(venv)])
    python = venv / "bin" / "python"
    run([str(python), "-m", "pip", "install", "--no-index", "--no-deps", "--quiet", str(wheel)])
    return python


def test_wheel_name_carries_version_and_tags(wheel):
    interpreter = f"cp{sys.version_info.major}{sys.version_info.minor}"
    # The ABI of the interpreter that built it: cp314, or cp314d for a debug interpreter.
    abi = interpreter + sys.abiflags
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    expected = f"vantor_codec-{project_version()}-{interpreter}-{abi}-{platform}.whl"
    assert wheel.name == expected


def test_wheel_holds_the_module_and_its_stub_only(wheel):
    module_file = "vantor_codec" + importlib.machinery.EXTENSION_SUFFIXES[0]
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        stub = (REPO / "src" / "vantor_codec.pyi").read_bytes()
        assert archive.read("vantor_codec.pyi") == stub
        assert archive.read("vantor_codec-stubs/__init__.pyi") == stub
    dist_info = f"vantor_codec-{project_version()}.dist-info/"
    payload = {name for name in names if not name.startswith(dist_info)}
    # Exactly these: no fault-injection build, tests, benchmarks or fuzz targets.
    assert payload == {module_file, "vantor_codec.pyi", "vantor_codec-stubs/__init__.pyi"}


def test_wheel_metadata(wheel):
    with zipfile.ZipFile(wheel) as archive:
        metadata = archive.read(f"vantor_codec-{project_version()}.dist-info/METADATA").decode()
    fields = {}
    for line in metadata.split("\n\n", 1)[0].splitlines():
        name, _, value = line.partition(": ")
        fields.setdefault(name, []).append(value)
    assert fields["Name"] == ["vantor_codec"]
    assert fields["Version"] == [project_version()]
    assert fields["Requires-Python"] == [">=3.14"]
    assert fields["License-Expression"] == ["MIT"]
    assert fields["License-File"] == ["LICENSE"]
    assert fields["Author"] == ["the vantor_codec authors"]
    assert {url.split(", ", 1)[0] for url in fields["Project-URL"]} >= {"Source", "Changelog"}
    assert "Programming Language :: Python :: 3.14" in fields["Classifier"]


def test_wheel_carries_the_licence_text(wheel):
    with zipfile.ZipFile(wheel) as archive:
        text = archive.read(f"vantor_codec-{project_version()}.dist-info/licenses/LICENSE")
    assert text == (REPO / "LICENSE").read_bytes()


def test_installed_module_comes_from_the_venv_and_works(venv_python):
    venv = venv_python.parent.parent
    code = f"""
import importlib.metadata, json, sys, vantor_codec
print(json.dumps({{
    "file": vantor_codec.__file__,
    "version": importlib.metadata.version("vantor_codec"),
    "result": vantor_codec.columnarize({SMOKE_PAYLOAD!r}).decode(),
    "all": vantor_codec.__all__,
}}))
"""
    # Run from an empty folder so that neither the clone nor the build tree is on the path.
    completed = run([str(venv_python), "-c", code], cwd=venv)
    report = json.loads(completed.stdout)
    assert os.path.commonpath([report["file"], str(venv)]) == str(venv), report["file"]
    assert report["version"] == project_version()
    assert report["result"].encode() == SMOKE_RESULT
    assert report["all"] == ["columnarize"]


def test_mypy_types_calls_through_the_installed_stub(venv_python):
    # mypy resolves the import in the venv's site-packages only, as in a user's project.
    completed = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental",
         "--python-executable", str(venv_python), "usage.py"],
        cwd=REPO / "tests" / "typing", env=clean_env(), capture_output=True, text=True, timeout=300,
    )
    assert completed.returncode == 0, completed.stdout + completed.stderr
