"""Smoke test of an installed vantor_codec: run by an interpreter that has the wheel installed
(cibuildwheel's test command, and tests/wheel in a fresh venv). Prints where the module is."""

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
print(vantor_codec.__file__)
