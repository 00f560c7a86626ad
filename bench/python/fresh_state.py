"""columnarize as a caller sees it: API payloads of 1 KB to 1 MB, each candidate in a process of
its own that starts with the C library's default allocator settings.

bench.py runs every candidate for minutes in one process, after 10 MB payloads have raised
glibc's malloc thresholds (glibc raises its mmap threshold to the size of each mmapped block a
program frees, and the trim threshold with it). A program that calls columnarize on tool results
of a few kilobytes is in another state, and a call there may grow and trim the heap, or map and
unmap its blocks, every time. So here each (candidate, payload) pair runs in a fresh child
process per run, which calls the candidate on one payload again and again for a fixed time after
one warm-up call; the runs take the candidates in turn, and the median of the runs is reported.
Each payload is measured in two states:

- fresh: the C library's default allocator settings (GLIBC_TUNABLES removed from the child's
  environment), as in a user's process;
- warm: GLIBC_TUNABLES=glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=67108864,
  the thresholds fixed where a long-running process that has seen large payloads has them.

The candidates: the module; yyjson read+write, bench.py's C reference point (bench/c_peers,
through ctypes); and the fastest of bench.py's plain-Python peers (orjson, msgspec, json, ujson),
picked per payload in a fresh process of its own. Per call the children also report minor page
faults (ru_minflt of getrusage around the timed calls), and a separate counting run under
`strace -f -c -e trace=memory` counts the memory system calls (brk, mmap, munmap, mremap,
madvise, mprotect): the count of a child that makes the warm-up call and K more, less that of
one that makes the warm-up call alone, over K.

The payloads: the public row files of real_payloads.py cut into their first N rows, the smallest
N whose compact text (json.dumps with separators=(",", ":") and ensure_ascii=False) reaches about
1 KB, 10 KB, 100 KB and 1 MB (a size the file does not reach, or overshoots three times with its
first rows, is left out), and bench.py's synthetic shapes at the same sizes. For each payload the
report also gives the result's size over the compact payload's: what a call saves, or costs.

    python3.14 bench/python/fresh_state.py [--quick] [--real FOLDER] [--shapes LIST]
        [--module-python PYTHON] [--module-path DIR] [--chart PATH] [--c-peers LIBRARY]
        [--save JSON | --load JSON]

or `./dev bench --fresh [ARGS]`. --real names the folder of real_payloads.py's files (default:
realdata beside the clone, where `python3 bench/python/real_payloads.py --fetch` puts them when
given that folder). The module under test is the one the benchmark imports unless
--module-python names another interpreter (a venv where the wheel is installed; PYTHONPATH is
then cleared for the module's children) or --module-path a folder to put first on its path.
--quick is a smoke test: two sizes, two runs, short loops, fewer calls counted. --save keeps the
measurements as JSON; --load reports (and charts) saved ones without measuring.
"""

import argparse
import dataclasses
import json
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
DEFAULT_REAL_FOLDER = HERE.parents[2] / "realdata"

SIZES = (("1KB", 1 << 10), ("10KB", 10 << 10), ("100KB", 100 << 10), ("1MB", 1 << 20))
# A slice whose first rows alone exceed its size this many times over is not of that size; a
# file that falls short of a size but reaches this share of it stands for that size whole.
MAX_OVERSHOOT = 3.0
MIN_WHOLE_SHARE = 0.5
# The README's sentences on faults and memory calls take the slices from this size up, where a
# call's blocks reach glibc's default mmap and trim thresholds (128 KiB).
LARGE_SLICE = 100_000

WARM_TUNABLES = "glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=67108864"
STATES = {"fresh": None, "warm": WARM_TUNABLES}

MODULE, YYJSON, PEER = "vantor_codec", "yyjson read+write", "fastest plain-Python peer"
CANDIDATES = (MODULE, YYJSON, PEER)
MEMORY_CALLS = ("brk", "mmap", "munmap", "mremap", "madvise", "mprotect")


@dataclasses.dataclass(frozen=True)
class Settings:
    sizes: tuple  # (label, target bytes) pairs
    runs: int  # fresh processes per candidate, payload and state
    seconds: float  # of timed calls per run, after the warm-up call
    counted_calls: int  # calls of the counting run under strace
    pick_budget: float  # seconds per payload for picking the fastest plain-Python peer


