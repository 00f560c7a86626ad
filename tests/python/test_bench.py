"""The Python benchmark's own parts: its payloads are the C++ benchmark's bytes, its structure
check tells documents apart, and one short run reports every shape and section, with Python
stand-ins for the C peers' library. The validating walk of that library is also loaded (the
benchmark build's, or compiled here) and held to what it must refuse and copy, and simdjson's UTF-8
validation and stage 1 there to what each must refuse and let through; this repository's
plain-Python peers are held to the module's bytes; the instruction split to a made-up
callgrind profile; and real_payloads.py's report on a made-up file, with peers that agree with the
module and peers that do not."""

import ctypes
import ctypes.util
import hashlib
import importlib.util
import json
import os
import pathlib
import shutil
import subprocess
import sys

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


TINY = bench.Settings(
    sizes=(("3KB", 3000),), min_rounds=1, budget=0.0, batch=0.0005, fixed_calls=200,
    fixed_rounds=2, thread_bytes=20_000, thread_calls=1, thread_rounds=1, memory_bytes=20_000,
    fault_calls=1, tail_bytes=20_000, tail_calls=3)


def tiny_run(c_peers_path=None, sections=bench.SECTIONS):
    """A run of the benchmark on 3 KB payloads with a round or two of each part: the
    candidates' names, the chart's rows, whether every structure check passed, and the report."""
    lines = []
    names, chart_rows, all_same = bench.run(TINY, write=lines.append, sections=sections,
                                            c_peers_path=c_peers_path)
    return names, chart_rows, all_same, "\n".join(lines)


def yyjson_stand_in(payload):
    """What the yyjson round trip returns: the length of the compact text, -1 for bad JSON."""
    try:
        return len(json.dumps(json.loads(payload), separators=(",", ":"), ensure_ascii=False)
                   .encode())
    except ValueError:
        return -1


def simdjson_stand_in(payload):
    try:
        json.loads(payload)
    except ValueError:
        return -1
    return 0


def validating_stand_in(payload):
    """What the validating walk returns, worked out from the payload's layout."""
    if simdjson_stand_in(payload) < 0:
        return -1
    return compact_walk_length(without_blanks(payload)[0])


def use_stand_in_c_peers(monkeypatch):
    """load_c_peers hands out the stand-ins, whatever path it is given."""
    peers = {"yyjson read+write": yyjson_stand_in, "simdjson parse": simdjson_stand_in,
             "simdjson validating walk": validating_stand_in}
    monkeypatch.setattr(bench, "load_c_peers", lambda path: (peers, {}, lambda payload: 0))
    return list(peers)


def table_rows(report, heading):
    """The header and the rows (lists of cells) of the table under the heading that starts with
    `heading`."""
    lines = report.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(heading))
    cells = []
    for line in lines[start + 1:]:
        if line.startswith("## "):
            break
        if line.startswith("| "):
            cells.append([cell.strip() for cell in line.strip("|").split("|")])
    return cells[0], cells[2:]


@needs_peers
def test_a_tiny_run_reports_every_shape_and_section(tmp_path):
    # The C peers' library is missing: the run goes on without its columns.
    names, chart_rows, all_same, report = tiny_run(tmp_path / "absent.so")
    assert all_same, report
    assert names[0] == "vantor_codec" and "json" in names
    assert f"C peers: none (cannot load {tmp_path / 'absent.so'}" in report
    assert "yyjson" not in report and "simdjson" not in report
    for label, _, _, _ in bench.SHAPES.values():
        assert f"| {label} | 3KB |" in report
        assert any(line.startswith(f"| {label} |") and "| same |" in line
                   for line in report.splitlines())
    for heading in ("## Throughput", "## Same document", "## Fixed cost", "## Two threads",
                    "## Share of a call holding the interpreter lock (ESTIMATE",
                    "## Peak extra resident memory"):
        assert heading in report
    header, rows = table_rows(report, "## Minor page faults per call")
    assert header == ["shape", "payload bytes", "vantor_codec faults", "per payload page",
                      "fastest peer", "peer faults", "per payload page"]
    throughput_header, throughput = table_rows(report, "## Throughput")
    column = throughput_header.index("fastest peer")
    fastest = {(row[0], row[1]): row[column] for row in throughput}
    assert [row[0] for row in rows] == [label for label, _, _, _ in bench.SHAPES.values()]
    for row in rows:
        assert row[4] == fastest[(row[0], "3KB")] and float(row[2]) >= 0 and float(row[5]) >= 0
    header, rows = table_rows(report, "## Tail of single calls")
    assert header == ["shape", "payload bytes", "candidate", "median ms", "p90 ms",
                      "p90 ÷ median", "worst ms"]
    assert [(row[0], row[2] == "vantor_codec") for row in rows] == [
        (bench.SHAPES[shape][0], mine) for shape in bench.TAIL_SHAPES for mine in (True, False)]
    for row in rows:
        median, p90, ratio, worst = (float(cell) for cell in row[3:])
        assert row[2] in names and 0 < median <= p90 <= worst and ratio >= 1, row
    payload = bench.make_payload("numbers", 20_000)
    output = bench.vantor_codec.columnarize(payload)
    assert f"| number rows | {len(payload):,} | {len(output):,} |" in report
    assert len(chart_rows) == len(bench.SHAPES)
    assert all(rate > 0 for row in chart_rows for rate in row.rates.values())
    # The shared peers are the yardstick; this repository's fastest stands beside it, and its
    # peers write the module's bytes on every shape but orjson's number rows. orjson is not
    # installed everywhere the tests run (the emulated aarch64 interpreter has json alone).
    have_orjson = importlib.util.find_spec("orjson") is not None
    assert set(names) >= {"json", "json (in repo)"} | (
        {"orjson (in repo)"} if have_orjson else set())
    shared = next(line for line in report.splitlines() if line.startswith("shared plain-Python"))
    assert "json" in shared and "(in repo)" not in shared
    repo_fastest = throughput_header.index("fastest in-repo peer")
    for row in throughput:
        assert not row[column].endswith(" (in repo)") and row[repo_fastest].endswith(" (in repo)")
        mine, theirs = float(row[3]), float(row[throughput_header.index(row[repo_fastest])])
        low, high = (mine - 0.05) / (theirs + 0.05), (mine + 0.05) / (theirs - 0.05)
        assert low - 0.005 <= float(row[repo_fastest + 1]) <= high + 0.005, row
    header, checks = table_rows(report, "## Same document")
    for check in checks:
        identical = check[header.index("byte for byte")].split(", ")
        assert "json (in repo)" in identical, check
        if have_orjson:
            assert ("orjson (in repo)" in identical) == (check[0] != "number rows"), check


def test_without_the_shared_peers_this_repositorys_are_the_yardstick(tmp_path, monkeypatch):
    monkeypatch.setattr(bench, "PEERS_FILE", tmp_path / "python_peers.py")
    names, chart_rows, all_same, report = tiny_run(sections=("throughput", "faults", "tail"))
    repo_peers = [name for name in names if name != "vantor_codec"]
    assert all_same and repo_peers and all(name.endswith(" (in repo)") for name in repo_peers)
    assert f"shared plain-Python peers: none ({tmp_path / 'python_peers.py'} is missing)" in report
    header, rows = table_rows(report, "## Throughput")
    assert "fastest in-repo peer" not in header
    assert all(row[header.index("fastest peer")] in repo_peers for row in rows)
    assert all(row.fastest in repo_peers for row in chart_rows)
    header, rows = table_rows(report, "## Minor page faults per call")
    assert all(row[4] in repo_peers for row in rows), report
    header, rows = table_rows(report, "## Tail of single calls")
    assert {row[2] for row in rows} - {"vantor_codec"} <= set(repo_peers), report


