"""Smoke test of an installed vantor_codec: run by an interpreter that has the wheel installed
(cibuildwheel's test command, and tests/wheel in a fresh venv). Prints where the module is.

On a free-threaded interpreter (cibuildwheel's cp314t) it also checks that importing the module
left the interpreter lock off, as its Py_MOD_GIL_NOT_USED slot asks, and runs calls on several
threads at once."""

import sys
import sysconfig
from concurrent.futures import ThreadPoolExecutor

import vantor_codec

PAYLOAD = b'[{"a":1,"b":2},{"a":1,"c":3}]'
EXPECTED = b'{"columns":["b","c"],"rows":[[2,null],[null,3]],"constants":{"a":1}}'

result = vantor_codec.columnarize(PAYLOAD)
if result != EXPECTED:
    raise SystemExit(f"columnarize returned {result!r}, expected {EXPECTED!r}")
try:
    vantor_codec.columnarize(b"[1]")
except RuntimeError as error:
    assert str(error) == "expected a JSON object row, got: 1", error
else:
    raise SystemExit("a non-object row was not refused")
if sysconfig.get_config_var("Py_GIL_DISABLED"):
    if sys._is_gil_enabled():
        raise SystemExit("importing vantor_codec turned the free-threaded interpreter's lock on")
    payloads = [b'[{"id":%d,"kind":"call"},{"id":%d,"kind":"call"}]' % (i, i + 1)
                for i in range(64)]
    with ThreadPoolExecutor(max_workers=8) as pool:
        results = list(pool.map(vantor_codec.columnarize, payloads))
    for i, result in enumerate(results):
        expected = b'{"columns":["id"],"rows":[[%d],[%d]],"constants":{"kind":"call"}}' % (i, i + 1)
        if result != expected:
            raise SystemExit(f"call {i} on a thread returned {result!r}, expected {expected!r}")
print(vantor_codec.__file__)