FULL = Settings(sizes=SIZES, runs=7, seconds=0.2, counted_calls=100, pick_budget=0.3)
QUICK = Settings(sizes=SIZES[:2], runs=2, seconds=0.02, counted_calls=5, pick_budget=0.02)


def bench_module():
    """bench.py, imported on first use: a child that times the module needs neither it nor the
    peers, only vantor_codec."""
    if str(HERE) not in sys.path:
        sys.path.insert(0, str(HERE))
    import bench

    return bench


# --- payloads ---------------------------------------------------------------------------------


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False).encode()


def first_rows_slices(rows, sizes):
    """{size label: the compact text of the first N rows} for each (label, target) in `sizes`: N
    is the smallest count whose text reaches the target, or every row when all of them reach
    MIN_WHOLE_SHARE of it; a target that the rows fall shorter of, or that the first rows
    overshoot MAX_OVERSHOOT times, has no slice."""
    lengths = [len(compact(row)) for row in rows]
    slices = {}
    for label, target in sizes:
        total, count = 1, 0  # "[" and "]", with a comma between rows
        while count < len(lengths) and total + 1 < target:
            total += lengths[count] + (1 if count else 0)
            count += 1
        total += 1
        if count == 0 or total < MIN_WHOLE_SHARE * target or total > MAX_OVERSHOOT * target:
            continue
        slices[label] = compact(rows[:count])
    return slices


@dataclasses.dataclass
class Payload:
    name: str  # the file's name without .json, or the shape's label
    kind: str  # "real" or "synthetic"
    size: str  # the size label
    text: bytes
    compact_bytes: int  # the length of the payload written compact
    path: Path = None  # where the children read it
    length: int = None  # the payload's bytes, kept when a saved run is read back without them

    def __post_init__(self):
        if self.length is None:
            self.length = len(self.text)

    @property
    def label(self):
        return f"{self.name} {self.size}"


def real_payloads(folder, sizes):
    """The slices of every *.json file of `folder` whose document is an array of objects."""
    payloads, skipped = [], []
    for path in sorted(Path(folder).glob("*.json")):
        try:
            rows = json.loads(path.read_bytes())
        except ValueError as error:
            skipped.append(f"{path.name}: not JSON ({error})")
            continue
        if type(rows) is not list or not all(type(row) is dict for row in rows):
            skipped.append(f"{path.name}: not an array of objects")
            continue
        for label, text in first_rows_slices(rows, sizes).items():
            payloads.append(Payload(path.stem, "real", label, text, len(text)))
    return payloads, skipped


def synthetic_payloads(shapes, sizes):
    bench = bench_module()
    payloads = []
    for shape in shapes:
        for label, target in sizes:
            text = bench.make_payload(shape, target)
            payloads.append(Payload(bench.SHAPES[shape][0], "synthetic", label, text,
                                    len(compact(json.loads(text)))))
    return payloads


# --- the children -----------------------------------------------------------------------------


def load_candidate(candidate, peer_name, c_peers_path):
    """The callable that a child times: the module's columnarize, yyjson's round trip, or the
    plain-Python peer `peer_name`."""
    if candidate == MODULE:
        import vantor_codec

        return vantor_codec.columnarize
    bench = bench_module()
    if candidate == YYJSON:
        import ctypes

        library = ctypes.CDLL(c_peers_path)
        return bench.bound_c_function(library, bench.C_PEER_FUNCTIONS[YYJSON])
    if peer_name.endswith(bench.REPO_PEER_SUFFIX):
        peers, _ = bench.load_repo_peers()
    else:
        _, peers, _ = bench.load_peers(bench.PEERS_FILE)
    return peers[peer_name]


def child_time(function, payload, seconds):
    """Calls `function` on `payload` in batches until `seconds` have passed, after one warm-up
    call: the warm-up call's result, and seconds per call, minor faults per call, calls made."""
    import gc

    first_start = time.perf_counter()
    result = function(payload)
    first = time.perf_counter() - first_start
    batch = max(1, int(0.005 / max(first, 1e-7)))
    gc.collect()
    gc.disable()
    calls, elapsed = 0, 0.0
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    start = time.perf_counter()
    while elapsed < seconds or calls == 0:
        for _ in range(batch):
            function(payload)
        calls += batch
        elapsed = time.perf_counter() - start
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - faults
    gc.enable()
    return result, {"seconds": elapsed / calls, "faults": faults / calls, "calls": calls,
                    "first": first}


