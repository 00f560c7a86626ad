"""The built module exports its init function and nothing else: the core's and the C++ runtime's
symbols stay inside, so they cannot clash with another extension's in the same process."""

import re
import shutil
import subprocess
import sys

import pytest
from conftest import FAULT_MODULE, PATHS

pytestmark = pytest.mark.skipif(
    not sys.platform.startswith("linux") or shutil.which("readelf") is None,
    reason="ELF symbol tables are read with readelf on Linux",
)


def defined_dynamic_symbols(path):
    listing = subprocess.run(["readelf", "-W", "--dyn-syms", path], capture_output=True, text=True,
                             check=True).stdout
    names = set()
    for fields in (line.split() for line in listing.splitlines()):
        # Num: Value Size Type Bind Vis Ndx Name
        if len(fields) >= 8 and re.fullmatch(r"\d+:", fields[0]) and fields[6] != "UND":
            if fields[4] in ("GLOBAL", "WEAK", "GNU_UNIQUE"):
                names.add(fields[7].split("@")[0])
    return names


@pytest.mark.parametrize("build", ["shipped", "fault injection"])
def test_only_the_init_function_is_exported(build):
    path = PATHS["VANTOR_MODULE"] if build == "shipped" else FAULT_MODULE
    if path is None:
        pytest.skip("the fault-injection build was not built")
    assert defined_dynamic_symbols(path) == {"PyInit_vantor_codec"}