def test_without_any_peers_the_module_alone_is_measured(tmp_path, monkeypatch):
    monkeypatch.setattr(bench, "PEERS_FILE", tmp_path / "python_peers.py")
    monkeypatch.setattr(bench, "load_repo_peers", lambda: ({}, list(bench.PEER_LIBRARIES)))
    names, chart_rows, all_same, report = tiny_run()
    assert names == ["vantor_codec"] and all_same
    assert f"shared plain-Python peers: none ({tmp_path / 'python_peers.py'} is missing)" in report
    assert "C peers: none (no library given" in report
    for label, _, _, _ in bench.SHAPES.values():
        assert any(line.startswith(f"| {label} | 3KB |") and "| none | nan |" in line
                   for line in report.splitlines()), report
    assert "## Two threads" in report and "## Peak extra resident memory" in report
    header, rows = table_rows(report, "## Minor page faults per call")
    assert len(rows) == len(bench.SHAPES) and all(row[4:] == ["none", "n/a", "n/a"]
                                                  for row in rows), report
    header, rows = table_rows(report, "## Tail of single calls")
    assert [row[2] for row in rows] == ["vantor_codec"] * len(bench.TAIL_SHAPES), report
    assert "no plain-Python peer to alternate with" in report


def test_the_c_peers_have_columns_and_ratios_in_the_throughput_table(tmp_path, monkeypatch):
    monkeypatch.setattr(bench, "PEERS_FILE", tmp_path / "python_peers.py")
    c_names = use_stand_in_c_peers(monkeypatch)
    monkeypatch.setattr(bench, "load_repo_peers", lambda: ({}, list(bench.PEER_LIBRARIES)))
    names, chart_rows, all_same, report = tiny_run("stand-ins", sections=("throughput",))
    assert names == ["vantor_codec", *c_names] and all_same
    assert ("C peers: yyjson read+write, simdjson parse, simdjson validating walk (from stand-ins)"
            in report)
    assert "reference points, not alternatives" in report
    header, rows = table_rows(report, "## Throughput")
    assert header == ["shape", "size", "payload bytes", "vantor_codec", *c_names,
                      "fastest peer", "vantor ÷ fastest", "vantor ÷ yyjson read+write",
                      "vantor ÷ simdjson parse", "vantor ÷ simdjson validating walk", "rounds"]
    assert len(rows) == len(bench.SHAPES)
    for row in rows:
        mine, yyjson, simdjson, walk = (float(cell) for cell in row[3:7])
        # The ratios are the module's rate over each C peer's: within what the rates' rounding
        # to one decimal and the ratio's to two allow.
        for rate, ratio in ((yyjson, row[9]), (simdjson, row[10]), (walk, row[11])):
            low, high = (mine - 0.05) / (rate + 0.05), (mine + 0.05) / max(rate - 0.05, 1e-9)
            assert low - 0.005 <= float(ratio) <= high + 0.005, row
    for row in chart_rows:
        assert set(row.rates) == set(names) and all(rate > 0 for rate in row.rates.values())
    for heading in ("## Minor page faults", "## Tail", "## Fixed cost", "## Two threads",
                    "## Peak extra resident memory"):
        assert heading not in report


def test_a_c_peer_that_refuses_a_payload_stops_the_run(monkeypatch):
    peers = {"simdjson parse": lambda payload: -1}
    with pytest.raises(RuntimeError, match="simdjson parse refused the airports payload"):
        bench.measure_throughput({}, TINY, shapes=("airports",), c_peers=peers)


@pytest.mark.parametrize("library, reason", [
    (None, "no library given (--c-peers or VANTOR_BENCH_C_PEERS"),
    ("{tmp}/absent.so", "cannot load {tmp}/absent.so"),
    ("{tmp}/not_a_library.so", "cannot load {tmp}/not_a_library.so"),
    # A real shared library, but not the C peers': its functions are not there.
    (ctypes.util.find_library("m"), "undefined symbol: vantor_bench_nothing"),
])
def test_without_a_usable_library_every_c_peer_is_missing(tmp_path, library, reason):
    (tmp_path / "not_a_library.so").write_text("not a shared object\n")
    if library is not None:
        library = library.format(tmp=tmp_path)
    reason = reason.format(tmp=tmp_path)
    peers, missing, call = bench.load_c_peers(library)
    assert peers == {} and call is None
    assert set(missing) == set(bench.C_PEER_FUNCTIONS)
    assert all(reason in why for why in missing.values()), missing
    line = bench.c_peers_line(peers, missing, library)
    assert line.startswith("C peers: none (") and reason in line, line


@pytest.mark.parametrize("name, function, problem", [
    ("yyjson read+write", yyjson_stand_in, None),
    ("simdjson parse", simdjson_stand_in, None),
    # Swapped: each returns what the other should.
    ("yyjson read+write", simdjson_stand_in, "returned 0 and -1"),
    ("simdjson parse", yyjson_stand_in, f"returned {len(bench.C_PEER_PROBE)} and -1"),
    ("simdjson validating walk", validating_stand_in, None),
    ("simdjson validating walk", yyjson_stand_in, f"returned {len(bench.C_PEER_PROBE)} and -1"),
    # Accepts the payload cut short.
    ("simdjson parse", lambda payload: 0, "returned 0 and 0"),
    ("yyjson read+write", lambda payload: -1, "returned -1 and -1"),
])
def test_a_c_peer_is_believed_only_when_it_reads_the_probes_right(name, function, problem):
    found = bench.c_peer_problem(name, function)
    assert (found is None) if problem is None else (problem in found), found


@pytest.mark.parametrize("peers, missing, line", [
    ({"yyjson read+write": len, "simdjson parse": len}, {},
     "C peers: yyjson read+write, simdjson parse (from lib.so)"),
    ({"yyjson read+write": len}, {"simdjson parse": "not in lib.so"},
     "C peers: yyjson read+write (from lib.so); missing: simdjson parse: not in lib.so"),
    ({}, {"yyjson read+write": "cannot load lib.so", "simdjson parse": "cannot load lib.so"},
     "C peers: none (cannot load lib.so)"),
])
def test_the_c_peers_line_names_what_is_there_and_what_is_not(peers, missing, line):
    assert bench.c_peers_line(peers, missing, "lib.so") == line


@pytest.mark.parametrize("samples, fraction, expected", [
    ([7.0], 0.9, 7.0),
    ([1.0, 2.0], 0.9, 2.0),
    ([3.0, 1.0, 2.0], 0.5, 2.0),
    (list(range(1, 11)), 0.9, 9),
    (list(range(10, 0, -1)), 0.9, 9),
    (list(range(1, 21)), 0.9, 18),
    (list(range(1, 12)), 0.9, 10),
    (list(range(1, 11)), 1.0, 10),
])
def test_nearest_rank(samples, fraction, expected):
    assert bench.nearest_rank(samples, fraction) == expected


