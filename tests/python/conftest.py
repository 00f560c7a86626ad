"""Locates the two builds of the module for the tests.

CMake writes python_paths.env beside the shipped module (the build folder's root): the shipped
module's folder and the path of the test-only build whose transform can be made to fault. The file
is found through VANTOR_PYTHON_PATHS, else beside a vantor_codec on sys.path (or one folder up),
else under build/*/ of the repository.
"""

import importlib.util
import os
import pathlib
import subprocess
import sys

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]


def _find_paths_file():
    explicit = os.environ.get("VANTOR_PYTHON_PATHS")
    if explicit:
        return pathlib.Path(explicit)
    for entry in sys.path:
        folder = pathlib.Path(entry or ".").resolve()
        for candidate in (folder / "python_paths.env", folder.parent / "python_paths.env"):
            if candidate.is_file():
                return candidate
    for name in ("release", "*"):
        for candidate in sorted(REPO.glob(f"build/{name}/python_paths.env")):
            return candidate
    return None


def _read_paths(path):
    values = {}
    for line in path.read_text().splitlines():
        key, sep, value = line.partition("=")
        if sep:
            values[key.strip()] = value.strip()
    return values


PATHS_FILE = _find_paths_file()
if PATHS_FILE is None:
    raise RuntimeError("python_paths.env not found: build the module first (./dev build)")
PATHS = _read_paths(PATHS_FILE)
MODULE_DIR = PATHS["VANTOR_MODULE_DIR"]
FAULT_MODULE = PATHS.get("VANTOR_FAULT_INJECTION_MODULE")
# Built with ASan/UBSan: the address space is reserved for shadow memory and freed memory is held
# in quarantine, so address-space limits and resident-memory figures say nothing there.
SANITIZED = PATHS.get("VANTOR_MODULE_SANITIZED") == "1"
# The emulator the tests run under, when they do: ./dev test-aarch64 runs them under qemu-user
# and says so here. What the emulator does not do as the system would is marked where it matters.
EMULATOR = os.environ.get("VANTOR_EMULATOR", "")

# The shipped module must win over the test build, whatever PYTHONPATH says.
sys.path.insert(0, MODULE_DIR)
import vantor_codec  # noqa: E402

assert pathlib.Path(vantor_codec.__file__).parent == pathlib.Path(MODULE_DIR), vantor_codec.__file__


def load_module_from(path, before_exec=None):
    """A fresh module object named vantor_codec from the extension at `path`, not registered in
    sys.modules; `before_exec(module)` runs between its creation and its execution step."""
    found = importlib.util.spec_from_file_location("vantor_codec", path)
    module = importlib.util.module_from_spec(found)
    if before_exec is not None:
        before_exec(module)
    found.loader.exec_module(module)
    return module


@pytest.fixture(scope="session")
def codec():
    return vantor_codec


def require_fault_module():
    """The path of the fault-injection build; skips the test when it was not built."""
    if not FAULT_MODULE:
        pytest.skip("the fault-injection build of the module was not built (VANTOR_BUILD_TESTS=OFF)")
    return FAULT_MODULE


@pytest.fixture(scope="session")
def fault_codec():
    return load_module_from(require_fault_module())


def run_python(code, module_dir=MODULE_DIR, timeout=300):
    """Runs `code` in a fresh interpreter with `module_dir` first on sys.path."""
    env = dict(os.environ, PYTHONPATH=module_dir)
    return subprocess.run(
        [sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=timeout
    )


@pytest.fixture(scope="session")
def python_in_subprocess():
    return run_python


@pytest.fixture(scope="session")
def fault_module_dir():
    return str(pathlib.Path(require_fault_module()).parent)