def child_main(arguments):
    """The child's side: `--child MODE CANDIDATE PEER PAYLOAD C_PEERS N [OUTPUT]`, its report one
    JSON line on standard output. MODE time: N seconds of calls; count: the warm-up call and N
    calls, for strace; pick: the fastest plain-Python peer, N seconds in all."""
    mode, candidate, peer_name, payload_path, c_peers_path, amount, *output = arguments
    payload = Path(payload_path).read_bytes()
    if mode == "pick":
        bench = bench_module()
        _, shared, _ = bench.load_peers(bench.PEERS_FILE)
        repo, _ = bench.load_repo_peers()
        peers = shared or repo
        settings = dataclasses.replace(bench.QUICK, min_rounds=3, budget=float(amount))
        medians, _ = bench.interleaved_medians(peers, payload, settings)
        print(json.dumps({"fastest": min(medians, key=medians.__getitem__)}))
        return 0
    function = load_candidate(candidate, peer_name, c_peers_path)
    if mode == "count":
        result = function(payload)
        for _ in range(int(amount)):
            function(payload)
        report = {}
    else:
        result, report = child_time(function, payload, float(amount))
    if output and type(result) is bytes:
        Path(output[0]).write_bytes(result)
    if candidate == MODULE:
        import vantor_codec

        report["module"] = vantor_codec.__file__
    print(json.dumps(report))
    return 0


@dataclasses.dataclass
class Children:
    """How the children of each candidate are started."""

    python: str  # the interpreter of the peers' and yyjson's children
    module_python: str  # the module's
    environment: dict  # the peers' and yyjson's environment, GLIBC_TUNABLES removed
    module_environment: dict
    c_peers: str  # the C peers' library, or ""

    def command(self, mode, candidate, peer, payload, amount, output=None):
        python = self.module_python if candidate == MODULE else self.python
        return [python, str(Path(__file__).resolve()), "--child", mode, candidate, peer or "-",
                str(payload.path), self.c_peers or "-", str(amount),
                *([str(output)] if output else [])]

    def env(self, candidate, state):
        environment = dict(self.module_environment if candidate == MODULE else self.environment)
        if STATES[state]:
            environment["GLIBC_TUNABLES"] = STATES[state]
        return environment

    def run(self, mode, candidate, peer, payload, amount, state, output=None, prefix=()):
        finished = subprocess.run(
            [*prefix, *self.command(mode, candidate, peer, payload, amount, output)],
            env=self.env(candidate, state), capture_output=True, text=True)
        if finished.returncode != 0:
            raise RuntimeError(f"the {candidate} child on {payload.label} ({state}) failed:\n"
                               f"{finished.stderr}")
        return json.loads(finished.stdout.strip().splitlines()[-1])


def make_children(module_python, module_path, c_peers):
    """The interpreters and environments of the children. Every child's environment lacks
    GLIBC_TUNABLES unless its state sets them; the peers' children find vantor_codec and bench.py
    as this process does."""
    import vantor_codec

    base = {key: value for key, value in os.environ.items() if key != "GLIBC_TUNABLES"}
    own_dir = str(Path(vantor_codec.__file__).resolve().parent)
    environment = dict(base, PYTHONPATH=os.pathsep.join(
        filter(None, [own_dir, base.get("PYTHONPATH")])))
    module_environment = dict(environment)
    if module_python:
        # A venv's interpreter finds its own installed module; a path from this process would
        # come first and hide it.
        module_environment.pop("PYTHONPATH", None)
    if module_path:
        module_environment["PYTHONPATH"] = os.pathsep.join(
            filter(None, [str(Path(module_path).resolve()),
                          module_environment.get("PYTHONPATH")]))
    return Children(sys.executable, module_python or sys.executable, environment,
                    module_environment, c_peers or "")


# --- counting memory system calls under strace ------------------------------------------------


def parse_strace_summary(text):
    """{system call: calls} from the table that `strace -c` writes."""
    counts = {}
    for line in text.splitlines():
        fields = line.split()
        if len(fields) < 5 or not re.fullmatch(r"[0-9.]+", fields[0]):
            continue
        name = fields[-1]
        if name != "total":
            counts[name] = int(fields[3])
    return counts