@pytest.mark.parametrize("seconds, expected", [
    ([1.0, 1.0, 1.0, 5.0], {"median": 1.0, "p90": 5.0, "ratio": 5.0, "worst": 5.0}),
    ([2.0, 4.0, 4.0, 4.0, 4.0, 4.0, 4.0, 4.0, 4.0, 8.0, 100.0],
     {"median": 4.0, "p90": 8.0, "ratio": 2.0, "worst": 100.0}),
    ([3.0], {"median": 3.0, "p90": 3.0, "ratio": 1.0, "worst": 3.0}),
])
def test_tail_figures(seconds, expected):
    assert bench.tail_figures(seconds) == expected


@needs_peers
def test_the_command_line_runs_the_sections_it_is_given(tmp_path, monkeypatch, capsys):
    monkeypatch.setattr(bench, "QUICK", TINY)
    monkeypatch.setattr(sys, "argv", ["bench.py", "--quick", "--sections", "tail,fixed",
                                      "--c-peers", str(tmp_path / "absent.so")])
    assert bench.main() == 0
    report = capsys.readouterr().out
    assert "## Tail of single calls" in report and "## Fixed cost" in report
    for heading in ("## Throughput", "## Minor page faults", "## Two threads", "## Peak extra"):
        assert heading not in report
    assert f"C peers: none (cannot load {tmp_path / 'absent.so'}" in report


@pytest.mark.parametrize("sections", ["bogus", "throughput,bogus", ","])
def test_the_command_line_refuses_unknown_sections(monkeypatch, sections):
    monkeypatch.setattr(sys, "argv", ["bench.py", "--quick", "--sections", sections])
    with pytest.raises(SystemExit) as stopped:
        bench.main()
    assert stopped.value.code == 2


# --- the simdjson validating walk, the real library --------------------------------------------

VALIDATING_SYMBOL = bench.C_PEER_FUNCTIONS["simdjson validating walk"]


@pytest.fixture(scope="module")
def c_peers_library(tmp_path_factory):
    """The C peers' library: the benchmark build's when there is one, else the library compiled
    here from bench/c_peers with simdjson alone (a few seconds)."""
    from conftest import EMULATOR, PATHS

    library = PATHS.get("VANTOR_BENCH_C_PEERS") or os.environ.get(bench.C_PEERS_VARIABLE)
    if not library or not pathlib.Path(library).is_file():
        if EMULATOR:
            pytest.skip("the C peers are compiled for the host, not for the emulated machine")
        if not any(pathlib.Path(folder, "simdjson.h").is_file()
                   for folder in ("/usr/include", "/usr/local/include")):
            pytest.skip("simdjson's headers are not installed (libsimdjson-dev)")
        library = tmp_path_factory.mktemp("c_peers") / "libvantor_bench_c_peers.so"
        source = REPO / "bench" / "c_peers" / "c_peers.cpp"
        subprocess.run([os.environ.get("CXX", "c++"), "-std=c++20", "-O1", "-shared", "-fPIC",
                        "-DVANTOR_HAVE_SIMDJSON=1", str(source), "-o", str(library),
                        "-lsimdjson"], check=True)
    return pathlib.Path(library)


@pytest.fixture(scope="module")
def validating_walk(c_peers_library):
    return bench.bound_c_function(ctypes.CDLL(str(c_peers_library)), VALIDATING_SYMBOL)


@pytest.mark.parametrize("with_baseline", [False, True])
def test_the_baseline_walk_comes_from_the_librarys_sibling(c_peers_library, tmp_path,
                                                           with_baseline):
    library = tmp_path / "libpeers.so"
    shutil.copyfile(c_peers_library, library)
    if with_baseline:
        shutil.copyfile(c_peers_library, tmp_path / "libpeers_baseline.so")
    peers, missing, call = bench.load_c_peers(library)
    assert call(b"[]") == 0
    assert {"simdjson parse", "simdjson validating walk"} <= set(peers)
    baseline = "simdjson validating walk (baseline)"
    if with_baseline:
        assert peers[baseline](b'[{"a":1},{"b":2}]') == len(b'1,2,"a","b",')
        assert bench.C_PEER_KERNELS[baseline] == bench.C_PEER_KERNELS["simdjson validating walk"]
        assert f"({bench.C_PEER_KERNELS[baseline]} kernel)" in bench.c_peer_meaning(baseline)
    else:
        assert baseline not in peers
        assert missing[baseline].startswith(f"cannot load {tmp_path / 'libpeers_baseline.so'}")


@pytest.mark.parametrize("payload", [
    b'[{"a":1,', b'[{"a":1}', b'[{"a":1}] x', b'[{"a":1}]]', b'[{"a":1},]', b'[{"a":1,}]',
    b'[{"a" 1}]', b'[{a:1}]', b'[{"a":tru}]', b'[{"a":nul}]', b'[{"a":falsey}]', b'[{"a":01}]',
    b'[{"a":1e}]', b'[{"a":-}]', b'[{"a":.5}]', b'[{"a":"\x01"}]', b'[{"a":"\xff"}]',
    b'[{"a":[1,}]', b'[{"a":{"b"}}]', b'[1]', b'[{"a":1},"row"]', b'{"a":1}', b'', b'   ',
    # What only reading every string, number and literal to its end finds: a bad escape in a
    # row's value or key or anywhere inside a nested value, a lone surrogate, a bad number or
    # literal inside a nested value.
    b'[{"a":"\\q"}]', b'[{"a":"\\u12"}]', b'[{"a":"\\ud800"}]', b'[{"a":"\\ud800\\u0041"}]',
    b'[{"\\q":1}]', b'[{"a":1},{"b\\x":2}]', b'[{"a":{"b":"\\q"}}]', b'[{"a":{"\\q":1}}]',
    b'[{"a":[1,"\\x"]}]', b'[{"a":[[{"b":["\\u00g0"]}]]}]', b'[{"a":{"b":01}}]',
    b'[{"a":[1e]}]', b'[{"a":[-]}]', b'[{"a":[tru]}]', b'[{"a":{"b":nul}}]', b'[{"a":[falsey]}]',
])
def test_the_validating_walk_refuses_what_is_not_rows_of_json(validating_walk, payload):
    assert validating_walk(payload) == -1


@pytest.mark.parametrize("payload, output", [
    (b'[]', b''),
    (b'[{}]', b''),
    (b'[{"a":1},{"b":2}]', b'1,2,"a","b",'),
    # A column is found again where it stands elsewhere in the row, and its name written once.
    (b'[{"a":1,"b":"x"},{"b":"y","a":22},{"c":null,"a":3}]',
     b'1,"x","y",22,null,3,"a","b","c",'),
    (b'[{"a":1,"a":2}]', b'1,2,"a",'),
    # No blanks are copied, after a value nor inside an object or array.
    (b' [ {"a" : 1 ,\n"b":\t"x" } , {"a":[ 1, 2 ]} ] ', b'1,"x",[1,2],"a","b",'),
    (b'[{"a":{ "b" :\n[ ] , "c" : { } ,"d":[ null ,"x y" ] } }]',
     b'{"b":[],"c":{},"d":[null,"x y"]},"a",'),
    # Values keep their escapes; a column is named by its key unescaped, so "\u0061" is "a".
    (b'[{"k\\u00e9":"v\\"\\n","b":{"c":[true,false,null]}}]',
     b'"v\\"\\n",{"c":[true,false,null]},"k\xc3\xa9","b",'),
    (b'[{"a":1,"\\u0061":2,"b":{"\\u0061":"\\ud83d\\ude00"}}]',
     b'1,2,{"\\u0061":"\\ud83d\\ude00"},"a","b",'),
    # An integer beyond 64 bits is valid JSON; its text is copied as it stands.
    (b'[{"n":123456789012345678901234567890,"f":-0.5e-300}]',
     b'123456789012345678901234567890,-0.5e-300,"n","f",'),
])
def test_the_validating_walk_copies_each_value_and_names_each_column_once(validating_walk, payload,
                                                                        output):
    assert validating_walk(payload) == len(output)


