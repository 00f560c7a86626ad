"""The built module names its sources by paths relative to the repository: no folder of the
machine that built it is in the binary, so builds are reproducible and the fault report on
standard error reads the same everywhere."""

import pathlib
import re

import pytest
from conftest import PATHS, REPO, SANITIZED


def printable_strings(data):
    """What `strings` shows: runs of at least four printable ASCII bytes."""
    return re.findall(rb"[\x20-\x7e]{4,}", data)


# The sanitizers' own reports name each source as the compiler was given it, an absolute path.
@pytest.mark.skipif(SANITIZED, reason="a sanitized build keeps the sources' paths for its reports")
@pytest.mark.parametrize("build", ["VANTOR_MODULE", "VANTOR_FAULT_INJECTION_MODULE"])
def test_module_holds_no_absolute_build_path(build):
    if not PATHS.get(build):
        pytest.skip(f"{build} was not built")
    strings = printable_strings(pathlib.Path(PATHS[build]).read_bytes())
    # The fault report's source locations are there, relative to the repository.
    assert any(text.startswith(b"src/binding/") for text in strings)
    repository = str(REPO).encode()
    assert [text for text in strings if repository in text] == []


def test_fault_report_names_the_source_relative_to_the_repository(fault_codec, capfd):
    with pytest.raises(BaseException):
        fault_codec.columnarize(b"#vantor-fault:boundary:where")
    report = capfd.readouterr().err
    assert re.search(r" at tests/python/fault_injection\.cpp:[0-9]+, caught in ", report), report
