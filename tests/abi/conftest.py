"""The builds checked here cannot be loaded by an interpreter on this machine: the Windows module
(no Windows CPython) and the free-threaded one (no 3.14t interpreter). ./dev test builds them and
names their build folders' KEY=VALUE files in VANTOR_WINDOWS_MODULE_ENV and
VANTOR_FREE_THREADED_ENV; ./dev wheel --arch win_amd64 names in VANTOR_WINDOWS_MODULE_ENV the
Windows wheel and its module as pip installed it (test_windows_wheel.py)."""

import os
import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))


def build_paths(variable):
    """The KEY=VALUE lines of the file that `variable` names; the test fails without it, so that
    a build that ./dev did not make is never passed over."""
    env_file = os.environ.get(variable)
    if not env_file:
        pytest.fail(f"{variable} is not set: ./dev test builds the module and sets it")
    values = {}
    for line in pathlib.Path(env_file).read_text().splitlines():
        key, _, value = line.partition("=")
        if key:
            values[key] = value
    return values
