"""End-to-end benchmark: vantor_codec.columnarize against the same transform written in plain
Python on top of the standard library's json, orjson and msgspec, plus the speed-up of two threads
over one. Prints MB/s of payload and the ratios.

Run it through `./dev bench`, or directly with the built module on the path:
    python3.14 bench/python/bench.py [--quick] [--chart PATH]
--chart also draws the throughput table as a bar chart (PNG, needs matplotlib).
"""

import argparse
import json
import random
import statistics
import sys
import threading
import time

import vantor_codec

try:
    import orjson
except ImportError:  # the benchmark still runs, without that column
    orjson = None
try:
    import msgspec
except ImportError:
    msgspec = None


# --- payloads ---------------------------------------------------------------------------------

WORDS = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india"]
NON_ASCII = ["Zoë", "naïve", "Straße", "東京", "données", "🙂 ok", "Ελλάδα", "café", "привет"]


def tool_call_row(rng, i):
    return {
        "id": 1_000_000 + i, "tool": "search_files", "status": "ok",
        "path": f"/src/module_{rng.randrange(500)}.py", "line": rng.randrange(5000),
        "score": round(rng.random() * 100, 3), "matched": rng.random() < 0.5, "error": None,
        "summary": " ".join(rng.choice(WORDS) for _ in range(6)),
        "tags": [rng.choice(WORDS), rng.choice(WORDS)], "size": rng.randrange(1 << 20),
        "owner": rng.choice(NON_ASCII), "mtime": 1_700_000_000 + rng.randrange(10_000_000),
        "ratio": rng.randrange(1000) / 7, "depth": rng.randrange(8), "kind": "file",
        "lang": "python", "meta": {"enc": "utf-8", "lines": rng.randrange(900)},
        "delta": -rng.randrange(1000),
        "note": " ".join(rng.choice(WORDS) for _ in range(3)) if rng.random() < 0.25 else None,
    }


def number_row(rng, i):
    row = {}
    for m in range(20):
        kind = m % 4
        if kind == 0:
            row[f"n{m}"] = rng.getrandbits(64) >> rng.randrange(60)
        elif kind == 1:
            row[f"n{m}"] = -rng.randrange(1, 1_000_000)
        elif kind == 2:
            row[f"n{m}"] = rng.randrange(1_000_000) + rng.randrange(1000) / 1000
        else:
            row[f"n{m}"] = rng.random() * 10 ** rng.randrange(-20, 20)
    return row


def sparse_row(rng, i):
    base = rng.randrange(200)
    return {f"field_{(base + 20 * m) % 200}": rng.randrange(100_000) for m in range(10)}


SHAPES = {"tool_call": tool_call_row, "numbers": number_row, "sparse": sparse_row}


def make_payload(shape, target_bytes):
    rng = random.Random(7)
    make_row = SHAPES[shape]
    rows, size, i = [], 2, 0
    while size < target_bytes:
        row = make_row(rng, i)
        rows.append(row)
        size += len(json.dumps(row, ensure_ascii=False, separators=(",", ":")).encode()) + 1
        i += 1
    return json.dumps(rows, ensure_ascii=False, separators=(",", ":")).encode()


# --- the plain-Python transform -----------------------------------------------------------------

def same_column_value(a, b):
    # Numbers compare by value across int and float; bool is not a number here.
    if type(a) is bool or type(b) is bool:
        return type(a) is type(b) and a == b
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        return a == b
    return type(a) is type(b) and a == b


def columnarize_rows(rows):
    if not isinstance(rows, list):
        raise RuntimeError("invalid row-oriented JSON")
    order, holding, non_null = {}, {}, set()
    for row in rows:
        if not isinstance(row, dict):
            raise RuntimeError("expected a JSON object row")
        for name, value in row.items():
            if name not in order:
                order[name] = None
            holding[name] = holding.get(name, 0) + 1
            if value is not None:
                non_null.add(name)
    constants = {}
    if len(rows) >= 2:
        first = rows[0]
        for name in order:
            if name in non_null and holding[name] == len(rows) and name in first:
                reference = first[name]
                if all(same_column_value(row[name], reference) for row in rows):
                    constants[name] = reference
    columns = [name for name in order if name in non_null and name not in constants]
    matrix = [[row.get(name) for name in columns] for row in rows]
    return {"columns": columns, "rows": matrix, "constants": constants}