def memory_calls_per_call(children, candidate, peer, payload, state, calls, strace):
    """Memory system calls per call, by name: a counting run of `calls` calls less one of none,
    both after the warm-up call. Two interpreters' start-up can differ by a call or two, which
    would make a count of none come out below zero: it is taken as zero."""
    counted = []
    with tempfile.TemporaryDirectory() as scratch:
        for amount in (0, calls):
            summary = Path(scratch, f"strace-{amount}.txt")
            children.run("count", candidate, peer, payload, amount, state,
                         prefix=(strace, "-f", "-c", "-e", "trace=memory", "-o", str(summary)))
            counted.append(parse_strace_summary(summary.read_text()))
    names = set(counted[0]) | set(counted[1])
    return {name: max(0, counted[1].get(name, 0) - counted[0].get(name, 0)) / calls
            for name in sorted(names)}


# --- the measurement --------------------------------------------------------------------------


def measure(payloads, settings, children, strace, write):
    """Times, faults and memory calls of every candidate on every payload in both states; each
    payload's fastest peer is picked first, and the module's result is checked against that
    peer's. Returns one record per payload."""
    bench = bench_module()
    records = []
    with tempfile.TemporaryDirectory() as scratch:
        for index, payload in enumerate(payloads):
            payload.path = Path(scratch, f"payload-{index}.json")
            payload.path.write_bytes(payload.text)
        for payload in payloads:
            peer = children.run("pick", PEER, None, payload, settings.pick_budget,
                                "fresh")["fastest"]
            candidates = [MODULE, PEER] + ([YYJSON] if children.c_peers else [])
            samples = {(state, name): [] for state in STATES for name in candidates}
            outputs = {}
            for run in range(settings.runs):
                for state in STATES:
                    # The order turns from run to run, so that drift on the machine reaches
                    # every candidate alike.
                    shift = (run + list(STATES).index(state)) % len(candidates)
                    for name in candidates[shift:] + candidates[:shift]:
                        output = None
                        if run == 0 and state == "fresh" and name != YYJSON:
                            output = outputs[name] = Path(scratch, f"{name}.out")
                        samples[state, name].append(children.run(
                            "time", name, peer, payload, settings.seconds, state, output))
            module_text = outputs[MODULE].read_bytes()
            difference, floats = bench.structure_difference(module_text,
                                                            outputs[PEER].read_bytes())
            record = {"payload": payload, "peer": peer, "difference": difference,
                      "floats": floats, "output_bytes": len(module_text),
                      "module_file": samples["fresh", MODULE][0].get("module"),
                      "rows": len(json.loads(module_text)["rows"]), "states": {}}
            for state in STATES:
                figures = record["states"][state] = {}
                for name in candidates:
                    runs = samples[state, name]
                    figures[name] = {
                        "rate": len(payload.text) / statistics.median(
                            run["seconds"] for run in runs) / 1e6,
                        "faults": statistics.median(run["faults"] for run in runs),
                        "calls": sum(run["calls"] for run in runs),
                    }
                    if strace:
                        figures[name]["memory_calls"] = memory_calls_per_call(
                            children, name, peer, payload, state, settings.counted_calls,
                            strace)
            records.append(record)
            write(f"measured {payload.label} ({payload.length:,} bytes): "
                  f"{record['states']['fresh'][MODULE]['rate']:.1f} MB/s fresh, "
                  f"{record['states']['warm'][MODULE]['rate']:.1f} warm")
    return records


# --- the report -------------------------------------------------------------------------------


def save_records(path, records):
    """The measurements as JSON, so that the report and the chart can be made again from them."""
    saved = [{**record, "payload": {"name": record["payload"].name,
                                    "kind": record["payload"].kind,
                                    "size": record["payload"].size,
                                    "length": record["payload"].length,
                                    "compact_bytes": record["payload"].compact_bytes}}
             for record in records]
    Path(path).write_text(json.dumps(saved, indent=1))


def load_records(path):
    records = json.loads(Path(path).read_text())
    for record in records:
        record["payload"] = Payload(text=b"", **record["payload"])
    return records



def ratio(record, state, name):
    figures = record["states"][state]
    if name not in figures:
        return None
    return figures[MODULE]["rate"] / figures[name]["rate"]


def memory_total(record, state, name):
    figures = record["states"][state].get(name, {})
    if "memory_calls" not in figures:
        return None
    return sum(figures["memory_calls"].get(call, 0.0) for call in MEMORY_CALLS)


