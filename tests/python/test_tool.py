"""The command-line tool on the shipped sample, and the columnar result read back into rows."""

import json
import pathlib
import random
import subprocess
import sys

from conftest import MODULE_DIR, REPO


def rows_from_columnar(document):
    rows = []
    for values in document["rows"]:
        row = dict(document["constants"])
        row.update(zip(document["columns"], values))
        rows.append({name: value for name, value in row.items() if value is not None})
    return rows


def without_nulls(rows):
    return [{name: value for name, value in row.items() if value is not None} for row in rows]


def test_tool_prints_the_sample_columnarized():
    sample = REPO / "samples" / "rows.json"
    completed = subprocess.run(
        [sys.executable, str(REPO / "tools" / "columnarize_file.py"), str(sample)],
        env={"PYTHONPATH": MODULE_DIR, "PATH": "/usr/bin:/bin"},
        capture_output=True,
        timeout=60,
    )
    assert completed.returncode == 0, completed.stderr
    document = json.loads(completed.stdout)
    assert list(document) == ["columns", "rows", "constants"]
    assert document["constants"] == {"session": "sess-7f3a9c", "schema_version": 2}
    assert "error" not in document["columns"] and "parent_id" not in document["columns"]
    original = json.loads(sample.read_bytes())
    assert rows_from_columnar(document) == without_nulls(original)


def test_tool_reports_a_refused_payload(tmp_path):
    bad = tmp_path / "bad.json"
    bad.write_bytes(b'[{"a":1},2]')
    completed = subprocess.run(
        [sys.executable, str(REPO / "tools" / "columnarize_file.py"), str(bad)],
        env={"PYTHONPATH": MODULE_DIR, "PATH": "/usr/bin:/bin"},
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert completed.returncode == 1
    assert completed.stdout == ""
    assert "expected a JSON object row, got: 2" in completed.stderr


def random_value(rng, depth=0):
    kind = rng.randrange(7 if depth < 2 else 5)
    if kind == 5:
        return [random_value(rng, depth + 1) for _ in range(rng.randrange(3))]
    if kind == 6:
        return {rng.choice("pqr"): random_value(rng, depth + 1) for _ in range(rng.randrange(3))}
    return [
        None,
        rng.random() < 0.5,
        rng.randrange(-5, 5),
        rng.choice(["x", "y", "caf\u00e9", "\n"]),
        rng.choice([0.5, -2.25, 1e20]),
    ][kind]


def test_random_payloads_read_back_to_their_rows(codec):
    rng = random.Random(20261207)
    for _ in range(300):
        rows = [
            {rng.choice("abcdefg"): random_value(rng) for _ in range(rng.randrange(5))}
            for _ in range(rng.randrange(6))
        ]
        document = json.loads(codec.columnarize(json.dumps(rows).encode()))
        assert rows_from_columnar(document) == without_nulls(rows)
        seen = []
        for row in rows:
            seen += [name for name in row if name not in seen]
        assert document["columns"] == [name for name in seen if name in document["columns"]]