def compact_walk_length(payload):
    """The validating walk's output length for a compact payload whose keys need no escapes,
    worked out from its layout: the payload less its brackets, braces, commas and `"key":`
    texts is the values' text, each followed by a comma, then each distinct key in quotes and a
    comma."""
    rows = json.loads(payload, object_pairs_hook=lambda pairs: pairs)
    members = [key for row in rows for key, _ in row]
    assert all(json.dumps(key)[1:-1] == key for key in members)
    values = (len(payload) - 2 - (len(rows) - 1)
              - sum(2 + max(len(row) - 1, 0) for row in rows)
              - sum(len(key) + 3 for key in members))
    return values + len(members) + sum(len(key) + 3 for key in dict.fromkeys(members))


@pytest.mark.parametrize("shape", sorted(bench.SHAPES))
def test_the_validating_walk_copies_the_whole_of_each_benchmark_payload(validating_walk, shape):
    payload = bench.make_payload(shape, 20_000)
    assert validating_walk(payload) == compact_walk_length(without_blanks(payload)[0])


def without_blanks(payload):
    """The payload without the blanks outside its strings, and how many of those stood inside a
    member's value (an object or array inside a row)."""
    kept, inner, depth, in_string, escaped = bytearray(), 0, 0, False, False
    for byte in payload:
        if in_string:
            in_string = escaped or byte != ord('"')
            escaped = not escaped and byte == ord("\\")
        elif byte in b" \t\r\n":
            inner += depth >= 3
            continue
        elif byte in b"[{":
            depth += 1
        elif byte in b"]}":
            depth -= 1
        elif byte == ord('"'):
            in_string = True
        kept.append(byte)
    return bytes(kept), inner


@pytest.mark.parametrize("shape", ["nested_pretty", "nested_repeated_pretty"])
def test_the_validating_walk_writes_indented_rows_as_the_compact_ones(validating_walk, shape):
    payload = bench.make_payload(shape, 20_000)
    compact, inner = without_blanks(payload)
    assert inner > 0 and compact == bench.make_payload(shape.removesuffix("_pretty"),
                                                        len(compact) - 1)
    assert validating_walk(payload) == validating_walk(compact) == compact_walk_length(compact)


# --- simdjson's UTF-8 validation and stage 1, beside the UTF-8 check ----------------------------

# c_peers.h's vantor_bench_simdjson_padding, which the padding cases below hold to simdjson's.
SIMDJSON_PADDING = 64


@pytest.fixture(scope="module")
def simdjson_passes(c_peers_library):
    """simdjson's UTF-8 validation, its stage 1 (handed the payload followed by `padding` bytes)
    and the name of their kernel."""
    library = ctypes.CDLL(str(c_peers_library))
    validate = bench.bound_c_function(library, "vantor_bench_simdjson_validate_utf8")
    stage1 = library.vantor_bench_simdjson_stage1
    stage1.argtypes = (ctypes.c_char_p, ctypes.c_size_t, ctypes.c_size_t)
    stage1.restype = ctypes.c_longlong

    def indexed(payload, padding=SIMDJSON_PADDING):
        return stage1(payload + b"\0" * padding, len(payload), len(payload) + padding)

    kernel = library.vantor_bench_simdjson_active_kernel
    kernel.restype = ctypes.c_char_p
    return validate, indexed, kernel().decode()


@pytest.mark.parametrize("payload, well_formed, indexed", [
    (b'[{"a":"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"}]', True, True),
    # The grammar is stage 2's, which the stage-1 peer leaves out.
    (b'[{"a":1,}]', True, True),
    (b'[{"a" 1}]]', True, True),
    # Not UTF-8: a byte that starts nothing, a sequence cut short, an overlong form, a surrogate,
    # a code point above U+10FFFF, and a bad byte far past the first blocks.
    (b'["\xff"]', False, False),
    (b'["\xc3"]', False, False),
    (b'["\xc0\xaf"]', False, False),
    (b'["\xed\xa0\x80"]', False, False),
    (b'["\xf4\x90\x80\x80"]', False, False),
    pytest.param(b'[' + b'"x",' * 500 + b'"\xe2\x82"]', False, False,
                 id="cut short after 2,000 bytes"),
    # UTF-8, but no JSON tokens stage 1 accepts: a string left open, a control byte inside a
    # string, nothing but blanks.
    (b'["abc]', True, False),
    (b'["a\x01"]', True, False),
    (b' \n\t', True, False),
])
def test_simdjsons_passes_refuse_what_they_check(simdjson_passes, payload, well_formed, indexed):
    validate, stage1, _ = simdjson_passes
    assert validate(payload) == (0 if well_formed else -1)
    assert stage1(payload) == (0 if indexed else -1)


@pytest.mark.parametrize("padding, result", [(SIMDJSON_PADDING, 0), (SIMDJSON_PADDING - 1, -1),
                                             (0, -1)])
def test_the_stage1_peer_needs_simdjsons_padding(simdjson_passes, padding, result):
    assert simdjson_passes[1](b'[{"a":1}]', padding) == result


@pytest.mark.parametrize("shape", ["strings", "tool_call"])
def test_simdjsons_passes_take_the_utf8_checks_payloads(simdjson_passes, shape):
    validate, stage1, kernel = simdjson_passes
    payload = bench.make_payload(shape, 100_000)
    assert validate(payload) == 0 and stage1(payload) == 0
    assert kernel in {"fallback", "westmere", "haswell", "icelake", "arm64", "ppc64", "lsx",
                      "lasx"}


# --- this repository's plain-Python peers -----------------------------------------------------

_peers_spec = importlib.util.spec_from_file_location("vantor_python_peers", bench.REPO_PEERS_FILE)
python_peers = importlib.util.module_from_spec(_peers_spec)
_peers_spec.loader.exec_module(python_peers)
# The peers that read floats with the module's method, and so write its very bytes on any payload
# the module accepts (but for -0 and integers beyond 64 bits).
EXACT_PEERS = [name for name in ("json", "msgspec") if name in python_peers.PEERS]


@pytest.mark.parametrize("shape", sorted(bench.SHAPES))
@pytest.mark.parametrize("peer", sorted(python_peers.PEERS))
def test_the_repository_peers_write_the_modules_bytes_on_the_benchmark_shapes(shape, peer):
    payload = bench.make_payload(shape, 60_000)
    mine = bench.vantor_codec.columnarize(payload)
    theirs = python_peers.PEERS[peer](payload)
    if peer in EXACT_PEERS or shape != "numbers":
        assert theirs == mine
    else:
        # Floats read correctly rounded: the same document, some floats a unit or so apart.
        difference, floats = bench.structure_difference(mine, theirs)
        assert difference is None and floats > 0


