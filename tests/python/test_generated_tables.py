"""The committed generated tables are exactly what their generators in tools/ write, so that a
hand edit of a table cannot slip in unnoticed."""

import pathlib
import subprocess
import sys

import pytest
from conftest import REPO

UNICODE_DATA = pathlib.Path("/usr/share/unicode")  # Debian's unicode-data package

GENERATED = [
    # (generator, its arguments, the committed file it writes to standard output)
    ("gen_float_tables.py", [], "src/text/float_tables.h"),
    ("gen_powers_of_ten.py", [], "src/text/powers_of_ten.h"),
    ("gen_unicode_tables.py", [str(UNICODE_DATA)], "src/text/unicode_classes.cpp"),
]


@pytest.mark.parametrize("generator, arguments, committed", GENERATED)
def test_committed_table_is_what_its_generator_writes(generator, arguments, committed):
    if generator == "gen_unicode_tables.py" and not UNICODE_DATA.is_dir():
        pytest.skip(f"the Unicode character database is not installed ({UNICODE_DATA})")
    completed = subprocess.run(
        [sys.executable, str(REPO / "tools" / generator), *arguments],
        capture_output=True, timeout=300,
    )
    assert completed.returncode == 0, completed.stderr.decode()
    assert completed.stdout, f"{generator} wrote nothing"
    # Not compared with ==, so that a difference is reported by its first line, not as two
    # texts of thousands of lines.
    written = completed.stdout.decode().splitlines()
    expected = (REPO / committed).read_text().splitlines()
    for number, (line, committed_line) in enumerate(zip(written, expected), start=1):
        assert line == committed_line, f"{committed}:{number} differs from {generator}'s output"
    assert len(written) == len(expected), f"{committed} has {len(expected)} lines, {generator} wrote {len(written)}"
    assert completed.stdout == (REPO / committed).read_bytes()
