"""columnarize written in plain Python on json, orjson, msgspec and ujson: the peers that
bench.py measures the module against, kept in the repository so that a clone reproduces the
README's table.

Each peer reads the payload with its library, makes the columns with the same Python code
(`columns_of`), and writes the result with its library. They follow the module's rules:

- columns in the order in which their names first appear, row by row;
- a member that is null or absent in every row is dropped;
- a constant needs two rows or more, the member in every row, and every value equal to the first
  row's: numbers by their exact value across int and float (1 and 1.0), booleans only equal to
  booleans, and inside arrays and objects by strict equality (1 is not 1.0 there, member order
  does not count);
- a name given twice in one object keeps its first position and its last value (as a dict does).

And they write what the module writes, byte for byte, on the benchmark's payloads: the float
text is the module's (shortest digits, positional from 1e-5 to below 1e16, else `1.5e-7`,
`1e+16`), and the json and msgspec peers read floats with the module's own method (the
significand to binary64, then one multiplication or division by the nearest binary64 power of
ten), which is not correctly rounded. orjson has no hook for reading numbers, so its floats are
correctly rounded: on the benchmark's number rows a few of them sit a unit in the last place
from the module's. Known differences outside the benchmark's payloads: the token -0 and
integers beyond 64 bits, which the module reads as floats, stay integers here; error texts
differ.

The Python work per call is kept to what the transform needs, and done at C speed where Python
allows: names gathered by dict.fromkeys over the chained rows, each column's tests stopped at
the first row that settles them (most varying columns by the second row), dense rows taken by
one operator.itemgetter mapped over the rows, sparse rows filled member by member, and the
float text rewritten only when a float that needs it was read.
"""

import json
import math
import re
import threading
from functools import partial
from itertools import chain, repeat
from operator import is_not, itemgetter

PEER_LIBRARIES = ("orjson", "msgspec", "ujson")


class ColumnarizeError(RuntimeError):
    """A payload the transform cannot use (the module raises RuntimeError as well)."""


# --- numbers: the module's reading method and its float text ----------------------------------

POWERS_OF_TEN = [float(10**k) for k in range(309)]  # each the binary64 nearest to 10^k
UINT64_MAX = (1 << 64) - 1
FLOAT_TOKEN = re.compile(r"(-?)([0-9]+)(?:\.([0-9]+))?(?:[eE]([-+]?[0-9]+))?")


def read_float(text):
    """The value the module gives the number token `text` (with a fraction or an exponent): its
    significand's digits, as many as 64 bits hold, converted to binary64, then multiplied or
    divided once by the binary64 nearest to the power of ten (by steps of 1e308 below 1e-308)."""
    match = FLOAT_TOKEN.fullmatch(text)
    if match is None:
        raise ValueError(f"not a JSON number: {text!r}")
    sign, whole, fraction, exponent_text = match.groups()
    fraction = fraction or ""
    digits = whole + fraction
    exponent = int(exponent_text) if exponent_text else 0
    if len(digits) <= 19:
        significand = int(digits)
        exponent -= len(fraction)
    else:
        # Digits are kept while the significand fits in 64 bits; the first that does not ends
        # the significand, and the integer digits dropped raise the exponent.
        kept = len(digits) - len(digits.lstrip("0")) + 20
        while int(digits[:kept]) > UINT64_MAX:
            kept -= 1
        kept = min(kept, len(digits))
        significand = int(digits[:kept])
        exponent += len(whole) - kept
    value = float(significand)
    while True:
        if -308 <= exponent <= 308:
            if exponent >= 0:
                value *= POWERS_OF_TEN[exponent]
                if math.isinf(value):
                    raise ValueError(f"number out of range: {text}")
            else:
                value /= POWERS_OF_TEN[-exponent]
            break
        if value == 0.0:
            break
        if exponent > 0:
            raise ValueError(f"number out of range: {text}")
        value /= POWERS_OF_TEN[308]
        exponent += 308
    return -value if sign else value


