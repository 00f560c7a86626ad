"""The Windows module, vantor_codec.cp314-win_amd64.pyd, read with MinGW's objdump: a 64-bit DLL
that exports its init function alone and imports from nothing but the Universal C runtime,
KERNEL32 and python314.dll, each python314.dll name one that the 3.14 headers declare for the
release build with the interpreter lock. A Windows CPython would refuse to load it otherwise:
a MinGW runtime DLL is not beside python.exe, and a name python314.dll lacks fails the import."""

import pathlib
import re
import subprocess

import pytest
from conftest import build_paths
from python_headers import declared_in_headers, declared_names

PATHS = build_paths("VANTOR_WINDOWS_MODULE_ENV")
MODULE = pathlib.Path(PATHS["VANTOR_WINDOWS_MODULE"])
# The random source looks ProcessPrng up at run time (LoadLibraryW and GetProcAddress, both of
# KERNEL32), so bcryptprimitives.dll is not among the imports.
ALLOWED_DLLS = re.compile(r"api-ms-win-crt-[a-z]+-l1-1-0\.dll|KERNEL32\.dll|python314\.dll")


def objdump(*options):
    return subprocess.run([PATHS["VANTOR_WINDOWS_OBJDUMP"], *options, str(MODULE)],
                          capture_output=True, text=True, check=True).stdout


def imported_names():
    """{DLL name: set of names imported from it}, from the import tables of `objdump -p`."""
    imports = {}
    current = None
    for line in objdump("-p").splitlines():
        if match := re.match(r"\s*DLL Name: (\S+)$", line):
            current = imports.setdefault(match.group(1), set())
        elif current is not None and (
                match := re.match(r"\s*[0-9a-f]+\s+(?:<none>|\d+)\s+[0-9a-f]+\s+(\S+)$", line)):
            current.add(match.group(1))
        elif not line.strip():
            current = None
    return imports


def exported_names():
    listing = objdump("-p")
    table = listing.partition("[Ordinal/Name Pointer] Table")[2]
    return re.findall(r"^\s*\[\s*\d+\]\s+\+base\[\s*\d+\]\s+[0-9a-f]+\s+(\S+)$", table, re.M)


def def_file_names(path):
    """{name: "FUNC" or "DATA"} of a module-definition file's EXPORTS."""
    names = {}
    in_exports = False
    for line in pathlib.Path(path).read_text().splitlines():
        words = line.partition(";")[0].split()
        if not words:
            continue
        if words[0] in ("LIBRARY", "EXPORTS"):
            in_exports = words[0] == "EXPORTS"
            continue
        assert in_exports, f"a name before EXPORTS: {line!r}"
        assert len(words) == 1 or words[1:] == ["DATA"], f"not a name [DATA] line: {line!r}"
        assert words[0] not in names, f"{words[0]} listed twice"
        names[words[0]] = "DATA" if len(words) == 2 else "FUNC"
    return names


def test_the_module_is_a_64_bit_windows_dll_named_for_cpython_314():
    assert MODULE.name == "vantor_codec.cp314-win_amd64.pyd"
    header = objdump("-f")
    assert "file format pei-x86-64" in header
    characteristics = re.search(r"^Characteristics\s+0x([0-9a-f]+)", objdump("-p"), re.M)
    assert int(characteristics.group(1), 16) & 0x2000, "IMAGE_FILE_DLL is not set"


def test_only_the_init_function_is_exported():
    assert exported_names() == ["PyInit_vantor_codec"]


def test_imports_come_from_the_c_runtime_kernel32_and_python314_only():
    dlls = set(imported_names())
    assert {name for name in dlls if not ALLOWED_DLLS.fullmatch(name)} == set()
    # Dynamic loading and the C runtime's heap are the least the module needs of each.
    assert {"KERNEL32.dll", "python314.dll", "api-ms-win-crt-heap-l1-1-0.dll"} <= dlls


def test_python314_imports_are_exactly_the_def_file():
    listed = def_file_names(PATHS["VANTOR_WINDOWS_PYTHON_DEF"])
    assert imported_names()["python314.dll"] == set(listed)


def test_every_def_name_is_declared_by_the_headers_for_python314():
    declared = declared_in_headers(PATHS["VANTOR_WINDOWS_PYTHON_HEADERS"])
    listed = def_file_names(PATHS["VANTOR_WINDOWS_PYTHON_DEF"])
    assert {name: declared.get(name) for name in listed} == listed


