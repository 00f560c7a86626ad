"""The module compiled for free-threaded CPython 3.14t (Py_GIL_DISABLED) with Debian's 3.14
headers. No 3.14t interpreter exists here to load it, so its symbol tables are checked instead:
its name is the one 3.14t looks for, it exports its init function alone, and the interpreter
names it needs are those that 3.14t's headers declare, including the free-threaded reference
counting that only they have, which shows the objects were compiled with the free-threaded
layout."""

import pathlib
import re
import subprocess

from conftest import build_paths
from python_headers import RELEASE_WITH_GIL, declared_in_headers

PATHS = build_paths("VANTOR_FREE_THREADED_ENV")
MODULE = pathlib.Path(PATHS["VANTOR_FREE_THREADED_MODULE"])
HEADERS = next(folder for folder in PATHS["VANTOR_PYTHON_HEADERS"].split(";")
               if (pathlib.Path(folder) / "Python.h").is_file())
FREE_THREADED = dict(undefined=RELEASE_WITH_GIL - {"Py_GIL_DISABLED"},
                     defined=frozenset({"Py_GIL_DISABLED"}))


def dynamic_symbols(*options):
    listing = subprocess.run(["nm", "-D", *options, str(MODULE)], capture_output=True, text=True,
                             check=True).stdout
    return {line.split()[-1].split("@")[0] for line in listing.splitlines() if line.strip()}


def interpreter_names_used():
    return {name for name in dynamic_symbols("--undefined-only")
            if re.match(r"_?Py[A-Z_]", name)}


def test_the_module_is_named_for_the_free_threaded_interpreter():
    # .cpython-314-x86_64-linux-gnu.so with the lock, .cpython-314t-x86_64-linux-gnu.so without.
    gil_suffix = PATHS["VANTOR_GIL_EXT_SUFFIX"]
    expected = re.sub(r"^\.cpython-(\d+)-", r".cpython-\1t-", gil_suffix)
    assert expected != gil_suffix
    assert MODULE.name == "vantor_codec" + expected


def test_only_the_init_function_is_exported():
    assert dynamic_symbols("--defined-only", "--extern-only") == {"PyInit_vantor_codec"}


def test_every_interpreter_name_is_declared_for_the_free_threaded_build():
    declared = declared_in_headers(HEADERS, **FREE_THREADED)
    used = interpreter_names_used()
    assert used, "the module uses no interpreter name at all"
    assert sorted(used - set(declared)) == []


def test_the_free_threaded_reference_counting_is_compiled_in():
    # Names that only the free-threaded headers declare (Py_DECREF's shared count, for one): the
    # module can only need them if it was compiled with Py_GIL_DISABLED throughout.
    only_free_threaded = (set(declared_in_headers(HEADERS, **FREE_THREADED))
                          - set(declared_in_headers(HEADERS)))
    assert "_Py_DecRefShared" in only_free_threaded
    assert interpreter_names_used() & only_free_threaded