def with_json(payload):
    return json.dumps(columnarize_rows(json.loads(payload)), ensure_ascii=False,
                      separators=(",", ":")).encode()


def with_orjson(payload):
    return orjson.dumps(columnarize_rows(orjson.loads(payload)))


def with_msgspec(payload):
    return msgspec.json.encode(columnarize_rows(msgspec.json.decode(payload)))


# --- measurement ----------------------------------------------------------------------------------

def seconds_per_call(function, payload, budget):
    function(payload)  # warm up
    times = []
    deadline = time.perf_counter() + budget
    while time.perf_counter() < deadline or len(times) < 3:
        start = time.perf_counter()
        function(payload)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def thread_speedup(payload, calls, rounds=3):
    """Throughput of two threads over one, both on worker threads, each the best of `rounds`."""
    def work():
        for _ in range(calls):
            vantor_codec.columnarize(payload)

    def run_on(thread_count):
        threads = [threading.Thread(target=work) for _ in range(thread_count)]
        start = time.perf_counter()
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        return time.perf_counter() - start

    work()  # warm up: first calls pay for fresh memory
    one = min(run_on(1) for _ in range(rounds))
    two = min(run_on(2) for _ in range(rounds))
    return 2 * one / two


def write_chart(path, names, table, title):
    """Grouped bars of MB/s, one group per payload, each bar labelled with its value."""
    import matplotlib

    matplotlib.use("Agg")  # no display: the chart only goes to a file
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(figsize=(11, 4.8), dpi=100)
    width = 0.8 / len(names)
    for index, name in enumerate(names):
        positions = [group + (index - (len(names) - 1) / 2) * width for group in range(len(table))]
        bars = axes.bar(positions, [rates[name] for _, rates in table], width, label=name)
        axes.bar_label(bars, fmt="%.0f", fontsize=7)
    axes.set_xticks(range(len(table)), [label for label, _ in table], rotation=20, ha="right")
    axes.set_ylabel("MB/s of payload")
    axes.set_title(title)
    axes.grid(axis="y", alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="shorter runs, smaller payloads")
    parser.add_argument("--chart", metavar="PATH", help="also write the table as a PNG bar chart")
    args = parser.parse_args()
    sizes = [("1KB", 1 << 10), ("100KB", 100 << 10), ("10MB", 10 << 20)]
    if args.quick:
        sizes = sizes[:2]
    budget = 0.3 if args.quick else 1.0

    contenders = [("vantor_codec", vantor_codec.columnarize), ("json", with_json)]
    if orjson is not None:
        contenders.append(("orjson", with_orjson))
    if msgspec is not None:
        contenders.append(("msgspec", with_msgspec))

    names = [name for name, _ in contenders]
    header = f"{'payload':<16}" + "".join(f"{name + ' MB/s':>16}" for name in names)
    header += f"{'vs fastest py':>15}"
    print(f"Python {sys.version.split()[0]}")
    print(header)
    print("-" * len(header))
    table = []
    for shape in SHAPES:
        for label, size in sizes:
            payload = make_payload(shape, size)
            rates = {}
            for name, function in contenders:
                rates[name] = len(payload) / seconds_per_call(function, payload, budget) / 1e6
            fastest_python = max(rate for name, rate in rates.items() if name != "vantor_codec")
            line = f"{shape + ' ' + label:<16}" + "".join(f"{rates[n]:>16.1f}" for n in names)
            line += f"{rates['vantor_codec'] / fastest_python:>14.1f}x"
            print(line, flush=True)
            table.append((f"{shape} {label}", rates))

    payload = make_payload("tool_call", 10 << 20 if not args.quick else 1 << 20)
    speedup = thread_speedup(payload, 3 if args.quick else 10)
    print(f"\ntwo threads over one on {len(payload) / 1e6:.1f} MB tool-call payloads: {speedup:.2f}x")

    if args.chart:
        title = f"columnarize throughput, Python {sys.version.split()[0]}"
        write_chart(args.chart, names, table, title)
        print(f"chart written to {args.chart}")


if __name__ == "__main__":
    main()