@pytest.mark.parametrize("payload", [
    b'[]', b'[{}]', b'[{},{}]', b'[{"a":1}]', b'[{"a":null},{"a":null}]',
    # Constants: two rows at the least, every row holding the member, equal to the first row's.
    b'[{"v":1},{"v":1.0},{"v":1}]', b'[{"v":1},{"v":true}]', b'[{"v":true},{"v":1}]',
    b'[{"v":true},{"v":true}]', b'[{"v":0},{"v":-0.0}]', b'[{"v":"x"},{"v":"x"},{}]',
    b'[{"v":"x"},{"v":"x"},{"v":null}]', b'[{"v":null},{"v":1},{"v":1}]',
    b'[{"v":18446744073709551615},{"v":18446744073709551615}]',
    b'[{"v":9007199254740993},{"v":9007199254740992}]',
    b'[{"o":{"a":1,"b":[2,"x"]}},{"o":{"b":[2,"x"],"a":1}}]', b'[{"o":[1]},{"o":[1.0]}]',
    b'[{"o":{"a":true}},{"o":{"a":1}}]', b'[{"o":{"a":"s"}},{"o":{"a":"s","b":null}}]',
    b'[{"o":[]},{"o":[]},{"o":{}}]',
    # Columns in the order of first appearance; null-only members dropped; a repeated name keeps
    # its first place and last value.
    b'[{"b":1,"a":null},{"c":2,"a":null,"b":3}]', b'[{"a":1,"b":2,"a":3},{"b":4,"a":5}]',
    b'[{"k0":0},{"k1":1},{"k2":2},{"k3":3},{"k4":4},{"k0":5}]',
    b'[{"a":1,"b":2,"c":3},{"a":4,"c":6},{"b":8}]',
    # Strings and their escapes.
    b'[{"s":"\\u00e9\\n\\"\\\\\\/\\t\\u0001\\ud83d\\ude00"},{"s":"caf\xc3\xa9 \xf0\x9f\x99\x82"}]',
    # Float text and reading.
    b'[{"f":0.00001},{"f":1.5e-7},{"f":1e16},{"f":123.0},{"f":-0.5},{"f":1e22},{"f":5e-324}]',
    b'[{"f":1.7976931348623157e308},{"f":0.1e-5},{"f":12345678901234567890123.5},'
    b'{"f":0.000000000000000000000000012345678901234567890123},{"f":1E+2},{"f":1e-400}]',
    b'[{"f":2.9980100000000003e-18},{"f":3.1234e-24},{"f":9.99999e-21},{"f":4.5e21}]',
    b'[{"f":0e999},{"f":-1.25E-3}]',
    # Blanks everywhere.
    b' [ { "a" : [ 1 , { "b" : 2 } ] , "c" : "d" } , {"a":[1,{"b":2}], "c":"e"} ] ',
])
@pytest.mark.parametrize("peer", EXACT_PEERS)
def test_the_repository_peers_follow_the_modules_rules(peer, payload):
    assert python_peers.PEERS[peer](payload) == bench.vantor_codec.columnarize(payload)


def float_tokens(count):
    """Number tokens with a fraction or an exponent, of many lengths and magnitudes."""
    random = bench.Random(11)
    tokens = []
    for _ in range(count):
        digits = "".join(str(random.below(10)) for _ in range(1 + random.below(25)))
        point = random.below(len(digits) + 1)
        text = digits[:point] or "0"
        if point < len(digits):
            text = text.lstrip("0") or "0"
            text += "." + digits[point:]
        else:
            text = text.lstrip("0") or "0"
        if random.below(3) or "." not in text:
            text += f"e{random.below(700) - 350}"
        if abs(float(text)) < 1e300:  # beyond, the module refuses some as out of range
            tokens.append(("-" if random.below(2) else "") + text)
    return tokens


def test_the_module_reads_floats_as_the_peers_method_says():
    tokens = float_tokens(3000)
    payload = ("[" + ",".join(f'{{"x":{token},"i":{index}}}'
                              for index, token in enumerate(tokens)) + "]").encode()
    assert python_peers.columnarize_json(payload) == bench.vantor_codec.columnarize(payload)
    # Not every token reads as the correctly rounded value: the method is the module's own.
    assert any(python_peers.read_float(token) != float(token) for token in tokens)


@pytest.mark.parametrize("payload, message", [
    (b'{"a":1}', "invalid row-oriented JSON"), (b'[{"a":1},', "invalid row-oriented JSON"),
    (b'[{"a":1},2]', "expected a JSON object row, got: 2"),
    (b'[{"a":1},[true]]', "expected a JSON object row, got: [true]"),
])
@pytest.mark.parametrize("peer", sorted(python_peers.PEERS))
def test_the_repository_peers_refuse_what_the_module_refuses(peer, payload, message):
    with pytest.raises(RuntimeError, match=message.replace("[", "\\[")):
        bench.vantor_codec.columnarize(payload)
    with pytest.raises(RuntimeError, match=message.replace("[", "\\[")):
        python_peers.PEERS[peer](payload)


# --- the instruction split --------------------------------------------------------------------

_instructions_spec = importlib.util.spec_from_file_location(
    "vantor_instructions", REPO / "bench" / "python" / "instructions.py")
instructions = importlib.util.module_from_spec(_instructions_spec)
_instructions_spec.loader.exec_module(instructions)

SPLIT_SOURCES = {
    "src/tape/tape_reader.h": "",
    "src/text/utf8_check.cpp": "",
    "src/hashing/name_index.h": "",
    "src/tape/new_part.h": "",
    "src/transform/column_index.h": """class ColumnIndex {
  public:
    [[gnu::always_inline]] void member(const MemberName& name) {
        std::string_view text = name.text;
    }
    void choose_columns() {
        column.fate = column_rules::column_fate(rows_, column.rows_holding);
    }
    std::uint32_t rows() const {
        return rows_;
    }
};
""",
}

# callgrind's output (uncompressed names and positions): a reader function with code inlined
# from headers of several phases, a call out of the project and one within it, and functions
# outside the project.
SPLIT_PROFILE = """# callgrind format
events: Ir
summary: 2000
ob=/work/clone/build/transform_profile
fl=/work/clone/build/profile/src/tape/tape_reader.h
fn=bool vantor::tape::walk_tokens<vantor::tape::TapeBuilder<false>, vantor::transform::ColumnIndex>(x)
10 100
fi=/usr/include/c++/16/bits/stl_vector.h
30 40
fi=src/text/utf8_check.cpp
20 50
fi=/usr/include/c++/16/bits/stl_algo.h
40 9
fe=../../src/transform/column_index.h
4 30
7 20
cfi=/usr/lib/memcpy.S
cfn=__memcpy_avx_unaligned_erms
calls=3 1
7 60
cfn=vantor::json::write_string(y)
calls=1 5
7 500
fe=/work/clone/src/hashing/name_index.h
9 7
fl=/usr/lib/memcpy.S
fn=__memcpy_avx_unaligned_erms
1 60
fl=???
fn=vantor::columnarize_fast(z)
0 5
cfn=std::vector<unsigned int>::_M_realloc_append(w)
calls=1 8
0 11
fl=/usr/include/c++/16/bits/vector.tcc
fn=std::vector<unsigned int>::_M_realloc_append(w)
8 11
totals: 2000
"""