def number(value, digits=2):
    return "n/a" if value is None else f"{value:,.{digits}f}"


def pair(first, second, digits=1):
    return f"{number(first, digits)} / {number(second, digits)}"


def full_table(records):
    """Every figure of every payload, one row per payload."""
    header = ["payload", "kind", "payload bytes", "rows", "output ÷ compact payload",
              "vantor_codec MB/s fresh", "vantor_codec MB/s warm", "yyjson MB/s fresh",
              "yyjson MB/s warm", "fastest peer", "peer MB/s fresh", "peer MB/s warm",
              "÷ yyjson fresh", "÷ yyjson warm", "÷ peer fresh", "÷ peer warm",
              "faults per call fresh (vantor / yyjson / peer)", "faults per call warm",
              "memory calls per call fresh (vantor / yyjson / peer)", "memory calls per call warm",
              "vantor's memory calls fresh", "same document"]
    rows = []
    for record in records:
        payload, states = record["payload"], record["states"]

        def rate(state, name):
            figures = states[state].get(name)
            return figures["rate"] if figures else None

        def three(measure_of, state, digits):
            return " / ".join(number(measure_of(record, state, name), digits)
                              for name in CANDIDATES)

        def faults(record, state, name):
            figures = record["states"][state].get(name)
            return figures["faults"] if figures else None

        calls = states["fresh"][MODULE].get("memory_calls")
        rows.append([
            payload.name, payload.kind, f"{payload.length:,}", f"{record['rows']:,}",
            number(record["output_bytes"] / payload.compact_bytes),
            number(rate("fresh", MODULE), 1), number(rate("warm", MODULE), 1),
            number(rate("fresh", YYJSON), 1), number(rate("warm", YYJSON), 1),
            record["peer"], number(rate("fresh", PEER), 1), number(rate("warm", PEER), 1),
            number(ratio(record, "fresh", YYJSON)), number(ratio(record, "warm", YYJSON)),
            number(ratio(record, "fresh", PEER)), number(ratio(record, "warm", PEER)),
            three(faults, "fresh", 1), three(faults, "warm", 1),
            three(memory_total, "fresh", 2), three(memory_total, "warm", 2),
            "n/a" if calls is None else (", ".join(
                f"{name} {count:g}" for name, count in calls.items() if count) or "none"),
            "same" if record["difference"] is None else "DIFFERENT: " + record["difference"],
        ])
        rows[-1][0] = payload.label
    return header, rows


def span(values, digits):
    """The range of `values` as the README writes it: "a–b", or one figure."""
    values = [value for value in values if value is not None]
    if not values:
        return "n/a"
    low, high = f"{min(values):,.{digits}f}", f"{max(values):,.{digits}f}"
    return low if low == high else f"{low}–{high}"


def readme_table(records, sizes=SIZES):
    """The README's table: one row per real file, the module's rate over yyjson read+write's at
    each size, fresh (warm), then the ranges over the sizes of its rate over the fastest
    plain-Python peer's (fresh) and of the result's size over the payload's."""
    header = ["payload", *(label.replace("KB", " KB").replace("MB", " MB") for label, _ in sizes),
              "÷ fastest plain Python", "result ÷ payload"]
    files = {}
    for record in records:
        if record["payload"].kind == "real":
            files.setdefault(record["payload"].name, {})[record["payload"].size] = record
    rows = []
    for name, by_size in files.items():
        cells = []
        for label, _ in sizes:
            record = by_size.get(label)
            fresh = record and ratio(record, "fresh", YYJSON)
            cells.append("–" if fresh is None else
                         f"{fresh:.2f} ({number(ratio(record, 'warm', YYJSON))})")
        chosen = list(by_size.values())
        rows.append([name, *cells,
                     span([ratio(record, "fresh", PEER) for record in chosen], 1),
                     span([record["output_bytes"] / record["payload"].compact_bytes
                           for record in chosen], 2)])
    return header, rows


