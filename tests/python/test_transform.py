"""What the module adds around the transform, whose rules the C++ tests cover case by case: the
payload's bytes reach it whole (by length, not up to a NUL), the result is plain `bytes`, UTF-8
passes through both ways, and every refused payload is a RuntimeError whose one argument is the
message, which the caller's `except Exception:` catches."""

import pytest

RESULTS = [
    (b'[{"a":1,"b":2},{"a":1,"c":3}]', b'{"columns":["b","c"],"rows":[[2,null],[null,3]],"constants":{"a":1}}'),
    # Multi-byte UTF-8 and an escaped NUL, as bytes in and out.
    (b'[{"s":"\\u0000\xe2\x82\xac"},{"s":"caf\\u00e9"}]',
     b'{"columns":["s"],"rows":[["\\u0000\xe2\x82\xac"],["caf\xc3\xa9"]],"constants":{}}'),
]


@pytest.mark.parametrize("payload, expected", RESULTS)
def test_results_are_plain_bytes(codec, payload, expected):
    class Payload(bytes):
        pass

    for given in (payload, Payload(payload)):
        result = codec.columnarize(given)
        assert type(result) is bytes
        assert result == expected


FAILURES = [
    # An empty payload: nothing to copy.
    (b"", "invalid row-oriented JSON: EOF while parsing a value at line 1 column 0"),
    # A NUL byte after the array is part of the payload, not its end.
    (b"[]\x00", "invalid row-oriented JSON: trailing characters at line 1 column 3"),
    (b'[{"s":"\x00"}]', "invalid row-oriented JSON: control character (\\u0000-\\u001F) found "
     "while parsing a string at line 1 column 8"),
    # The message is UTF-8 decoded into the exception's text.
    (b'[{"a":1},"caf\xc3\xa9"]', 'expected a JSON object row, got: "caf\u00e9"'),
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


# The payload's copy tells the reader when the payload is ASCII, and the reader then skips its
# UTF-8 check: a byte from 0x80 up anywhere, in the frame's copy, the block's or a buffer of its
# own, at either end of the copy's vector turns, must still be refused.
@pytest.mark.parametrize("size", [10, 31, 32, 33, 127, 128, 129, 511, 512, 513, 4096, 100_000,
                                  3_000_000])
@pytest.mark.parametrize("bad", [b"\xff", b"\x80", b"\xc3"])
def test_a_byte_above_ascii_is_refused_wherever_the_copy_holds_it(codec, size, bad):
    for place in (0, size // 2, size - 1):
        text = b"a" * place + bad + b"a" * (size - place - 1)
        payload = b'[{"s":"' + text + b'"}]'
        with pytest.raises(RuntimeError) as caught:
            codec.columnarize(payload)
        # The string is refused at its closing quote.
        column = len(b'[{"s":"') + size + 1
        assert caught.value.args == (
            f"invalid row-oriented JSON: invalid unicode code point at line 1 column {column}",)
    # Outside a string, after the array.
    payload = b'[{"s":"' + b"a" * size + b'"}]' + bad
    with pytest.raises(RuntimeError) as caught:
        codec.columnarize(payload)
    assert caught.value.args == (
        f"invalid row-oriented JSON: trailing characters at line 1 column {len(payload)}",)
