"""The type stub against the built module (stubtest) and against typed code (mypy).

Runs with the built module on PYTHONPATH, as `./dev test` arranges; the stub is taken from the
source tree through MYPYPATH."""

import os
import pathlib
import re
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
STUB_DIR = HERE.parents[1] / "src"


def mypy_tool(*args):
    env = dict(os.environ, MYPYPATH=str(STUB_DIR))
    return subprocess.run(
        [sys.executable, "-m", *args], cwd=HERE, env=env, capture_output=True, text=True,
        timeout=300,
    )


def test_stub_matches_the_built_module():
    completed = mypy_tool("mypy.stubtest", "vantor_codec")
    assert completed.returncode == 0, completed.stdout + completed.stderr
    # A clean run names the one module it compared.
    assert "Success: no issues found in 1 module" in completed.stdout


def test_typed_usage_is_clean():
    completed = mypy_tool("mypy", "--strict", "--no-incremental", "usage.py")
    assert completed.returncode == 0, completed.stdout + completed.stderr


def test_misuse_is_rejected_line_by_line():
    source = (HERE / "misuse.py").read_text().splitlines()
    expected = {
        (number, match.group(1))
        for number, line in enumerate(source, start=1)
        if (match := re.search(r"# expect: ([a-z-]+)$", line))
    }
    completed = mypy_tool("mypy", "--strict", "--no-incremental", "misuse.py")
    reported = {
        (int(match.group(1)), match.group(2))
        for match in re.finditer(r"^misuse\.py:(\d+): error: .*\[([a-z-]+)\]$", completed.stdout,
                                 re.MULTILINE)
    }
    assert len(expected) == 10
    assert reported == expected, completed.stdout