def readme_summary(records):
    """The README's sentences on the real payloads: MB/s, page faults and memory system calls per
    call, fresh and warm."""
    real = [record for record in records if record["payload"].kind == "real"]
    if not real:
        return []

    def figures(state, name, key):
        return [record["states"][state][name][key] for record in real
                if name in record["states"][state]]

    lines = [f"columnarize ran at {span(figures('fresh', MODULE, 'rate'), 0)} MB/s of payload "
             f"fresh and {span(figures('warm', MODULE, 'rate'), 0)} MB/s warm "
             f"(yyjson read+write: {span(figures('fresh', YYJSON, 'rate'), 0)} fresh, "
             f"{span(figures('warm', YYJSON, 'rate'), 0)} warm)."]
    large = [record for record in real if record["payload"].length >= LARGE_SLICE]
    for state in STATES if large else ():
        faults = {name: span([record["states"][state][name]["faults"] for record in large
                              if name in record["states"][state]], 1) for name in CANDIDATES}
        calls = {name: span([memory_total(record, state, name) for record in large], 1)
                 for name in CANDIDATES}
        lines.append(f"{state}, on the slices of 100 KB and more, per call: page faults "
                     f"{faults[MODULE]} (yyjson read+write {faults[YYJSON]}, the fastest "
                     f"plain-Python peer {faults[PEER]}); memory system calls {calls[MODULE]} "
                     f"(yyjson {calls[YYJSON]}, peer {calls[PEER]}).")
    return lines


def write_chart(path, records, title):
    """One row per real payload (synthetic ones when there is none): the module's rate over the
    fastest plain-Python peer's and over yyjson read+write's, fresh as bars and warm as marks."""
    import matplotlib

    matplotlib.use("Agg")  # no display: the chart only goes to a file
    import matplotlib.pyplot as plt

    chosen = [record for record in records if record["payload"].kind == "real"] or records
    if not chosen:
        return False
    labels = [record["payload"].label for record in chosen]
    sizes = list(dict.fromkeys(record["payload"].size for record in chosen))
    colours = dict(zip(sizes, ("#9ecae1", "#6baed6", "#2171b5", "#08306b")))
    bar_colours = [colours[record["payload"].size] for record in chosen]
    positions = list(range(len(chosen)))
    references = [(PEER, "÷ fastest plain-Python transform", 5.0)]
    if any(YYJSON in record["states"]["fresh"] for record in chosen):
        references.append((YYJSON, "÷ yyjson read+write (no columns made)", 1.0))
    figure, axes = plt.subplots(1, len(references), figsize=(6.5 * len(references),
                                                             0.24 * len(chosen) + 2.4),
                                dpi=100, sharey=True, squeeze=False)
    for axis, (name, label, line) in zip(axes[0], references):
        fresh = [ratio(record, "fresh", name) or 0.0 for record in chosen]
        warm = [ratio(record, "warm", name) or 0.0 for record in chosen]
        bars = axis.barh(positions, fresh, color=bar_colours, height=0.8,
                         label="fresh process (bars)")
        axis.bar_label(bars, fmt="%.2f", fontsize=6.5, padding=2)
        axis.scatter(warm, positions, marker="|", s=80, color="#cb181d", zorder=3,
                     label="long-running process, warm (marks)")
        axis.axvline(line, color="#737373", linestyle="--", linewidth=1)
        axis.set_xlabel(f"columnarize {label}; above {line:g} (dashed) is better")
        axis.grid(axis="x", alpha=0.3)
        axis.legend(loc="upper center", bbox_to_anchor=(0.5, -0.08), ncol=2, fontsize=7,
                    frameon=False)
    axes[0][0].set_yticks(positions, labels, fontsize=7)
    axes[0][0].invert_yaxis()
    figure.suptitle(title, fontsize=10)
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)
    return True


def report(records, skipped, children, strace, settings, write):
    """The tables; `children` is None for measurements read back from a file."""
    bench = bench_module()
    modules = sorted({record["module_file"] for record in records if record["module_file"]})
    if children is None:
        write("\nthe module measured: " + (", ".join(modules) or "unknown"))
    else:
        report_settings(modules, children, strace, settings, write)
    for line in skipped:
        write(f"skipped {line}")
    header, rows = full_table(records)
    write("\n## Every payload\n")
    write(bench.table(header, rows))
    present = {record["payload"].size for record in records if record["payload"].kind == "real"}
    sizes = [size for size in (settings.sizes if children else SIZES) if size[0] in present]
    header, rows = readme_table(records, sizes)
    write("\n## The README's table (real payloads: columnarize ÷ yyjson read+write, fresh "
          "(warm), per size; the ranges over the sizes)\n")
    write(bench.table(header, rows) if rows else "no real payloads were measured")
    for line in readme_summary(records):
        write("\n" + line)