@pytest.fixture
def split_clone(tmp_path):
    for name, text in SPLIT_SOURCES.items():
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text(text)
    return tmp_path


def test_the_split_places_each_instruction_by_its_source(split_clone):
    phases, total = instructions.split_profile(SPLIT_PROFILE.splitlines(),
                                               instructions.Classifier(split_clone))
    assert total == 2000
    assert phases == {
        # A line of the reader, and the C++ library's code inlined after it; likewise for the
        # UTF-8 check.
        "walking": 100 + 40,
        "classifying": 50 + 9,
        # The row observer's line and the name index, wherever they were inlined.
        "discovery": 30 + 7,
        # A line of choose_columns, and the memcpy it calls; the call to the project's own
        # write_string is not counted here, as that function's lines count themselves.
        "constants": 20 + 60,
        # A project function from a file the build did not name, and the library function it
        # calls, with no line of a known phase before them.
        "other": 5 + 11,
    }


@pytest.mark.parametrize("file, line, phase", [
    ("/abs/clone/src/tape/tape_reader.h", 1, "walking"),
    ("build/profile/src/text/utf8_check.cpp", 1, "classifying"),
    ("src/hashing/name_index.h", 1, "discovery"),
    ("src/transform/column_index.h", 3, "discovery"),
    ("src/transform/column_index.h", 5, "discovery"),
    ("src/transform/column_index.h", 6, "constants"),
    ("src/transform/column_index.h", 9, "other"),
    ("src/transform/column_index.h", 1, "other"),
    # A file of the project that no rule names; a file of that name outside the clone.
    ("build/profile/src/tape/new_part.h", 1, "other"),
    ("/usr/src/linux/src/missing.h", 1, None),
    ("/usr/include/c++/16/bits/stl_vector.h", 1, None),
])
def test_the_split_knows_the_project_files_and_methods(split_clone, file, line, phase):
    assert instructions.Classifier(split_clone).file_phase(file, line) == phase


# --- real_payloads.py: the same candidates on JSON files ---------------------------------------

_spec = importlib.util.spec_from_file_location(
    "vantor_real_payloads", REPO / "bench" / "python" / "real_payloads.py")
real_payloads = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(real_payloads)


def made_up_rows():
    """Rows with what real files have: a constant, a sparse member, nulls, floats, escapes and
    non-ASCII text, nested objects and arrays."""
    return [{"id": 1000 + i, "kind": "city", "name": f"Zürich \"{i}\"\n", "ratio": i / 7,
             "big": -(3 ** 39) if i % 5 == 0 else i,
             **({"note": None} if i % 3 else {"extra": [i, {"deep": True}]}),
             "meta": {"lang": ["de", "fr"][i % 2], "tags": ["a", "b"][: i % 3]}}
            for i in range(25)]


def columnar_rows(result):
    """The rows that a columnar result stands for, members that were null left out."""
    document = json.loads(result)
    return [{**document["constants"],
             **{name: value for name, value in zip(document["columns"], values)
                if value is not None}}
            for values in document["rows"]]


def drop_last_row(result):
    document = json.loads(result)
    document["rows"].pop()
    return json.dumps(document, separators=(",", ":")).encode()


def move_a_float(result):
    assert b"0.14285714285714285" in result
    return result.replace(b"0.14285714285714285", b"0.1428571428571", 1)


@pytest.mark.parametrize("peer_change, same", [
    (None, True),
    (drop_last_row, False),
    (move_a_float, False),
])
def test_real_payloads_reports_each_file_and_checks_it_against_the_fastest_peer(
        tmp_path, monkeypatch, peer_change, same):
    rows = made_up_rows()
    payload = json.dumps(rows, indent=1, ensure_ascii=False).encode()
    (tmp_path / "made-up.json").write_bytes(payload)
    (tmp_path / "not-rows.json").write_bytes(b'{"rows": [1, 2]}')
    used = real_payloads.bench_module()
    if peer_change:
        # Every peer now writes a result that is not the module's document.
        for loader in ("load_peers", "load_repo_peers"):
            def changed(*args, loader=getattr(used, loader)):
                *before, peers, missing = loader(*args)
                return (*before, {name: lambda payload, function=function:
                                  peer_change(function(payload))
                                  for name, function in peers.items()}, missing)
            monkeypatch.setattr(used, loader, changed)
    lines = []
    found, checks, all_same = real_payloads.measure(
        real_payloads.json_files([tmp_path]), TINY, lines.append, tmp_path / "absent.so")
    report = "\n".join(lines)
    assert all_same == same, report
    assert [(row["file"], row["set"], row["bytes"], row["rows"]) for row in found] == [
        ("made-up.json", "other", len(payload), len(rows))], report
    rates = found[0]["rates"]
    assert {"vantor_codec", "json (in repo)"} <= set(rates) and min(rates.values()) > 0
    # The fastest of the yardstick: the shared peers when there are any, else this repository's.
    fastest = found[0]["fastest"]
    yardstick = [name for name in rates if name != "vantor_codec"
                 and name.endswith(" (in repo)") == fastest.endswith(" (in repo)")]
    assert rates[fastest] == max(rates[name] for name in yardstick)
    assert found[0]["ratio"] == pytest.approx(rates["vantor_codec"] / rates[fastest])
    header, table = table_rows(report, "## Throughput on real files")
    assert [row[:4] for row in table] == [["made-up.json", "other", f"{len(payload):,}", "25"]]
    assert table[0][header.index("fastest peer")] == found[0]["fastest"]
    assert f"C peers: none (cannot load {tmp_path / 'absent.so'}" in report
    assert [(check["file"], check["against"]) for check in checks] == [
        ("made-up.json", found[0]["fastest"])]
    header, table = table_rows(report, "## Same document as the fastest peer")
    assert table[0][header.index("result")] == (
        "same" if same else "DIFFERENT: " + checks[0]["difference"]), report
    assert f"skipped {tmp_path / 'not-rows.json'}: " in report
    # Whatever the peers say, the module's result stands for the file's rows.
    assert columnar_rows(used.vantor_codec.columnarize(payload)) == [
        {key: value for key, value in row.items() if value is not None} for row in rows]


def test_real_payloads_sets_the_c_peers_beside_the_module(tmp_path, c_peers_library):
    payload = json.dumps(made_up_rows()).encode()
    (tmp_path / "made-up.json").write_bytes(payload)
    lines = []
    found, _, all_same = real_payloads.measure([tmp_path / "made-up.json"], TINY, lines.append,
                                               c_peers_library)
    report = "\n".join(lines)
    header, table = table_rows(report, "## Throughput on real files")
    assert all_same and len(table) == 1, report
    for name in ("simdjson parse", "simdjson validating walk"):
        rate = found[0]["rates"][name]
        ratio = float(table[0][header.index(f"vantor ÷ {name}")])
        assert rate > 0 and ratio == pytest.approx(found[0]["rates"]["vantor_codec"] / rate,
                                                   abs=0.006), report


# --- fresh_state.py: each candidate in fresh processes, on slices of real files -----------------

_spec = importlib.util.spec_from_file_location(
    "vantor_fresh_state", REPO / "bench" / "python" / "fresh_state.py")