def float_text(value):
    """The module's text of a float: the shortest digits that read back as `value`, positional
    when the first digit's exponent is from -5 to 15 (`0.00001`, `123.0`), else `d.ddde-7` or
    `de+16`."""
    if value == 0.0:
        return "-0.0" if math.copysign(1.0, value) < 0 else "0.0"
    sign = "-" if value < 0 else ""
    mantissa, _, exponent = repr(abs(value)).partition("e")
    whole, _, fraction = mantissa.partition(".")
    digits = whole + fraction
    significant = digits.lstrip("0")
    # The exponent of the first significant digit.
    point = len(whole) - 1 + int(exponent or 0) - (len(digits) - len(significant))
    significant = significant.rstrip("0")
    if 0 <= point <= 15:
        integer = significant[:point + 1].ljust(point + 1, "0")
        return f"{sign}{integer}.{significant[point + 1:] or '0'}"
    if -5 <= point < 0:
        return f"{sign}0.{'0' * (-point - 1)}{significant}"
    head = significant[0] + ("." + significant[1:] if len(significant) > 1 else "")
    return f"{sign}{head}e{'+' if point > 0 else '-'}{abs(point)}"


def needs_new_text(value):
    """Whether Python's float text (repr, which json writes) differs from the module's: below
    1e-4 Python writes `1e-05` where the module writes `0.00001`, and `1e-07` for `1e-7`."""
    return 0.0 < abs(value) < 1e-4 and not abs(value) < 1e-9


def needs_sign(value):
    """Whether msgspec's float text differs from the module's: it writes `1e16` for `1e+16`."""
    return abs(value) >= 1e16


# A JSON string, or a number token with a fraction or an exponent, in a compact result: strings
# are matched so that number-like text inside them is left alone.
STRING_OR_FLOAT = re.compile(rb'"(?:[^"\\]|\\.)*"|-?[0-9]+(?:\.[0-9]+)?(?:[eE][-+]?[0-9]+)|'
                             rb'-?[0-9]+\.[0-9]+')


def with_module_float_text(text):
    """A compact JSON text with each float written as the module writes it."""
    def rewrite(match):
        token = match[0]
        if token[0] == 0x22:  # a string
            return token
        return float_text(float(token)).encode()

    return STRING_OR_FLOAT.sub(rewrite, text)


class FloatReader(threading.local):
    """A float hook, made once per peer: reads each float token with the module's method and
    notes, for the call under way on this thread, whether one of them needs its text rewritten
    after the library has written it."""

    def __init__(self, test):
        self.needs_rewrite = False
        self.test = test

    def __call__(self, text):
        value = read_float(text)
        if not self.needs_rewrite and self.test(value):
            self.needs_rewrite = True
        return value


# --- the transform ----------------------------------------------------------------------------

_not_none = partial(is_not, None)
_MISSING = object()


def strictly_equal(a, b):
    """Equality inside arrays and objects: the same type all the way down (1 is not 1.0, True
    is not 1), floats by IEEE equality, object members paired by name whatever their order."""
    kind = type(a)
    if kind is not type(b):
        return False
    if kind is dict:
        return len(a) == len(b) and all(
            strictly_equal(value, b.get(name, _MISSING)) for name, value in a.items())
    if kind is list:
        return len(a) == len(b) and all(map(strictly_equal, a, b))
    return a == b


def holds_numbers(value):
    """Whether an array or object holds a number or a boolean anywhere, where == is looser than
    strict equality (1 == 1.0 == True)."""
    kind = type(value)
    if kind is dict:
        return any(map(holds_numbers, value.values()))
    if kind is list:
        return any(map(holds_numbers, value))
    return kind is int or kind is float or kind is bool


def equal_to_first(first, value):
    """The constant test's comparison of a row's value with the first row's."""
    kind = type(first)
    other = type(value)
    if kind is bool or other is bool:
        return kind is other and first == value
    if kind is dict or kind is list:
        return first == value and (not holds_numbers(first) or strictly_equal(first, value))
    if kind is int or kind is float:
        return (other is int or other is float) and first == value  # exact across int and float
    return kind is other and first == value


def is_constant(rows, name, first):
    """Whether every row holds `name` with a value equal to `first` (not null)."""
    column = list(map(dict.get, rows, repeat(name, len(rows)), repeat(_MISSING)))
    kind = type(first)
    if column.count(first) != len(column):
        # == is looser than the test (1 == 1.0 == True), never stricter: a row that == does
        # not match cannot match.
        return False
    if kind is str:
        return True
    if kind is bool:
        return all(type(value) is bool for value in column)
    if kind is int or kind is float:
        return all(type(value) is int or type(value) is float for value in column)
    return not holds_numbers(first) or all(strictly_equal(first, value) for value in column)


