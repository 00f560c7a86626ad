"""Binding and converting the arguments of columnarize(payload, min_rows=20)."""

import pytest

EMPTY_RESULT = b'{"columns":[],"rows":[],"constants":{}}'


class BytesSubclass(bytes):
    pass


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class IndexRaises:
    def __index__(self):
        raise ValueError("index refused")


BINDING_ERRORS = [
    # (args, kwargs, message): the first failing rule decides, in the order the checks run.
    ((), {}, "columnarize() missing 1 required positional argument: 'payload'"),
    ((), {"min_rows": 5}, "columnarize() missing 1 required positional argument: 'payload'"),
    ((b"[]", 1, 2), {}, "columnarize() takes from 1 to 2 positional arguments but 3 were given"),
    ((b"[]", 1, 2, 3), {}, "columnarize() takes from 1 to 2 positional arguments but 4 were given"),
    ((b"[]", 1, 2), {"rows": 1}, "columnarize() takes from 1 to 2 positional arguments but 3 were given"),
    ((b"[]",), {"rows": 1}, "columnarize() got an unexpected keyword argument 'rows'"),
    ((), {"Payload": b"[]"}, "columnarize() got an unexpected keyword argument 'Payload'"),
    ((), {"payload\u200b": b"[]"}, "columnarize() got an unexpected keyword argument 'payload\u200b'"),
    ((), {"p\udcffayload": b"[]"}, "columnarize() got an unexpected keyword argument 'p\udcffayload'"),
    ((b"[]",), {"payload": b"[]"}, "columnarize() got multiple values for argument 'payload'"),
    ((b"[]", 1), {"min_rows": 2}, "columnarize() got multiple values for argument 'min_rows'"),
    # The first offending keyword decides.
    ((b"[]",), {"bad": 1, "payload": b"[]"}, "columnarize() got an unexpected keyword argument 'bad'"),
    ((b"[]",), {"payload": b"[]", "bad": 1}, "columnarize() got multiple values for argument 'payload'"),
    # Binding errors come before any conversion.
    (("not bytes",), {"rows": 1}, "columnarize() got an unexpected keyword argument 'rows'"),
]


@pytest.mark.parametrize("args, kwargs, message", BINDING_ERRORS)
def test_binding_errors_are_type_errors_without_notes(codec, args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        codec.columnarize(*args, **kwargs)
    assert type(caught.value) is TypeError
    assert str(caught.value) == message
    assert caught.value.args == (message,)
    assert not hasattr(caught.value, "__notes__")


CONVERSION_ERRORS = [
    # (args, kwargs, exception type, message, parameter); min_rows errors keep the interpreter's
    # own exception and text (None: not worth pinning down).
    (("x",), {}, TypeError, "'str' object is not an instance of 'bytes'", "payload"),
    ((bytearray(b"[]"),), {}, TypeError, "'bytearray' object is not an instance of 'bytes'", "payload"),
    ((memoryview(b"[]"),), {}, TypeError, "'memoryview' object is not an instance of 'bytes'", "payload"),
    ((None,), {}, TypeError, "'None' is not an instance of 'bytes'", "payload"),
    ((Index(1),), {}, TypeError, "'Index' object is not an instance of 'bytes'", "payload"),
    ((), {"payload": 3}, TypeError, "'int' object is not an instance of 'bytes'", "payload"),
    # Both bad: the payload's error is raised.
    (("x", -1), {}, TypeError, "'str' object is not an instance of 'bytes'", "payload"),
    ((b"[]", -1), {}, OverflowError, "can't convert negative int to unsigned", "min_rows"),
    ((b"[]", 2**64), {}, OverflowError, None, "min_rows"),
    ((b"[]",), {"min_rows": -(2**70)}, OverflowError, None, "min_rows"),
    ((b"[]", 3.0), {}, TypeError, "'float' object cannot be interpreted as an integer", "min_rows"),
    ((b"[]", "20"), {}, TypeError, None, "min_rows"),
    ((b"[]", None), {}, TypeError, "'NoneType' object cannot be interpreted as an integer", "min_rows"),
    ((b"[]", Index(-5)), {}, OverflowError, None, "min_rows"),
    ((b"[]", Index(2**64)), {}, OverflowError, None, "min_rows"),
    ((b"[]", IndexRaises()), {}, ValueError, "index refused", "min_rows"),
]


@pytest.mark.parametrize("args, kwargs, error_type, message, parameter", CONVERSION_ERRORS)
def test_conversion_errors_keep_their_exception_and_gain_a_note(
    codec, args, kwargs, error_type, message, parameter
):
    with pytest.raises(error_type) as caught:
        codec.columnarize(*args, **kwargs)
    assert type(caught.value) is error_type
    if message is not None:
        assert str(caught.value) == message
    assert caught.value.__notes__ == [f"while processing '{parameter}'"]


@pytest.mark.parametrize("min_rows", [0, 1, 20, True, False, 2**64 - 1, Index(7), Index(2**64 - 1)])
def test_every_unsigned_64_bit_min_rows_is_accepted_and_ignored(codec, min_rows):
    assert codec.columnarize(b"[]", min_rows) == EMPTY_RESULT
    assert codec.columnarize(b"[]", min_rows=min_rows) == EMPTY_RESULT
    assert codec.columnarize(payload=b"[]", min_rows=min_rows) == EMPTY_RESULT
    assert codec.columnarize(min_rows=min_rows, payload=b"[]") == EMPTY_RESULT


def test_min_rows_does_not_change_the_result(codec):
    payload = b'[{"a":1,"b":2},{"a":1,"c":3}]'
    results = {codec.columnarize(payload, n) for n in (0, 1, 2, 3, 20, 2**64 - 1)}
    assert len(results) == 1


def test_bytes_subclass_payload_is_accepted(codec):
    assert codec.columnarize(BytesSubclass(b"[]")) == EMPTY_RESULT
    assert type(codec.columnarize(BytesSubclass(b"[]"))) is bytes


def test_a_failure_leaves_nothing_behind_for_the_next_call(codec):
    failing = [
        lambda: codec.columnarize("x"),
        lambda: codec.columnarize(b"[]", -1),
        lambda: codec.columnarize(b"[1]"),
        lambda: codec.columnarize(),
    ]
    for call in failing:
        with pytest.raises(Exception):
            call()
        assert codec.columnarize(b'[{"a":1}]') == b'{"columns":["a"],"rows":[[1]],"constants":{}}'