def report_settings(modules, children, strace, settings, write):
    write(f"\nPython {sys.version.split()[0]}; the module's children ran "
          f"{children.module_python} and loaded " + (", ".join(modules) or "nothing"))
    write(f"each candidate in a fresh process per payload, state and run: {settings.runs} runs "
          f"of {settings.seconds:g} s of calls after one warm-up call, the median of the runs; "
          "fresh: the C library's default allocator settings; warm: GLIBC_TUNABLES="
          f"{WARM_TUNABLES} (a long-running process's thresholds)")
    write("memory system calls (" + ", ".join(MEMORY_CALLS) + ") per call: "
          + (f"{strace} -f -c -e trace=memory, {settings.counted_calls} calls less none"
             if strace else "not counted (strace is not installed)"))
    if not children.c_peers:
        write("yyjson read+write: missing (no C peers' library: --c-peers or "
              f"${bench_module().C_PEERS_VARIABLE})")


def main(arguments=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="a smoke test: two sizes, two runs")
    parser.add_argument("--real", metavar="FOLDER", type=Path, default=DEFAULT_REAL_FOLDER,
                        help=f"the real row files (default: {DEFAULT_REAL_FOLDER})")
    parser.add_argument("--shapes", default=None,
                        help="bench.py's synthetic shapes, comma-separated (default: all; "
                             "'none' for none)")
    parser.add_argument("--module-python", metavar="PYTHON",
                        help="the interpreter of the module's children (a venv with the wheel)")
    parser.add_argument("--module-path", metavar="DIR",
                        help="a folder put first on the module's children's path")
    parser.add_argument("--c-peers", metavar="LIBRARY",
                        default=os.environ.get("VANTOR_BENCH_C_PEERS"),
                        help="the C peers' library (default: $VANTOR_BENCH_C_PEERS)")
    parser.add_argument("--chart", metavar="PATH", help="also write the chart (PNG)")
    parser.add_argument("--strace", default=shutil.which("strace"),
                        help="strace, for counting memory system calls (default: on the path)")
    parser.add_argument("--save", metavar="JSON", help="also write the measurements to JSON")
    parser.add_argument("--load", metavar="JSON",
                        help="measure nothing: report (and chart) the measurements saved in JSON")
    parser.add_argument("--child", nargs=argparse.REMAINDER, help=argparse.SUPPRESS)
    args = parser.parse_args(arguments)
    if args.child is not None:
        return child_main(args.child)
    settings = QUICK if args.quick else FULL
    bench = bench_module()
    shapes = list(bench.SHAPES) if args.shapes is None else [
        shape.strip() for shape in args.shapes.split(",") if shape.strip() not in ("", "none")]
    unknown = sorted(set(shapes) - set(bench.SHAPES))
    if unknown:
        parser.error(f"unknown shapes {unknown}; choose from {', '.join(bench.SHAPES)}")
    write = lambda line: print(line, flush=True)  # noqa: E731
    if args.load:
        records = load_records(args.load)
        report(records, [], None, args.strace, settings, write)
        return finish(records, args.chart, write)
    payloads, skipped = [], []
    if args.real.is_dir():
        payloads, skipped = real_payloads(args.real, settings.sizes)
    else:
        write(f"no real files at {args.real}: make them with `python3 "
              f"bench/python/real_payloads.py --fetch {args.real}`; synthetic shapes only")
    payloads += synthetic_payloads(shapes, settings.sizes)
    c_peers = None
    if args.c_peers:
        found, missing, _ = bench.load_c_peers(args.c_peers)
        c_peers = args.c_peers if YYJSON in found else None
        if not c_peers:
            write(f"yyjson read+write is missing: {missing.get(YYJSON)}")
    children = make_children(args.module_python, args.module_path, c_peers)
    records = measure(payloads, settings, children, args.strace, write)
    if args.save:
        save_records(args.save, records)
    report(records, skipped, children, args.strace, settings, write)
    return finish(records, args.chart, write)


def finish(records, chart, write):
    """Draws the chart when asked; 1 when a result differed from its peer's."""
    if chart and records:
        title = (f"columnarize in a fresh process and a warm one, Python "
                 f"{sys.version.split()[0]}, one row per payload")
        if write_chart(chart, records, title):
            write(f"\nchart written to {chart}")
    if any(record["difference"] is not None for record in records):
        print("\nfresh_state.py: columnarize's result differs from a peer's (see above)",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
