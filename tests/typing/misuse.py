"""Calls the stub must reject. Each offending line ends with the error code mypy has to report
for it, after "# expect:"; the test compares the two sets."""

import vantor_codec

vantor_codec.columnarize("[]")  # expect: arg-type
vantor_codec.columnarize(bytearray(b"[]"))  # expect: arg-type
vantor_codec.columnarize(b"[]", min_rows=None)  # expect: arg-type
vantor_codec.columnarize(b"[]", min_rows=20.0)  # expect: arg-type
vantor_codec.columnarize(b"[]", min_rows="20")  # expect: arg-type
vantor_codec.columnarize(b"[]", 20, 1)  # expect: call-arg
vantor_codec.columnarize(rows=b"[]")  # expect: call-arg
vantor_codec.columnarize()  # expect: call-arg
text: str = vantor_codec.columnarize(b"[]")  # expect: assignment
vantor_codec.decode(b"[]")  # expect: attr-defined