# The reader of the headers, on small headers whose answers are known: a fault there would let a
# debug-only or free-threaded-only name through the check above.
HEADER_CASES = [
    ("plain", "PyAPI_FUNC(int) Py_A(void);\nPyAPI_DATA(PyObject *) Py_B;", {"Py_A", "Py_B"}),
    ("debug only", "#ifdef Py_DEBUG\nPyAPI_FUNC(int) Py_A(void);\n#endif", set()),
    ("free-threaded only", "#if defined(Py_GIL_DISABLED)\nPyAPI_FUNC(int) Py_A(void);\n#endif",
     set()),
    ("not free-threaded", "#ifndef Py_GIL_DISABLED\nPyAPI_FUNC(int) Py_A(void);\n#endif",
     {"Py_A"}),
    ("else of free-threaded",
     "#ifdef Py_GIL_DISABLED\nPyAPI_FUNC(int) Py_A(void);\n#else\nPyAPI_FUNC(int) Py_B(void);\n"
     "#endif", {"Py_B"}),
    ("elif chain",
     "#if defined(Py_DEBUG)\nPyAPI_FUNC(int) Py_A(void);\n#elif defined(Py_GIL_DISABLED)\n"
     "PyAPI_FUNC(int) Py_B(void);\n#else\nPyAPI_FUNC(int) Py_C(void);\n#endif", {"Py_C"}),
    ("unknown condition keeps both branches",
     "#ifdef Py_LIMITED_API\nPyAPI_FUNC(int) Py_A(void);\n#else\nPyAPI_FUNC(int) Py_B(void);\n"
     "#endif", {"Py_A", "Py_B"}),
    ("or with an unknown", "#if defined(Py_GIL_DISABLED) || SIZEOF_VOID_P > 4\n"
     "PyAPI_FUNC(int) Py_A(void);\n#endif", {"Py_A"}),
    ("and with an unknown", "#if !defined(Py_LIMITED_API) && defined(Py_GIL_DISABLED)\n"
     "PyAPI_FUNC(int) Py_A(void);\n#endif", set()),
    ("nested inside a kept block",
     "#ifndef Py_LIMITED_API\n#  ifdef Py_TRACE_REFS\nPyAPI_FUNC(int) Py_A(void);\n#  endif\n"
     "PyAPI_FUNC(int) Py_B(void);\n#endif", {"Py_B"}),
    ("ref debug follows debug", "#if defined(Py_REF_DEBUG) && !defined(Py_LIMITED_API)\n"
     "PyAPI_FUNC(void) Py_A(void);\n#endif", set()),
    ("if 0", "#if 0\nPyAPI_FUNC(int) Py_A(void);\n#endif", set()),
    ("commented out", "/* PyAPI_FUNC(int) Py_A(void); */\n// PyAPI_DATA(int) Py_B;", set()),
    ("continued condition", "#if defined(Py_DEBUG) \\\n    || defined(Py_TRACE_REFS)\n"
     "PyAPI_FUNC(int) Py_A(void);\n#endif", set()),
    ("return type with parentheses", "PyAPI_FUNC(void (*)(void)) Py_A(int);", {"Py_A"}),
    ("attribute before the name", "PyAPI_FUNC(void) _Py_NO_RETURN Py_A(\n    const char *);",
     {"Py_A"}),
]


@pytest.mark.parametrize("text, expected", [case[1:] for case in HEADER_CASES],
                         ids=[case[0] for case in HEADER_CASES])
def test_the_header_reader_keeps_what_the_release_build_declares(text, expected):
    assert set(declared_names(text)) == expected


def test_the_header_reader_tells_data_from_functions():
    assert declared_names("PyAPI_FUNC(int) Py_A(void);\nPyAPI_DATA(PyTypeObject) Py_B;") == {
        "Py_A": "FUNC", "Py_B": "DATA"}


def test_the_real_headers_keep_debug_and_free_threaded_names_out():
    # Names of the 3.14 headers that the release build with the lock does not have: a reference
    # count check of the debug build, and the shared reference count of the free-threaded one.
    declared = declared_in_headers(PATHS["VANTOR_WINDOWS_PYTHON_HEADERS"])
    assert "_Py_NegativeRefcount" not in declared
    assert "_Py_DecRefShared" not in declared
    assert declared["_Py_Dealloc"] == "FUNC"
    assert declared["PyExc_TypeError"] == "DATA"