def columns_of(rows):
    """The result document of the rows, as a dict: columns, rows (tuples or lists), constants."""
    if type(rows) is not list:
        raise ColumnarizeError("invalid row-oriented JSON: the payload is not an array")
    if rows and set(map(type, rows)) != {dict}:
        row = next(row for row in rows if type(row) is not dict)
        raise ColumnarizeError("expected a JSON object row, got: "
                               + json.dumps(row, separators=(",", ":"), ensure_ascii=False))
    names = dict.fromkeys(chain.from_iterable(rows))
    count = len(rows)
    columns, constants = [], {}
    if count:
        first_row, second_row = rows[0], rows[1] if count > 1 else None
        get = dict.get
        for name in names:
            first = first_row.get(name)
            if (first is not None and second_row is not None
                    and equal_to_first(first, second_row.get(name, _MISSING))
                    and is_constant(rows, name, first)):
                constants[name] = first
            elif first is not None or any(map(_not_none, map(get, rows, repeat(name)))):
                columns.append(name)
    return {"columns": columns, "rows": row_values(rows, columns), "constants": constants}


def row_values(rows, columns):
    """Each row's values in the columns' order, None where the row lacks one."""
    width = len(columns)
    if width == 0:
        return [[] for _ in rows]
    if width == 1:
        name = columns[0]
        return [[row.get(name)] for row in rows]
    cells = sum(map(len, rows))
    if cells * 2 < len(rows) * width:
        # Sparse rows: a row of None per row, filled member by member.
        position = {name: index for index, name in enumerate(columns)}.get
        empty = [None] * width
        result = []
        for row in rows:
            values = empty.copy()
            for name, value in row.items():
                index = position(name)
                if index is not None:
                    values[index] = value
            result.append(values)
        return result
    take = itemgetter(*columns)
    try:
        return list(map(take, rows))
    except KeyError:
        pass
    result = []
    append = result.append
    for row in rows:
        try:
            append(take(row))
        except KeyError:
            append(tuple(map(row.get, columns)))
    return result


# --- the peers: the library reads, columns_of, the library writes -----------------------------


_json_floats = FloatReader(needs_new_text)
_json_decode = json.JSONDecoder(parse_float=_json_floats).decode


def columnarize_json(payload, min_rows=20):
    floats = _json_floats
    floats.needs_rewrite = False
    try:
        rows = _json_decode(payload.decode())
    except ValueError as error:  # UnicodeDecodeError included
        raise ColumnarizeError(f"invalid row-oriented JSON: {error}") from None
    text = json.dumps(columns_of(rows), separators=(",", ":"), ensure_ascii=False).encode()
    return with_module_float_text(text) if floats.needs_rewrite else text


def _orjson_peer():
    import orjson

    loads, dumps, error_type = orjson.loads, orjson.dumps, orjson.JSONDecodeError

    def columnarize_orjson(payload, min_rows=20):
        # orjson writes floats as the module does; it reads them correctly rounded.
        try:
            rows = loads(payload)
        except error_type as error:
            raise ColumnarizeError(f"invalid row-oriented JSON: {error}") from None
        return dumps(columns_of(rows))

    return columnarize_orjson


def _msgspec_peer():
    import msgspec

    decoder_type, encode, error_type = msgspec.json.Decoder, msgspec.json.encode, \
        msgspec.DecodeError

    floats = FloatReader(needs_sign)
    decode = decoder_type(float_hook=floats).decode

    def columnarize_msgspec(payload, min_rows=20):
        floats.needs_rewrite = False
        try:
            rows = decode(payload)
        except (error_type, ValueError) as error:
            raise ColumnarizeError(f"invalid row-oriented JSON: {error}") from None
        text = encode(columns_of(rows))
        return with_module_float_text(text) if floats.needs_rewrite else text

    return columnarize_msgspec


def _ujson_peer():
    import ujson

    loads, dumps = ujson.loads, ujson.dumps

    def columnarize_ujson(payload, min_rows=20):
        # ujson has no hook for floats: they are read correctly rounded, and every float's
        # text is checked against the module's.
        try:
            rows = loads(payload)
        except ValueError as error:
            raise ColumnarizeError(f"invalid row-oriented JSON: {error}") from None
        text = dumps(columns_of(rows), ensure_ascii=False, escape_forward_slashes=False).encode()
        return with_module_float_text(text)

    return columnarize_ujson


def _peers():
    peers = {"json": columnarize_json}
    for name, make in (("orjson", _orjson_peer), ("msgspec", _msgspec_peer),
                       ("ujson", _ujson_peer)):
        try:
            peers[name] = make()
        except ImportError:
            pass
    return peers


# name: bytes -> bytes, for each library that is installed.
PEERS = _peers()
