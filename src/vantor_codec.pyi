# Type stub of the extension module; the wheel carries it beside the module and as the stub
# package vantor_codec-stubs.

from typing import SupportsIndex

__all__ = ["columnarize"]

def columnarize(payload: bytes, min_rows: SupportsIndex = 20) -> bytes:
    """Columnarize a row-oriented JSON payload, GIL released for the duration of the transform.

    Args:
        payload: UTF-8 JSON bytes encoding a `list[dict]` of rows (a `str` is refused).
        min_rows: Accepted for parity with the Python codec's signature; not checked here.
            Any integer or object with `__index__` that converts to an unsigned 64-bit
            integer.

    Returns:
        UTF-8 JSON bytes encoding `{"columns", "rows", "constants"}`.

    Raises:
        TypeError: bad arguments, or a `payload` that is not `bytes`.
        OverflowError: a negative `min_rows`, or one of 2**64 or more.
        RuntimeError: a payload that is not a JSON array of objects, or an internal fault of
            the transform.
        MemoryError: memory ran out for the payload's copy, the transform or the result.
    """