fresh_state = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(fresh_state)


def rows_of_lengths(*lengths):
    """Rows whose compact text is each of `lengths` bytes long (at least 8)."""
    return [{"k": "x" * (length - 8)} for length in lengths]


@pytest.mark.parametrize("lengths, sizes, counts", [
    # "[" + rows and commas + "]": 10 rows of 100 bytes make 1,011 bytes.
    ((100,) * 10, (("1KB", 1011),), {"1KB": 10}),
    # Rows that fall short of a size stand for it whole while they reach half of it.
    ((100,) * 10, (("1KB", 1012), ("2KB", 2022), ("2KB+", 2023)), {"1KB": 10, "2KB": 10}),
    ((100,) * 10, (("a", 50), ("b", 102), ("c", 103)), {"a": 1, "b": 1, "c": 2}),
    # The first row alone overshoots three times: no slice of that size, but of larger ones.
    ((400, 10, 10), (("100B", 100), ("150B", 150)), {"150B": 1}),
    ((400, 10, 10), (("133B", 133), ("134B", 134)), {"134B": 1}),
    ((), (("1KB", 1024),), {}),
])
def test_real_files_are_cut_into_their_first_rows_written_compact(lengths, sizes, counts):
    rows = rows_of_lengths(*lengths)
    assert [len(fresh_state.compact(row)) for row in rows] == list(lengths)
    slices = fresh_state.first_rows_slices(rows, sizes)
    assert {label: len(json.loads(text)) for label, text in slices.items()} == counts
    targets = dict(sizes)
    for label, text in slices.items():
        count = counts[label]
        assert text == json.dumps(rows[:count], separators=(",", ":")).encode()
        # The fewest rows that reach the size, or all of them.
        assert len(text) >= targets[label] or count == len(rows)
        assert targets[label] > len(fresh_state.compact(rows[:count - 1]))


def test_a_slice_is_written_compact_whatever_the_files_layout(tmp_path):
    rows = [{"name": "Zürich", "n": 1.5, "t": [1, {"a": None}]}, {"name": "Ελλάδα", "n": 2}] * 30
    (tmp_path / "cities.json").write_text(json.dumps(rows, indent=3, ensure_ascii=True))
    (tmp_path / "object.json").write_text('{"rows": []}')
    (tmp_path / "broken.json").write_text('[{"a":')
    payloads, skipped = fresh_state.real_payloads(tmp_path, (("1KB", 1024),))
    assert [(payload.name, payload.kind, payload.size) for payload in payloads] == [
        ("cities", "real", "1KB")]
    text = payloads[0].text
    assert b"\n" not in text and "Zürich".encode() in text and b'{"a":null}' in text
    assert payloads[0].compact_bytes == len(text)
    assert [line.split(":")[0] for line in skipped] == ["broken.json", "object.json"]


STRACE_SUMMARY = """\
% time     seconds  usecs/call     calls    errors syscall
------ ----------- ----------- --------- --------- ----------------
 73.22    0.010301          10       946           mmap
 13.31    0.001872          12       148           mprotect
  8.71    0.001225           8       138         2 brk
  4.76    0.000670          14        47           munmap
------ ----------- ----------- --------- --------- ----------------
100.00    0.014068          10      1279         2 total
"""


def test_the_strace_summary_is_read_call_by_call():
    assert fresh_state.parse_strace_summary(STRACE_SUMMARY) == {
        "mmap": 946, "mprotect": 148, "brk": 138, "munmap": 47}
    assert fresh_state.parse_strace_summary("") == {}


@pytest.mark.parametrize("module_python, module_path, candidate, state, tunables, path", [
    (None, None, "vantor_codec", "fresh", None, "own"),
    (None, None, "vantor_codec", "warm", fresh_state.WARM_TUNABLES, "own"),
    (None, None, "yyjson read+write", "fresh", None, "own"),
    (None, None, "fastest plain-Python peer", "warm", fresh_state.WARM_TUNABLES, "own"),
    # A venv's interpreter finds its own module: nothing of this process's path comes first.
    ("/venv/bin/python", None, "vantor_codec", "fresh", None, None),
    ("/venv/bin/python", None, "fastest plain-Python peer", "fresh", None, "own"),
    ("/venv/bin/python", "/wheel", "vantor_codec", "fresh", None, "/wheel"),
    (None, "/wheel", "vantor_codec", "warm", fresh_state.WARM_TUNABLES, "/wheel:own"),
])
def test_each_childs_allocator_settings_and_module(monkeypatch, module_python, module_path,
                                                   candidate, state, tunables, path):
    monkeypatch.setenv("GLIBC_TUNABLES", "glibc.malloc.trim_threshold=1")
    monkeypatch.delenv("PYTHONPATH", raising=False)
    children = fresh_state.make_children(module_python, module_path, "peers.so")
    environment = children.env(candidate, state)
    assert environment.get("GLIBC_TUNABLES") == tunables
    own = str(pathlib.Path(bench.vantor_codec.__file__).resolve().parent)
    expected = None if path is None else path.replace("own", own).replace(":", os.pathsep)
    assert environment.get("PYTHONPATH") == expected
    payload = fresh_state.Payload("p", "real", "1KB", b"[]", 2, pathlib.Path("/p.json"))
    command = children.command("time", candidate, None, payload, 0.1)
    python = module_python if module_python and candidate == "vantor_codec" else sys.executable
    assert command[0] == python and command[3:5] == ["time", candidate]


def test_a_quick_run_times_every_candidate_in_its_own_processes(tmp_path, monkeypatch, capsys):
    rows = made_up_rows() * 4
    (tmp_path / "made-up.json").write_bytes(json.dumps(rows, indent=2).encode())
    monkeypatch.setattr(fresh_state, "QUICK", fresh_state.Settings(
        sizes=(("1KB", 1 << 10), ("3KB", 3 << 10)), runs=1, seconds=0.001, counted_calls=2,
        pick_budget=0.001))
    from conftest import MODULE_DIR

    assert fresh_state.main(["--quick", "--real", str(tmp_path), "--shapes", "sparse",
                             "--module-path", MODULE_DIR, "--c-peers", ""]) == 0
    report = capsys.readouterr().out
    assert f"loaded {pathlib.Path(MODULE_DIR).resolve() / 'vantor_codec.'}" in report, report
    header, table = table_rows(report, "## Every payload")
    assert header[:5] == ["payload", "kind", "payload bytes", "rows", "output ÷ compact payload"]
    assert [row[:2] for row in table] == [["made-up 1KB", "real"], ["made-up 3KB", "real"],
                                          ["sparse rows 1KB", "synthetic"],
                                          ["sparse rows 3KB", "synthetic"]]
    for row in table:
        cells = dict(zip(header, row))
        # Every result reads back as the fastest peer's document.
        assert cells["same document"] == "same", row
        assert float(cells["vantor_codec MB/s fresh"]) > 0
        assert float(cells["vantor_codec MB/s warm"]) > 0
        assert cells["fastest peer"] in bench.load_peers(bench.PEERS_FILE)[1] or \
            cells["fastest peer"].endswith(bench.REPO_PEER_SUFFIX)
        # No C peers' library: yyjson's columns say so.
        assert cells["yyjson MB/s fresh"] == "n/a" and cells["÷ yyjson fresh"] == "n/a"
        faults = cells["faults per call fresh (vantor / yyjson / peer)"].split(" / ")
        assert faults[1] == "n/a" and float(faults[0]) >= 0 and float(faults[2]) >= 0
        calls = cells["memory calls per call fresh (vantor / yyjson / peer)"].split(" / ")
        assert (calls[0] == "n/a") == (shutil.which("strace") is None), row
    # The slices' sizes and the result's size over the payload's.
    for row, size in zip(table[:2], (1 << 10, 3 << 10)):
        payload = fresh_state.first_rows_slices(rows, (("s", size),))["s"]
        output = bench.vantor_codec.columnarize(payload)
        assert row[2:5] == [f"{len(payload):,}", f"{len(json.loads(output)['rows']):,}",
                            f"{len(output) / len(payload):.2f}"]
    header, table = table_rows(report, "## The README's table")
    assert header == ["payload", "1 KB", "3 KB", "÷ fastest plain Python", "result ÷ payload"]
    assert [row[:3] for row in table] == [["made-up", "–", "–"]]
    assert "\ncolumnarize ran at " in report


