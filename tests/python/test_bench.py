"""The Python benchmark's own parts on tiny payloads: its payloads are the C++ benchmark's bytes,
its structure check tells documents apart, and one short run reports every shape and section."""

import hashlib
import importlib.util
import json

import pytest
from conftest import REPO

BENCH_FILE = REPO / "bench" / "python" / "bench.py"
_spec = importlib.util.spec_from_file_location("vantor_bench", BENCH_FILE)
bench = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(bench)

needs_peers = pytest.mark.skipif(not bench.PEERS_FILE.is_file(),
                                 reason=f"no plain-Python peers at {bench.PEERS_FILE}")


# Length and SHA-256 prefix of each bench/cpp/payloads.h generator's output for 1024 bytes, as a
# GCC build of that header writes it.
CPP_PAYLOADS = {
    "tool_call": (1160, "36d4ea2eab5c0f3b"),
    "numbers": (1291, "92bc57427271317c"),
    "strings": (1517, "515b71fa6ea3d454"),
    "sparse": (1057, "5259086b4e5c11d2"),
    "wide": (5342, "acd4e47f65fc57bb"),
    "nested": (1403, "61bd903e1aa06f07"),
    "nested_repeated": (1642, "77327c0cc392273c"),
    "nested_pretty": (2244, "0f311a7f847c5fd5"),
    "nested_repeated_pretty": (2587, "b1d0ac18a03e0901"),
    "airports": (1076, "0b94dcf1fbf893b9"),
}

# Members per row, and what each shape must contain.
SHAPE_ROWS = {
    "tool_call": (20, b'"error":null'),
    "numbers": (20, b"e-"),
    "strings": (8, b'\\"quoted\\"\\u00e9'),
    "sparse": (10, b'"field_'),
    "wide": (500, b'"c499":'),
    "nested": (9, b'"translations":{"ar":'),
    "nested_repeated": (9, b'"f5":"integer"}'),
    "nested_pretty": (9, b'"translations": {\n      "ar": '),
    "nested_repeated_pretty": (9, b'"f5": "integer"\n    }'),
    "airports": (6, b'"icao":"'),
}


@pytest.mark.parametrize("shape", sorted(CPP_PAYLOADS))
def test_payloads_are_the_cpp_benchmarks_bytes(shape):
    payload = bench.make_payload(shape, 1024)
    length, digest = CPP_PAYLOADS[shape]
    assert (len(payload), hashlib.sha256(payload).hexdigest()[:16]) == (length, digest)
    members, marker = SHAPE_ROWS[shape]
    rows = json.loads(payload)
    assert rows and all(type(row) is dict and len(row) == members for row in rows)
    assert marker in payload
    if shape == "strings":
        assert any(byte >= 0x80 for byte in payload)


@pytest.mark.parametrize("mine, theirs, difference, floats", [
    ({"columns": ["a"], "rows": [[1.0]], "constants": {}},
     {"columns": ["a"], "rows": [[1.0000000000000002]], "constants": {}}, None, 1),
    ({"columns": ["a"], "rows": [[1e-20]], "constants": {}},
     {"columns": ["a"], "rows": [[1e-20 * (1 + 8e-16)]], "constants": {}}, '"rows" differs', 0),
    ({"columns": ["a"], "rows": [[1]], "constants": {}},
     {"columns": ["a"], "rows": [[1.0]], "constants": {}}, '"rows" differs', 0),
    ({"columns": ["a"], "rows": [[0.0]], "constants": {}},
     {"columns": ["a"], "rows": [[-0.0]], "constants": {}}, '"rows" differs', 0),
    ({"columns": ["a"], "rows": [[True]], "constants": {}},
     {"columns": ["a"], "rows": [[1]], "constants": {}}, '"rows" differs', 0),
    ({"columns": [], "rows": [[]], "constants": {"a": {"x": 1, "y": 2}}},
     {"columns": [], "rows": [[]], "constants": {"a": {"y": 2, "x": 1}}}, '"constants" differs', 0),
    ({"columns": ["a", "b"], "rows": [], "constants": {}},
     {"columns": ["b", "a"], "rows": [], "constants": {}}, '"columns" differs', 0),
    ({"rows": [], "columns": [], "constants": {}},
     {"columns": [], "rows": [], "constants": {}},
     "members are not columns, rows, constants in that order", 0),
])
def test_structure_check_tells_documents_apart(mine, theirs, difference, floats):
    encode = json.dumps
    assert bench.structure_difference(encode(mine), encode(theirs)) == (difference, floats)


def tiny_run():
    """A run of the whole benchmark on 3 KB payloads with a round or two of each part: the
    candidates' names, the chart's rows, whether every structure check passed, and the report."""
    settings = bench.Settings(
        sizes=(("3KB", 3000),), min_rounds=1, budget=0.0, batch=0.0005, fixed_calls=200,
        fixed_rounds=2, thread_bytes=20_000, thread_calls=1, thread_rounds=1,
        memory_bytes=20_000)
    lines = []
    names, chart_rows, all_same = bench.run(settings, write=lines.append)
    return names, chart_rows, all_same, "\n".join(lines)


@needs_peers
def test_a_tiny_run_reports_every_shape_and_section():
    names, chart_rows, all_same, report = tiny_run()
    assert all_same, report
    assert names[0] == "vantor_codec" and "json" in names
    for label, _, _, _ in bench.SHAPES.values():
        assert f"| {label} | 3KB |" in report
        assert any(line.startswith(f"| {label} |") and "| same |" in line
                   for line in report.splitlines())
    for heading in ("## Throughput", "## Same document", "## Fixed cost", "## Two threads",
                    "## Share of a call holding the interpreter lock (ESTIMATE",
                    "## Peak extra resident memory"):
        assert heading in report
    payload = bench.make_payload("numbers", 20_000)
    output = bench.vantor_codec.columnarize(payload)
    assert f"| number rows | {len(payload):,} | {len(output):,} |" in report
    assert len(chart_rows) == len(bench.SHAPES)
    assert all(rate > 0 for _, rates in chart_rows for rate in rates.values())


def test_without_the_peers_file_the_module_alone_is_measured(tmp_path, monkeypatch):
    monkeypatch.setattr(bench, "PEERS_FILE", tmp_path / "python_peers.py")
    names, chart_rows, all_same, report = tiny_run()
    assert names == ["vantor_codec"] and all_same
    assert f"plain-Python peers: none ({tmp_path / 'python_peers.py'} is missing)" in report
    for label, _, _, _ in bench.SHAPES.values():
        assert any(line.startswith(f"| {label} | 3KB |") and "| none | nan |" in line
                   for line in report.splitlines()), report
    assert "## Two threads" in report and "## Peak extra resident memory" in report
