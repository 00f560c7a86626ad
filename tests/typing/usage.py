"""Typed use of the module, checked by mypy against the stub: the calls a codec makes."""

import json

import vantor_codec


def columns_of(rows: list[dict[str, object]], min_rows: int = 20) -> list[str]:
    payload: bytes = json.dumps(rows).encode()
    result: bytes = vantor_codec.columnarize(payload, min_rows)
    keyword_result: bytes = vantor_codec.columnarize(payload=payload, min_rows=min_rows)
    assert result == keyword_result
    document = json.loads(result)
    return [str(name) for name in document["columns"]]


def guarded(payload: bytes) -> bytes | None:
    try:
        return vantor_codec.columnarize(payload)
    except Exception:
        return None


class RowCount:
    """Not an int, but usable as one: the module takes any object with __index__."""

    def __index__(self) -> int:
        return 20


def with_index_objects(payload: bytes) -> bytes:
    return vantor_codec.columnarize(payload, RowCount()) + vantor_codec.columnarize(
        payload, min_rows=True
    )


exported: list[str] = vantor_codec.__all__
