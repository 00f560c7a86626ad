"""Payloads through the whole module: a sample of transform and reader cases end to end (the C++
tests cover them in depth)."""

import pytest

RESULTS = [
    (b'[{"a":1,"b":2},{"a":1,"c":3}]', b'{"columns":["b","c"],"rows":[[2,null],[null,3]],"constants":{"a":1}}'),
    (b"[]", b'{"columns":[],"rows":[],"constants":{}}'),
    (b" [ ]\r\n\t", b'{"columns":[],"rows":[],"constants":{}}'),
    (b"[{},{}]", b'{"columns":[],"rows":[[],[]],"constants":{}}'),
    (b'[{"a":1,"b":null}]', b'{"columns":["a"],"rows":[[1]],"constants":{}}'),
    (b'[{"a":null,"b":1},{"b":1,"c":null}]', b'{"columns":[],"rows":[[],[]],"constants":{"b":1}}'),
    (b'[{"b":1,"a":2},{"c":3,"a":4}]', b'{"columns":["b","a","c"],"rows":[[1,2,null],[null,4,3]],"constants":{}}'),
    (b'[{"a":1},{"a":1.0}]', b'{"columns":[],"rows":[[],[]],"constants":{"a":1}}'),
    (b'[{"a":1.0},{"a":1}]', b'{"columns":[],"rows":[[],[]],"constants":{"a":1.0}}'),
    (b'[{"a":[1]},{"a":[1.0]}]', b'{"columns":["a"],"rows":[[[1]],[[1.0]]],"constants":{}}'),
    (b'[{"a":{"x":1,"y":2}},{"a":{"y":2,"x":1}}]', b'{"columns":[],"rows":[[],[]],"constants":{"a":{"x":1,"y":2}}}'),
    (b'[{"a":1,"a":2}]', b'{"columns":["a"],"rows":[[2]],"constants":{}}'),
    (b'[{"s":"caf\\u00e9\\n"},{"s":"\xe2\x82\xac"}]', b'{"columns":["s"],"rows":[["caf\xc3\xa9\\n"],["\xe2\x82\xac"]],"constants":{}}'),
    (b'[{"n":18446744073709551615},{"n":-9223372036854775808},{"n":0.5}]',
     b'{"columns":["n"],"rows":[[18446744073709551615],[-9223372036854775808],[0.5]],"constants":{}}'),
]


@pytest.mark.parametrize("payload, expected", RESULTS)
def test_results(codec, payload, expected):
    result = codec.columnarize(payload)
    assert type(result) is bytes
    assert result == expected


FAILURES = [
    (b"", "invalid row-oriented JSON: EOF while parsing a value at line 1 column 0"),
    (b"{}", "invalid row-oriented JSON: invalid type: map, expected a sequence at line 1 column 0"),
    (b"[1,]", "invalid row-oriented JSON: trailing comma at line 1 column 4"),
    (b"[] x", "invalid row-oriented JSON: trailing characters at line 1 column 4"),
    (b"\xef\xbb\xbf[]", "invalid row-oriented JSON: expected value at line 1 column 1"),
    (b'["\xff"]', "invalid row-oriented JSON: invalid unicode code point at line 1 column 4"),
    (b"[1e400]", "invalid row-oriented JSON: number out of range at line 1 column 6"),
    (b"[" * 128 + b"]" * 128, "invalid row-oriented JSON: recursion limit exceeded at line 1 column 128"),
    (b'[1, {"a":]', "invalid row-oriented JSON: expected value at line 1 column 10"),
    (b"[1]", "expected a JSON object row, got: 1"),
    (b'[{"a":1},2,"x"]', "expected a JSON object row, got: 2"),
    (b'[{"a":1},[1, 2]]', "expected a JSON object row, got: [1,2]"),
    (b'[{"a":1},"x"]', 'expected a JSON object row, got: "x"'),
]


@pytest.mark.parametrize("payload, message", FAILURES)
def test_failures_are_runtime_errors_the_caller_catches(codec, payload, message):
    try:
        codec.columnarize(payload)
    except Exception as caught:
        assert type(caught) is RuntimeError
        assert caught.args == (message,)
        assert not hasattr(caught, "__notes__")
    else:
        pytest.fail("no exception")