def made_up_record(name, kind, size, text_bytes, output_bytes, rates, faults=0.0, calls=None):
    """A measurement as fresh_state.measure records it; rates: {(state, candidate): MB/s}."""
    states = {state: {} for state in fresh_state.STATES}
    for (state, candidate), rate in rates.items():
        states[state][candidate] = {"rate": rate, "faults": faults, "calls": 10}
        if calls is not None:
            states[state][candidate]["memory_calls"] = calls
    payload = fresh_state.Payload(name, kind, size, b"x" * text_bytes, text_bytes)
    return {"payload": payload, "peer": "orjson", "difference": None, "floats": 0,
            "output_bytes": output_bytes, "module_file": None, "rows": 1, "states": states}


def rates(module_fresh, module_warm, yyjson_fresh, yyjson_warm, peer_fresh):
    return {("fresh", "vantor_codec"): module_fresh, ("warm", "vantor_codec"): module_warm,
            ("fresh", "yyjson read+write"): yyjson_fresh,
            ("warm", "yyjson read+write"): yyjson_warm,
            ("fresh", "fastest plain-Python peer"): peer_fresh,
            ("warm", "fastest plain-Python peer"): peer_fresh}


def test_the_readme_table_has_a_row_per_real_file_and_a_column_per_size():
    records = [
        made_up_record("hooks", "real", "10KB", 10_000, 12_500, rates(400, 600, 500, 400, 100)),
        made_up_record("hooks", "real", "1MB", 1_000_000, 1_500_000, rates(300, 300, 200, 300, 20),
                       calls={"brk": 2.0, "munmap": 1.0, "futex": 5.0}),
        made_up_record("cities", "real", "1KB", 1_000, 500, rates(100, 100, 100, 100, 10)),
        made_up_record("tool-call rows", "synthetic", "1KB", 1_000, 500, rates(1, 1, 1, 1, 1)),
    ]
    header, rows = fresh_state.readme_table(records)
    assert header == ["payload", "1 KB", "10 KB", "100 KB", "1 MB", "÷ fastest plain Python",
                      "result ÷ payload"]
    assert rows == [["hooks", "–", "0.80 (1.50)", "–", "1.50 (1.00)", "4.0–15.0", "1.25–1.50"],
                    ["cities", "1.00 (1.00)", "–", "–", "–", "10.0", "0.50"]]
    # The memory system calls count brk, mmap, munmap, mremap, madvise and mprotect alone.
    assert fresh_state.memory_total(records[1], "fresh", "vantor_codec") == 3.0
    assert fresh_state.memory_total(records[0], "fresh", "vantor_codec") is None
    summary = fresh_state.readme_summary(records)
    assert summary[0] == ("columnarize ran at 100–400 MB/s of payload fresh and 100–600 MB/s warm "
                          "(yyjson read+write: 100–500 fresh, 100–400 warm).")
    # Faults and memory calls of the slices from 100 KB up: hooks at 1 MB alone.
    assert summary[1].startswith("fresh, on the slices of 100 KB and more, per call: page "
                                 "faults 0.0 ")
    assert "memory system calls n/a–3.0" not in summary[1] and "calls 3.0 " in summary[1]
    assert fresh_state.readme_summary(records[3:]) == []


@pytest.mark.skipif(importlib.util.find_spec("matplotlib") is None,
                    reason="the chart needs matplotlib, which this interpreter lacks")
def test_saved_measurements_make_the_same_report_again(tmp_path, capsys):
    records = [
        made_up_record("hooks", "real", "10KB", 10_000, 12_500, rates(400, 600, 500, 400, 100),
                       calls={"mmap": 1.0}),
        made_up_record("sparse rows", "synthetic", "1KB", 1_000, 500, rates(1, 2, 3, 4, 5)),
    ]
    saved = tmp_path / "run.json"
    fresh_state.save_records(saved, records)
    assert fresh_state.main(["--load", str(saved), "--chart", str(tmp_path / "chart.png")]) == 0
    report = capsys.readouterr().out
    header, rows = table_rows(report, "## Every payload")
    assert rows == fresh_state.full_table(records)[1]
    assert [row[0] for row in rows] == ["hooks 10KB", "sparse rows 1KB"]
    header, rows = table_rows(report, "## The README's table")
    assert (header, rows) == fresh_state.readme_table(records, (("10KB", 0),))
    assert (tmp_path / "chart.png").read_bytes().startswith(b"\x89PNG")


# --- compare_modules.py: two builds of the module in one process --------------------------------

_spec = importlib.util.spec_from_file_location(
    "vantor_compare_modules", REPO / "bench" / "python" / "compare_modules.py")
compare_modules = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(compare_modules)


def test_two_builds_of_the_module_are_loaded_apart_and_timed_in_turn(tmp_path, monkeypatch,
                                                                     capsys):
    shipped = pathlib.Path(bench.vantor_codec.__file__)
    copy = tmp_path / shipped.name
    shutil.copyfile(shipped, copy)
    loaded = compare_modules.load_module_file(copy)
    assert loaded is not bench.vantor_codec and loaded.__file__ == str(copy)
    assert loaded.columnarize(b'[{"a":1}]') == bench.vantor_codec.columnarize(b'[{"a":1}]')
    monkeypatch.setattr(bench, "QUICK", TINY)
    assert compare_modules.main(["--quick", "--repeat", "2", "--shapes", "airports,sparse",
                                 "--sizes", "1KB", str(shipped), str(copy)]) == 0
    header, rows = table_rows(capsys.readouterr().out, "candidate ")
    assert header == ["payload", "run 1", "run 2", "min", "median"]
    assert [row[0] for row in rows] == ["airport rows 1KB", "sparse rows 1KB"]
    for row in rows:
        runs = [float(cell) for cell in row[1:3]]
        assert all(ratio > 0 for ratio in runs) and float(row[3]) == min(runs), row


@pytest.mark.parametrize("arguments", [["--shapes", "bogus"], ["--sizes", "10MB"]])
def test_compare_modules_refuses_unknown_shapes_and_sizes(arguments):
    with pytest.raises(SystemExit) as stopped:
        compare_modules.main([*arguments, "a.so", "b.so"])
    assert stopped.value.code == 2
