"""End-to-end benchmark of vantor_codec.columnarize from Python, beside plain-Python peers.

The peers are the same transform in plain Python on top of json, orjson, msgspec and ujson, in
two sets: this repository's (bench/python/python_peers.py, always measured, named "json (in
repo)" and so on; they write the module's very bytes on the benchmark's payloads), and the
shared ones in ../shared/bench/python_peers.py beside the clone, the yardstick of the goal, when
that file exists. A peer whose library is not installed is left out. Beside them, as reference
points rather than alternatives, stand C peers from bench/c_peers, called through ctypes: a
yyjson read and compact write of the payload, a simdjson DOM parse, and a validating walk over
the rows with simdjson's On-Demand API that does the least a strict columnarize must (every key
and string unescaped, every number and literal parsed, every nested value walked to its end, each
member matched to its column, every row value's text copied), built for this machine and, from a
sibling library, for the compiler's default target. One run reports:

- MB/s of payload for columnarize and every peer on ten row shapes (the C++ benchmark's
  generators, byte for byte) at about 1 KB, 100 KB and 10 MB, each the median of rounds that
  interleave the candidates, columnarize ÷ the fastest plain-Python peer (of the yardstick, and
  of this repository's when they are not it) and ÷ each C peer; once per shape, that
  columnarize's result parses to the same document as that peer's, and which of this
  repository's peers write its very bytes;
- minor page faults per call on every shape at the largest size, for columnarize and the
  fastest peer;
- the tail of single calls on large sparse and tool-call payloads, columnarize's calls taking
  turns with the fastest peer's: median, 90th percentile, their ratio and the worst call;
- the fixed cost of a call, columnarize(b'[]') beside orjson.dumps(orjson.loads(b'[]'));
- two threads over one on tool-call rows, and an estimate of the share of a call that holds
  the interpreter lock;
- the peak extra resident memory of one call, each in a fresh process.

Run it through `./dev bench`, or directly with the built module on the path:
    python3.14 bench/python/bench.py [--quick] [--chart PATH] [--sections LIST]
        [--c-peers LIBRARY]
--quick is a smoke test: few rounds, no 10 MB payloads. --chart also draws the throughput
as a chart of ratios, one bar per shape and size (PNG, needs matplotlib): columnarize ÷ the
fastest plain-Python peer, and ÷ the C peers (yyjson read+write and the validating walk as bars). --sections runs some of throughput, faults,
tail, fixed, threads and memory. --c-peers names the C peers' library (default: the
VANTOR_BENCH_C_PEERS variable, which ./dev bench sets from build/bench/python_paths.env);
without it the C peers are reported missing and the rest runs.
"""

import argparse
import ctypes
import dataclasses
import gc
import importlib
import importlib.util
import json
import math
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import types
from itertools import repeat
from pathlib import Path

import vantor_codec

# The shared plain-Python peers beside the clone, the yardstick of the throughput goal, and this
# repository's own, measured always, so that a clone alone reproduces the README's table.
PEERS_FILE = Path(__file__).resolve().parents[3] / "shared" / "bench" / "python_peers.py"
REPO_PEERS_FILE = Path(__file__).resolve().parent / "python_peers.py"
REPO_PEER_SUFFIX = " (in repo)"
PEER_LIBRARIES = ("orjson", "msgspec", "ujson")  # each peer but json needs its namesake

# --- payloads: the generators of bench/cpp/payloads.h, so both benchmarks see the same bytes ----
# Where payloads.h draws more than once in one expression, the draws here go in the order that
# GCC's build of it makes them, right to left.

MASK64 = (1 << 64) - 1
WORDS = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india",
         "juliett"]
NON_ASCII_WORDS = ["Zoë", "naïve", "Straße", "東京", "données", "🙂 ok", "Ελλάδα", "café",
                   "ångström", "привет"]


class Random:
    """SplitMix64, as in payloads.h."""

    __slots__ = ("state",)

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK64
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK64
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK64
        return z ^ (z >> 31)

    def below(self, bound):
        return self.next() % bound


def text(random, non_ascii, words_count):
    pool = NON_ASCII_WORDS if non_ascii else WORDS
    return '"' + " ".join(pool[random.below(10)] for _ in range(words_count)) + '"'


def fixed(value):
    """std::to_string of a double."""
    return "%f" % value


def tool_call_row(random, row):
    parts = [
        f'{{"id":{1000000 + row},"tool":"search_files","status":"ok"',
        f',"path":"/src/module_{random.below(500)}.py"',
        f',"line":{random.below(5000)}',
        f',"score":{fixed(random.below(100000) / 1000.0)[:6]}',
        ',"matched":' + ("true" if random.below(2) else "false"),
        ',"error":null,"summary":' + text(random, False, 6),
    ]
    second_tag = WORDS[random.below(10)]
    first_tag = WORDS[random.below(10)]
    parts += [
        f',"tags":["{first_tag}","{second_tag}"]',
        f',"size":{random.below(1 << 20)}',
        ',"owner":' + text(random, False, 1),
        f',"mtime":{1700000000 + random.below(10000000)}',
        f',"ratio":{fixed(random.below(1000) / 7.0)}',
        f',"depth":{random.below(8)}',
        ',"kind":"file","lang":"python"',
        f',"meta":{{"enc":"utf-8","lines":{random.below(900)}}}',
        f',"delta":-{random.below(1000)}',
        ',"note":' + (text(random, False, 3) if random.below(4) == 0 else "null"),
        "}",
    ]
    return "".join(parts)


def number_row(random, row):
    members = []
    for m in range(20):
        kind = m % 4
        if kind == 0:
            value = random.next()
            value = str(value >> random.below(60))
        elif kind == 1:
            value = f"-{1 + random.below(1000000)}"
        elif kind == 2:
            fraction = random.below(1000)
            value = f"{random.below(1000000)}.{fraction}"
        else:
            exponent = random.below(40) - 20
            fraction = random.below(100000)
            value = f"{1 + random.below(9)}.{fraction}e{exponent}"
        members.append(f'"n{m}":{value}')
    return "{" + ",".join(members) + "}"


def string_row(random, row):
    members = []
    for m in range(8):
        value = text(random, m % 2 == 0, 4 + random.below(6))
        if m == 7:
            value = value[:-1] + '\\n\\"quoted\\"\\u00e9"'
        members.append(f'"s{m}":{value}')
    return "{" + ",".join(members) + "}"


def sparse_row(random, row):
    base = random.below(200)
    return "{" + ",".join(
        f'"field_{(base + 20 * m) % 200}":{random.below(100000)}' for m in range(10)) + "}"


def wide_row(random, row):
    return "{" + ",".join(f'"c{m}":{random.below(1000)}' for m in range(500)) + "}"


LANGUAGES = ["ar", "bg", "br", "cs", "cy", "da", "de", "el", "en", "eo", "es", "et", "fa", "fi",
             "fr", "ga", "he", "hr", "hu", "id", "it", "ja", "ko", "lt", "lv", "nl", "no", "pl",
             "pt", "ro", "ru", "sk", "sl", "sr", "sv", "th", "tr", "uk", "vi", "zh"]
SCHEMA_TYPES = ["string", "integer", "number", "boolean"]


def nested_row(random, row, repeated_keys=False):
    """Flat members beside nested objects of 20 to 40 members, as payloads.h's nested_row."""
    parts = [f'{{"id":{row + 1}', f',"code":"C{random.below(1000)}"',
             ',"name":' + text(random, False, 2),
             f',"population":{random.below(100000000)}', f',"area":{random.below(1000000)}.5',
             ',"independent":' + ("true" if random.below(2) else "false")]
    translations = 20 + random.below(21)
    members = [f'"{LANGUAGES[t]}":' + text(random, t % 3 == 0, 2) for t in range(translations)]
    if repeated_keys:
        again = random.below(translations)
        members.append(f'"{LANGUAGES[again]}":' + text(random, False, 1))
    parts.append(',"translations":{' + ",".join(members) + "}")
    members = []
    for v in range(24):
        kind = v % 4
        if kind == 0:
            value = str(random.below(100000))
        elif kind == 1:
            whole = random.below(1000)
            value = f"{whole}.{1 + random.below(99)}"
        elif kind == 2:
            value = "null" if random.below(3) == 0 else "true"
        else:
            first = random.below(100)
            value = f"[{first},{random.below(100)}]"
        members.append(f'"v{v}":{value}')
    if repeated_keys:
        members.append(f'"v{random.below(24)}":0')
    parts.append(',"variants":{' + ",".join(members) + "}")
    start = (row % 3) * 8
    fields = [(start + f) % 24 for f in range(24)]
    members = [f'"f{field}":"{SCHEMA_TYPES[field % 4]}"' for field in fields]
    if repeated_keys:
        members.append('"f5":"integer"')
    parts.append(',"schema":{' + ",".join(members) + "}")
    if repeated_keys and row % 4 == 3:
        parts.append(',"name":' + text(random, False, 1))
    parts.append("}")
    return "".join(parts)


def indented(compact, depth):
    """Compact JSON laid out with two-space indentation, as payloads.h's indented."""
    out = []
    in_string = False
    i = 0
    while i < len(compact):
        c = compact[i]
        if in_string:
            out.append(c)
            if c == "\\":
                i += 1
                out.append(compact[i])
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
            out.append(c)
        elif c in "{[":
            out.append(c)
            if compact[i + 1] == ("}" if c == "{" else "]"):
                i += 1
                out.append(compact[i])
            else:
                depth += 1
                out.append("\n" + "  " * depth)
        elif c in "}]":
            depth -= 1
            out.append("\n" + "  " * depth + c)
        elif c == ",":
            out.append(",\n" + "  " * depth)
        elif c == ":":
            out.append(": ")
        else:
            out.append(c)
        i += 1
    return "".join(out)


def nested_repeated_row(random, row):
    return nested_row(random, row, True)


def nested_pretty_row(random, row):
    return "\n  " + indented(nested_row(random, row), 1)


def nested_repeated_pretty_row(random, row):
    return "\n  " + indented(nested_row(random, row, True), 1)


# City, country, the first two letters of its airports' ICAO codes, time zone.
AIRPORT_PLACES = [
    ("Lisbon", "Portugal", "LP", "Europe/Lisbon"),
    ("Oslo", "Norway", "EN", "Europe/Oslo"),
    ("Denver", "United States", "KD", "America/Denver"),
    ("Osaka", "Japan", "RJ", "Asia/Tokyo"),
    ("Nairobi", "Kenya", "HK", "Africa/Nairobi"),
    ("Lima", "Peru", "SP", "America/Lima"),
    ("Perth", "Australia", "YP", "Australia/Perth"),
    ("Quito", "Ecuador", "SE", "America/Guayaquil"),
    ("Dakar", "Senegal", "GO", "Africa/Dakar"),
    ("Tampa", "United States", "KT", "America/New_York"),
    ("Leeds", "United Kingdom", "EG", "Europe/London"),
    ("Porto", "Portugal", "LP", "Europe/Lisbon"),
    ("Cairo", "Egypt", "HE", "Africa/Cairo"),
    ("Hanoi", "Vietnam", "VV", "Asia/Bangkok"),
    ("São Paulo", "Brazil", "SB", "America/Sao_Paulo"),
    ("Zürich", "Switzerland", "LS", "Europe/Zurich"),
    ("Málaga", "Spain", "LE", "Europe/Madrid"),
    ("Reykjavík", "Iceland", "BI", "Atlantic/Reykjavik"),
    ("Winnipeg", "Canada", "CY", "America/Winnipeg"),
    ("Chennai", "India", "VO", "Asia/Kolkata"),
    ("Kraków", "Poland", "EP", "Europe/Warsaw"),
    ("Auckland", "New Zealand", "NZ", "Pacific/Auckland"),
    ("Santiago", "Chile", "SC", "America/Santiago"),
    ("Tunis", "Tunisia", "DT", "Africa/Tunis"),
]
AIRPORT_KINDS = ["International Airport", "Airport", "Regional Airport", "Municipal Airport"]


def airport_row(random, row):
    """Flat rows of short strings, as an airport list has them."""
    city, country, region, zone = AIRPORT_PLACES[random.below(len(AIRPORT_PLACES))]
    code = "".join(chr(ord("A") + random.below(26)) for _ in range(3))
    icao = region + "".join(chr(ord("A") + random.below(26)) for _ in range(2))
    kind = AIRPORT_KINDS[random.below(len(AIRPORT_KINDS))]
    return (f'{{"code":"{code}","icao":"{icao}","name":"{city} {kind}","city":"{city}",'
            f'"country":"{country}","tz":"{zone}"}}')


# name: (label, row generator, the generator's seed, whether a payload has one row at the least)
SHAPES = {
    "tool_call": ("tool-call rows", tool_call_row, 1, False),
    "numbers": ("number rows", number_row, 2, False),
    "strings": ("string rows", string_row, 3, False),
    "sparse": ("sparse rows", sparse_row, 4, False),
    "wide": ("wide rows", wide_row, 5, True),
    "nested": ("nested rows", nested_row, 6, False),
    "nested_repeated": ("nested rows with repeated keys", nested_repeated_row, 7, False),
    "nested_pretty": ("nested rows indented", nested_pretty_row, 6, False),
    "nested_repeated_pretty": ("nested rows with repeated keys indented",
                               nested_repeated_pretty_row, 7, False),
    "airports": ("airport rows", airport_row, 8, False),
}


def make_payload(shape, target_bytes):
    """Rows of `shape` until the array holds at least `target_bytes`."""
    _, make_row, seed, one_row_at_least = SHAPES[shape]
    random = Random(seed)
    parts, size, row = [b"["], 1, 0
    while size < target_bytes or (one_row_at_least and row == 0):
        encoded = make_row(random, row).encode()
        if row:
            parts.append(b",")
            size += 1
        parts.append(encoded)
        size += len(encoded)
        row += 1
    parts.append(b"]")
    return b"".join(parts)


# --- the peers --------------------------------------------------------------------------------


def load_peers(path=PEERS_FILE):
    """The peers module, read by path, its peers whose library is installed, and the missing.

    The module imports every library at its top; a missing one is stood in for by an empty
    module while it loads, so that the other peers remain usable.
    """
    if not path.is_file():
        # The rest of the report (the module's own rates, fixed cost, threads, memory) still
        # means something without them.
        print(f"bench.py: the plain-Python peers are not at {path} (the clone's parent folder "
              "needs shared/bench/python_peers.py); measuring without them", file=sys.stderr)
        return None, {}, []
    missing = []
    for name in PEER_LIBRARIES:
        try:
            importlib.import_module(name)
        except ImportError:
            missing.append(name)
    stand_ins = {name: types.ModuleType(name) for name in missing}
    spec = importlib.util.spec_from_file_location("python_peers", path)
    module = importlib.util.module_from_spec(spec)
    sys.modules.update(stand_ins)
    try:
        spec.loader.exec_module(module)
    finally:
        for name in stand_ins:
            del sys.modules[name]
    peers = {name: function for name, function in module.PEERS.items() if name not in missing}
    return module, peers, missing


def load_repo_peers(path=REPO_PEERS_FILE):
    """This repository's peers, named with REPO_PEER_SUFFIX, and the libraries not installed."""
    spec = importlib.util.spec_from_file_location("vantor_python_peers", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    peers = {name + REPO_PEER_SUFFIX: function for name, function in module.PEERS.items()}
    missing = [name for name in module.PEER_LIBRARIES if name not in module.PEERS]
    return peers, missing


# The C reference points of bench/c_peers (a shared library that ./dev bench builds and names in
# python_paths.env): column name, function. Each takes the payload's address and length.
C_PEER_FUNCTIONS = {
    "yyjson read+write": "vantor_bench_yyjson_round_trip",
    "simdjson parse": "vantor_bench_simdjson_parse",
    "simdjson validating walk": "vantor_bench_simdjson_validating_walk",
    "simdjson validating walk (baseline)": "vantor_bench_simdjson_validating_walk",
}
# The C peers found in the library's sibling built for the compiler's default target (the same
# file name with BASELINE_SUFFIX before its extension) rather than in the library itself.
BASELINE_PEERS = ("simdjson validating walk (baseline)",)
BASELINE_SUFFIX = "_baseline"
C_PEERS_VARIABLE = "VANTOR_BENCH_C_PEERS"
# What each C peer's column measures, for the report.
C_PEER_MEANINGS = {
    "yyjson read+write": "yyjson read+write reads the payload into yyjson's document and writes it "
                         "back compact, no columns made",
    "simdjson parse": "simdjson parse is simdjson's DOM parse alone, nothing written, with the "
                      "copy into its padded buffer counted",
    "simdjson validating walk": "simdjson validating walk goes over the rows with simdjson's "
                                "On-Demand API ({kernel} kernel) doing the least a strict "
                                "columnarize must: it unescapes every key and string, parses "
                                "every number and literal, walks every nested object and array "
                                "to its end with the same checks and checks the document's end, "
                                "finds each member's column (the previous row's at the same "
                                "position, else a hash map) and copies every row value's text, "
                                "nested ones compact, into one buffer: no constant test, no null "
                                "filling, no escapes written anew",
    "simdjson validating walk (baseline)": "simdjson validating walk (baseline) is the same "
                                           "walk built for the compiler's default target "
                                           "({kernel} kernel), as a portable wheel has it",
}
# What each C peer must return for a small payload, and for a payload cut short, before its
# figures are believed: yyjson's compact text is as long as this payload, simdjson's parse
# returns 0, and the validating walk's output is `1,[true,null],"a","b",`.
C_PEER_PROBE, C_PEER_BROKEN_PROBE = b'[{"a":1,"b":[true,null]}]', b'[{"a":1,'
C_PEER_PROBE_RESULTS = {"yyjson read+write": len(C_PEER_PROBE), "simdjson parse": 0,
                        "simdjson validating walk": len(b'1,[true,null],"a","b",'),
                        "simdjson validating walk (baseline)": len(b'1,[true,null],"a","b",')}
# simdjson's name for the kernel each validating walk was compiled for, once its library is
# loaded.
C_PEER_KERNELS = {}


def c_peer_meaning(name):
    return C_PEER_MEANINGS[name].format(kernel=C_PEER_KERNELS.get(name, "unknown"))


def baseline_library_path(path):
    path = Path(path)
    return path.with_name(path.stem + BASELINE_SUFFIX + path.suffix)


def bound_c_function(library, symbol):
    """The library's function `symbol` as a one-argument callable on bytes. ctypes passes the
    bytes object's own buffer (no copy); the length goes alongside."""
    function = getattr(library, symbol)
    function.argtypes = (ctypes.c_char_p, ctypes.c_size_t)
    function.restype = ctypes.c_longlong
    return lambda payload, function=function: function(payload, len(payload))


def load_c_peers(path):
    """(peers, missing, call_overhead): the C peers found in the library at `path` as callables
    on bytes, the reason each other one is missing, and a callable that does nothing but what
    every C peer's call costs (None without the library)."""
    if not path:
        reason = f"no library given (--c-peers or {C_PEERS_VARIABLE}; ./dev bench builds it)"
        return {}, dict.fromkeys(C_PEER_FUNCTIONS, reason), None
    try:
        library = ctypes.CDLL(str(path))
        nothing = bound_c_function(library, "vantor_bench_nothing")
    except (OSError, AttributeError) as error:
        return {}, dict.fromkeys(C_PEER_FUNCTIONS, f"cannot load {path}: {error}"), None
    libraries = {False: (library, path)}
    peers, missing = {}, {}
    for name, symbol in C_PEER_FUNCTIONS.items():
        baseline = name in BASELINE_PEERS
        if baseline not in libraries:
            sibling = baseline_library_path(path)
            try:
                libraries[baseline] = (ctypes.CDLL(str(sibling)), sibling)
            except OSError as error:
                libraries[baseline] = (None, f"cannot load {sibling}: {error}")
        source, where = libraries[baseline]
        if source is None:
            missing[name] = where
            continue
        try:
            function = bound_c_function(source, symbol)
        except AttributeError:
            # The library is built with the JSON libraries CMake found, and without the others.
            missing[name] = f"not in {where}"
            continue
        problem = c_peer_problem(name, function)
        if problem:
            missing[name] = problem
            continue
        peers[name] = function
        try:
            kernel = source.vantor_bench_simdjson_ondemand_kernel
            kernel.restype = ctypes.c_char_p
            C_PEER_KERNELS[name] = kernel().decode()
        except AttributeError:
            pass
    return peers, missing, nothing


def c_peer_problem(name, function):
    """Why the C peer `name` cannot be believed, or None: it must give the known result for a
    small payload and refuse one cut short."""
    results = (function(C_PEER_PROBE), function(C_PEER_BROKEN_PROBE))
    if results != (C_PEER_PROBE_RESULTS[name], -1):
        return f"returned {results[0]} and {results[1]} for a known payload and a broken one"
    return None


def c_peers_line(peers, missing, path):
    """The report's line about the C peers, naming each one that is missing and why."""
    if not peers:
        return "C peers: none (" + "; ".join(sorted(set(missing.values()))) + ")"
    line = f"C peers: {', '.join(peers)} (from {path})"
    if missing:
        line += "; missing: " + "; ".join(f"{name}: {why}" for name, why in missing.items())
    return line


# --- settings ---------------------------------------------------------------------------------


@dataclasses.dataclass(frozen=True)
class Settings:
    sizes: tuple  # (label, target bytes) pairs
    min_rounds: int  # rounds per shape and size, at the least
    budget: float  # seconds per shape and size after which no further round starts
    batch: float  # seconds one batch of calls of one candidate takes, about
    fixed_calls: int  # calls per round of the fixed-cost loops
    fixed_rounds: int
    thread_bytes: int  # tool-call payload size for the thread and lock measurements
    thread_calls: int  # calls per thread
    thread_rounds: int
    memory_bytes: int  # payload size for the resident-memory measurement
    fault_calls: int  # calls of each candidate whose page faults are counted, per shape
    tail_bytes: int  # payload size of the tail section
    tail_calls: int  # calls of each candidate in the tail section, per shape
    max_rounds: int = 200


FULL = Settings(sizes=(("1KB", 1 << 10), ("100KB", 100 << 10), ("10MB", 10 << 20)),
                min_rounds=5, budget=2.0, batch=0.02, fixed_calls=20000, fixed_rounds=15,
                thread_bytes=10 << 20, thread_calls=10, thread_rounds=3,
                memory_bytes=10 << 20, fault_calls=4, tail_bytes=10 << 20, tail_calls=30)
QUICK = Settings(sizes=(("1KB", 1 << 10), ("100KB", 100 << 10)),
                 min_rounds=2, budget=0.05, batch=0.002, fixed_calls=2000, fixed_rounds=3,
                 thread_bytes=1 << 20, thread_calls=2, thread_rounds=2, memory_bytes=1 << 20,
                 fault_calls=2, tail_bytes=256 << 10, tail_calls=6)

# The report's sections, in their order; --sections picks some.
SECTIONS = ("throughput", "faults", "tail", "fixed", "threads", "memory")
# The tail section's shapes: sparse rows, whose result is six times the payload, and tool-call
# rows.
TAIL_SHAPES = ("sparse", "tool_call")


# --- measurement ------------------------------------------------------------------------------


def seconds_per_call(function, payload, calls):
    """Seconds per call over `calls` calls in a row, the cyclic collector paused as in timeit."""
    gc.collect()
    was_enabled = gc.isenabled()
    gc.disable()
    try:
        start = time.perf_counter()
        for _ in repeat(None, calls):
            function(payload)
        return (time.perf_counter() - start) / calls
    finally:
        if was_enabled:
            gc.enable()


def interleaved_medians(candidates, payload, settings):
    """Median seconds per call of each candidate, over rounds that run every candidate once.

    Each candidate runs a batch of about `settings.batch` seconds per round; the order rotates
    from round to round, so that drift on the machine reaches every candidate alike.
    """
    calls = {}
    for name, function in candidates.items():
        function(payload)  # warm-up: first calls pay for fresh memory
        once = seconds_per_call(function, payload, 1)
        calls[name] = max(1, int(settings.batch / max(once, 1e-9)))
    names = list(candidates)
    samples = {name: [] for name in names}
    deadline = time.perf_counter() + settings.budget
    rounds = 0
    while rounds < settings.min_rounds or (time.perf_counter() < deadline
                                           and rounds < settings.max_rounds):
        shift = rounds % len(names)
        for name in names[shift:] + names[:shift]:
            samples[name].append(seconds_per_call(candidates[name], payload, calls[name]))
        rounds += 1
    return {name: statistics.median(times) for name, times in samples.items()}, rounds


# The module reads decimal numbers by a fixed method that is not correctly rounded (a few steps of
# binary64 arithmetic), so some of its floats sit a unit or two in the last place away from the
# peers' correctly rounded ones.
FLOAT_ULPS = 2


def same_document(a, b, near):
    """Type-strict equality, object member order significant, except that two floats at most
    FLOAT_ULPS units in the last place apart count as equal, and so does the module's -0.0
    against a peer's 0 (the token -0 is a float in the module's number classes, an integer to the
    peers' libraries); both are tallied in near[0]."""
    kind = type(a)
    if kind is not type(b):
        if kind is float and type(b) is int and a == 0.0 and b == 0 and math.copysign(1.0, a) < 0:
            near[0] += 1
            return True
        return False
    if kind is list:
        return len(a) == len(b) and all(same_document(x, y, near) for x, y in zip(a, b))
    if kind is dict:
        return list(a) == list(b) and all(same_document(a[k], b[k], near) for k in a)
    if kind is float and a != b:
        if math.copysign(1.0, a) != math.copysign(1.0, b) or math.isinf(a) or math.isinf(b):
            return False
        if abs(a - b) > FLOAT_ULPS * math.ulp(max(abs(a), abs(b))):
            return False
        near[0] += 1
        return True
    return a == b and (kind is not float or math.copysign(1.0, a) == math.copysign(1.0, b))


def structure_difference(result, peer_result):
    """(difference, floats) where difference is None when both results read back (json.loads)
    as the same document, else where they differ, and floats counts the floats that differ in
    their last bits only."""
    try:
        mine, theirs = json.loads(result), json.loads(peer_result)
    except ValueError as error:
        return f"not JSON: {error}", 0
    if type(mine) is not dict or list(mine) != ["columns", "rows", "constants"]:
        return "members are not columns, rows, constants in that order", 0
    near = [0]
    for key in ("columns", "constants", "rows"):
        if not same_document(mine[key], theirs.get(key), near):
            return f'"{key}" differs', near[0]
    return None, near[0]


def measure_throughput(peers, settings, shapes=tuple(SHAPES), c_peers=None, yardstick=None):
    """Rates (MB/s) per shape and size, and the checks of each shape's largest size: that the
    module's result is the same document as the fastest yardstick peer's, and which of this
    repository's peers write the very same bytes. The C peers run interleaved with the others;
    the fastest peer is the fastest plain-Python one of `yardstick` (default: every peer), and
    where this repository's peers are not the yardstick, the fastest of them is reported too."""
    rows, checks = [], []
    for shape in shapes:
        for index, (size_label, target) in enumerate(settings.sizes):
            payload = make_payload(shape, target)
            row = throughput_row(payload, f"the {shape} payload", peers, settings, c_peers,
                                 yardstick)
            rows.append({"shape": shape, "size": size_label, **row})
            if row["fastest"] in peers and index == len(settings.sizes) - 1:
                checks.append({"shape": shape, **same_as_fastest(payload, peers, row["fastest"])})
    return rows, checks


def throughput_row(payload, what, peers, settings, c_peers=None, yardstick=None):
    """The rates (MB/s) of the module, the peers and the C peers on `payload`, interleaved, the
    fastest of the `yardstick` peers (default: every peer) and the module's rate over its; where
    this repository's peers are not the yardstick, the fastest of them and that ratio too."""
    c_peers = c_peers or {}
    yardstick = list(peers) if yardstick is None else yardstick
    repo_names = [name for name in peers if name.endswith(REPO_PEER_SUFFIX)]
    second = repo_names if repo_names and set(repo_names) != set(yardstick) else []
    for name, function in c_peers.items():
        if function(payload) < 0:
            raise RuntimeError(f"{name} refused {what} of {len(payload)} bytes")
    candidates = {"vantor_codec": vantor_codec.columnarize, **peers, **c_peers}
    medians, rounds = interleaved_medians(candidates, payload, settings)
    rates = {name: len(payload) / seconds / 1e6 for name, seconds in medians.items()}
    fastest = max(yardstick, key=rates.__getitem__) if yardstick else None
    row = {"bytes": len(payload), "rates": rates, "fastest": fastest or "none", "rounds": rounds,
           "ratio": rates["vantor_codec"] / rates[fastest] if fastest else float("nan")}
    if second:
        row["fastest_repo"] = max(second, key=rates.__getitem__)
        row["ratio_repo"] = rates["vantor_codec"] / rates[row["fastest_repo"]]
    return row


def same_as_fastest(payload, peers, fastest):
    """Whether the module's result on `payload` is the same document as the peer `fastest`'s,
    and which of this repository's peers write its very bytes."""
    result = vantor_codec.columnarize(payload)
    difference, floats = structure_difference(result, peers[fastest](payload))
    return {"bytes": len(payload), "against": fastest, "difference": difference,
            "floats": floats, "identical": [name for name in peers if name.endswith(
                REPO_PEER_SUFFIX) and peers[name](payload) == result]}


def fixed_cost(settings):
    """Best and median nanoseconds per call of columnarize(b'[]') and of an orjson round trip,
    interleaved, with the empty loop's time per iteration taken off both."""
    import orjson

    def empty_loop(calls):
        start = time.perf_counter()
        for _ in repeat(None, calls):
            pass
        return time.perf_counter() - start

    def columnarize_loop(calls, columnarize=vantor_codec.columnarize, empty=b"[]"):
        start = time.perf_counter()
        for _ in repeat(None, calls):
            columnarize(empty)
        return time.perf_counter() - start

    def orjson_loop(calls, dumps=orjson.dumps, loads=orjson.loads, empty=b"[]"):
        start = time.perf_counter()
        for _ in repeat(None, calls):
            dumps(loads(empty))
        return time.perf_counter() - start

    loops = {"empty": empty_loop, "columnarize": columnarize_loop, "orjson": orjson_loop}
    samples = {name: [] for name in loops}
    was_enabled = gc.isenabled()
    gc.disable()
    try:
        for loop in loops.values():
            loop(min(settings.fixed_calls, 1000))  # warm-up
        for _ in range(settings.fixed_rounds):
            for name, loop in loops.items():
                samples[name].append(loop(settings.fixed_calls) / settings.fixed_calls * 1e9)
    finally:
        if was_enabled:
            gc.enable()
    overhead = min(samples["empty"])
    result = {"overhead": overhead}
    for name in ("columnarize", "orjson"):
        result[name] = {"best": max(min(samples[name]) - overhead, 0.0),
                        "median": max(statistics.median(samples[name]) - overhead, 0.0)}
    return result


def thread_speedup(payload, calls, rounds):
    """Seconds for `calls` calls on one worker thread and for as many on each of two, each the
    best of `rounds`."""
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

    work()  # warm-up: first calls pay for fresh memory
    one = min(run_on(1) for _ in range(rounds))
    two = min(run_on(2) for _ in range(rounds))
    return one, two


def lock_held_share(payload, rounds):
    """Median seconds of one call and of stand-ins for the parts that hold the interpreter lock:
    copying the payload (memoryview.tobytes) and making a bytes object of the result's size from
    a ready buffer (bytes(bytearray)). The module's own copies are not visible from Python, so
    the share is an estimate."""
    ready = bytearray(vantor_codec.columnarize(payload))
    view = memoryview(payload)
    parts = {"call": lambda: vantor_codec.columnarize(payload),
             "copy_in": view.tobytes,
             "copy_out": lambda: bytes(ready)}
    samples = {name: [] for name in parts}
    for _ in range(rounds):
        for name, part in parts.items():
            start = time.perf_counter()
            part()
            samples[name].append(time.perf_counter() - start)
    seconds = {name: statistics.median(times) for name, times in samples.items()}
    seconds["result_bytes"] = len(ready)
    seconds["share"] = (seconds["copy_in"] + seconds["copy_out"]) / seconds["call"]
    return seconds


def minor_faults():
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt


def fastest_candidate(candidates, payload):
    """The name of the candidate whose one call (after one warm-up call) on `payload` took the
    least time: the fastest peer where the throughput table did not measure one."""
    seconds = {}
    for name, function in candidates.items():
        function(payload)
        seconds[name] = seconds_per_call(function, payload, 1)
    return min(seconds, key=seconds.__getitem__)


def alternating_calls(candidates, payload, calls):
    """Seconds and minor page faults of each call, the candidates taking turns call by call
    after one warm-up call each, as calls mix in a process that runs more than one library.
    The cyclic collector is paused, as in the other measurements."""
    samples = {name: {"seconds": [], "faults": []} for name in candidates}
    for function in candidates.values():
        function(payload)
    gc.collect()
    was_enabled = gc.isenabled()
    gc.disable()
    try:
        for _ in range(calls):
            for name, function in candidates.items():
                faults = minor_faults()
                start = time.perf_counter()
                function(payload)
                elapsed = time.perf_counter() - start
                samples[name]["faults"].append(minor_faults() - faults)
                samples[name]["seconds"].append(elapsed)
    finally:
        if was_enabled:
            gc.enable()
    return samples


def nearest_rank(samples, fraction):
    """The sample at `fraction` of the way up the sorted samples, by the nearest-rank method:
    the smallest sample that at least that fraction of the samples do not exceed."""
    ordered = sorted(samples)
    return ordered[max(0, math.ceil(fraction * len(ordered)) - 1)]


def tail_figures(seconds):
    """Median, 90th percentile (nearest rank), their ratio and the worst of a call's seconds."""
    median = statistics.median(seconds)
    p90 = nearest_rank(seconds, 0.9)
    return {"median": median, "p90": p90, "ratio": p90 / median if median else float("nan"),
            "worst": max(seconds)}


MEMORY_CHILD = r"""
import json, sys
import vantor_codec

def high_water_mark():
    with open("/proc/self/status", "rb") as status:
        for line in status:
            if line.startswith(b"VmHWM:"):
                return int(line.split()[1]) * 1024
    return None

with open(sys.argv[1], "rb") as source:
    payload = source.read()  # one allocation of the payload's size, nothing left over
before = high_water_mark()
result = vantor_codec.columnarize(payload)
after = high_water_mark()
print(json.dumps({"payload": len(payload), "output": len(result), "before": before,
                  "after": after}))
"""


def peak_memory(payload):
    """Peak resident memory one call adds (VmHWM after minus before), in a fresh process that
    reads the payload from a file, so that nothing built before the call hides its peak."""
    module_dir = str(Path(vantor_codec.__file__).resolve().parent)
    environment = dict(os.environ)
    environment["PYTHONPATH"] = os.pathsep.join(
        filter(None, [module_dir, environment.get("PYTHONPATH")]))
    with tempfile.NamedTemporaryFile(suffix=".json") as source:
        source.write(payload)
        source.flush()
        finished = subprocess.run([sys.executable, "-c", MEMORY_CHILD, source.name],
                                  env=environment, capture_output=True, text=True)
    if finished.returncode != 0:
        raise RuntimeError(f"the memory measurement's process failed:\n{finished.stderr}")
    measured = json.loads(finished.stdout)
    if measured["before"] is None or measured["after"] is None:
        measured["extra"] = measured["ratio"] = None
    else:
        measured["extra"] = measured["after"] - measured["before"]
        measured["ratio"] = measured["extra"] / (measured["payload"] + measured["output"])
    return measured


# --- the report -------------------------------------------------------------------------------


def table(header, rows):
    """A markdown table; columns whose first cell is a number are right-aligned."""
    def numeric(cell):
        try:
            float(str(cell).replace(",", ""))
        except ValueError:
            return False
        return True

    lines = ["| " + " | ".join(header) + " |",
             "| " + " | ".join("---:" if rows and numeric(rows[0][i]) else "---"
                               for i in range(len(header))) + " |"]
    lines += ["| " + " | ".join(str(cell) for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def run(settings, write=print, memory_shapes=tuple(SHAPES), sections=SECTIONS,
        c_peers_path=None):
    """Measure the chosen sections and write the report; returns the candidates' names and the
    throughput rows for the chart, and whether every structure check passed."""
    module, shared_peers, missing = load_peers(PEERS_FILE)
    repo_peers, repo_missing = load_repo_peers()
    peers = {**shared_peers, **repo_peers}
    yardstick = list(shared_peers) if shared_peers else list(repo_peers)
    c_peers, c_missing, c_call = load_c_peers(c_peers_path)
    names = ["vantor_codec", *peers, *c_peers]
    write(f"Python {sys.version.split()[0]}; vantor_codec from {vantor_codec.__file__}")
    if module is None:
        write(f"shared plain-Python peers: none ({PEERS_FILE} is missing); the fastest peer is "
              "this repository's")
    else:
        write(f"shared plain-Python peers, the yardstick ({PEERS_FILE}): "
              + ", ".join(shared_peers)
              + (f" ({', '.join(missing)} not installed)" if missing else ""))
    write(f"this repository's plain-Python peers ({REPO_PEERS_FILE.name}): "
          + ", ".join(repo_peers)
          + (f" ({', '.join(repo_missing)} not installed)" if repo_missing else ""))
    write(c_peers_line(c_peers, c_missing, c_peers_path))
    write("Timings interleave the candidates within this run; the cyclic garbage collector is "
          "paused while they run, as timeit does.")

    rows, all_same = [], True
    if "throughput" in sections:
        rows, all_same = report_throughput(peers, c_peers, c_call, settings, write, yardstick)
    if "faults" in sections:
        report_faults(peers, rows, settings, write)
    if "tail" in sections:
        report_tail(peers, settings, write)
    if "fixed" in sections:
        report_fixed_cost(settings, write)
    if "threads" in sections:
        report_threads(settings, write)
    if "memory" in sections:
        report_memory(memory_shapes, settings, write)

    chart_rows = [ChartRow(f"{SHAPES[row['shape']][0]} {row['size']}", row["rates"],
                           row["fastest"] if row["fastest"] in peers else None)
                  for row in rows]
    return names, chart_rows, all_same


@dataclasses.dataclass(frozen=True)
class ChartRow:
    label: str  # shape and size
    rates: dict  # MB/s by candidate
    fastest: str | None  # the fastest plain-Python peer, None without one


def report_throughput(peers, c_peers, c_call, settings, write, yardstick=None):
    """The throughput table and the structure checks; returns the table's rows and whether every
    check passed."""
    rows, checks = measure_throughput(peers, settings, c_peers=c_peers, yardstick=yardstick)
    names = ["vantor_codec", *peers, *c_peers]
    second = any("fastest_repo" in row for row in rows)
    write("\n## Throughput, MB/s of payload (median of rounds; goal: vantor ÷ fastest peer "
          "at least 5)\n")
    if second:
        write("The fastest peer is the fastest shared one, the goal's yardstick; the fastest of "
              "this repository's peers is set beside it.\n")
    if c_peers:
        call = seconds_per_call(c_call, C_PEER_PROBE, settings.fixed_calls) * 1e9
        write("The C peers are reference points, not alternatives: "
              + "; ".join(c_peer_meaning(name) for name in c_peers)
              + f". Each call goes through ctypes, about {call:.0f} ns that a C caller would not "
              "pay (a call that does nothing), which matters at 1 KB only. The fastest peer is "
              "the fastest plain-Python one.\n")
    write(table(["shape", "size", "payload bytes", *names, "fastest peer", "vantor ÷ fastest",
                 *(["fastest in-repo peer", "vantor ÷ fastest in repo"] if second else []),
                 *(f"vantor ÷ {name}" for name in c_peers), "rounds"],
                [[SHAPES[row["shape"]][0], row["size"], f"{row['bytes']:,}",
                  *(f"{row['rates'][name]:.1f}" for name in names), row["fastest"],
                  f"{row['ratio']:.2f}",
                  *([row["fastest_repo"], f"{row['ratio_repo']:.2f}"] if second else []),
                  *(f"{row['rates']['vantor_codec'] / row['rates'][name]:.2f}"
                    for name in c_peers), row["rounds"]] for row in rows]))

    write("\n## Same document as the fastest peer (both results read back with json.loads), and "
          "this repository's peers that write the module's very bytes\n")
    write(table(["shape", "payload bytes", "against", "result",
                 "floats apart in the last bits, or -0.0 for 0", "byte for byte"],
                [[SHAPES[check["shape"]][0], f"{check['bytes']:,}", check["against"],
                  "same" if check["difference"] is None else "DIFFERENT: " + check["difference"],
                  f"{check['floats']:,}", ", ".join(check["identical"]) or "none"]
                 for check in checks]))
    return rows, all(check["difference"] is None for check in checks)


def report_faults(peers, rows, settings, write):
    """Minor page faults per call on every shape at the largest size, for the module and the
    fastest peer of the throughput table (or of one call each, without that table)."""
    size_label, target = settings.sizes[-1]
    fastest_in_table = {row["shape"]: row["fastest"] for row in rows
                        if row["size"] == size_label and row["fastest"] in peers}
    write(f"\n## Minor page faults per call ({size_label} payloads, the mean of "
          f"{settings.fault_calls} calls of each after a warm-up call, the module's calls "
          "alternating with the fastest peer's; ru_minflt of getrusage)\n")
    fault_rows = []
    for shape in SHAPES:
        payload = make_payload(shape, target)
        candidates = {"vantor_codec": vantor_codec.columnarize}
        peer = fastest_in_table.get(shape) or (fastest_candidate(peers, payload) if peers
                                               else None)
        if peer:
            candidates[peer] = peers[peer]
        samples = alternating_calls(candidates, payload, settings.fault_calls)
        mine = statistics.fmean(samples["vantor_codec"]["faults"])
        theirs = statistics.fmean(samples[peer]["faults"]) if peer else None
        pages = len(payload) / resource.getpagesize()
        fault_rows.append([SHAPES[shape][0], f"{len(payload):,}", f"{mine:,.1f}",
                           f"{mine / pages:.3f}", peer or "none",
                           "n/a" if theirs is None else f"{theirs:,.1f}",
                           "n/a" if theirs is None else f"{theirs / pages:.3f}"])
    write(table(["shape", "payload bytes", "vantor_codec faults", "per payload page",
                 "fastest peer", "peer faults", "per payload page"], fault_rows))


def report_tail(peers, settings, write):
    """The spread of single calls on large payloads, the module's calls taking turns with the
    fastest peer's on the same payload, as in a process whose memory churns."""
    megabytes = settings.tail_bytes / (1 << 20)
    write(f"\n## Tail of single calls ({megabytes:g} MiB payloads, {settings.tail_calls} calls "
          "of each candidate, the module's calls alternating with the fastest peer's; "
          "90th percentile by nearest rank)\n")
    tail_rows = []
    for shape in TAIL_SHAPES:
        payload = make_payload(shape, settings.tail_bytes)
        candidates = {"vantor_codec": vantor_codec.columnarize}
        if peers:
            peer = fastest_candidate(peers, payload)
            candidates[peer] = peers[peer]
        samples = alternating_calls(candidates, payload, settings.tail_calls)
        for name, measured in samples.items():
            figures = tail_figures(measured["seconds"])
            tail_rows.append([SHAPES[shape][0], f"{len(payload):,}", name,
                              f"{figures['median'] * 1e3:.3f}", f"{figures['p90'] * 1e3:.3f}",
                              f"{figures['ratio']:.2f}", f"{figures['worst'] * 1e3:.3f}"])
    write(table(["shape", "payload bytes", "candidate", "median ms", "p90 ms", "p90 ÷ median",
                 "worst ms"], tail_rows))
    if not peers:
        write("\nno plain-Python peer to alternate with: the module's calls ran in a row")


def report_fixed_cost(settings, write):
    """columnarize(b'[]') beside an orjson round trip of the same bytes."""
    if importlib.util.find_spec("orjson") is not None:
        cost = fixed_cost(settings)
        write(f"\n## Fixed cost of a call, ns ({settings.fixed_calls:,} calls a round, "
              f"{settings.fixed_rounds} rounds, the empty loop's {cost['overhead']:.0f} ns per "
              "call taken off; goal: ratio at most 1.5)\n")
        ratio = {key: cost["columnarize"][key] / cost["orjson"][key]
                 if cost["orjson"][key] else float("nan") for key in ("best", "median")}
        write(table(["call", "best", "median"],
                    [["columnarize(b'[]')", f"{cost['columnarize']['best']:.0f}",
                      f"{cost['columnarize']['median']:.0f}"],
                     ["orjson.dumps(orjson.loads(b'[]'))", f"{cost['orjson']['best']:.0f}",
                      f"{cost['orjson']['median']:.0f}"],
                     ["ratio", f"{ratio['best']:.2f}", f"{ratio['median']:.2f}"]]))
    else:
        write("\n## Fixed cost of a call: skipped, orjson is not installed")


def report_threads(settings, write):
    """Two threads over one, and the estimated share of a call that holds the interpreter lock."""
    payload = make_payload("tool_call", settings.thread_bytes)
    megabytes = len(payload) / 1e6
    one, two = thread_speedup(payload, settings.thread_calls, settings.thread_rounds)
    write(f"\n## Two threads over one (tool-call rows, {megabytes:.1f} MB, "
          f"{settings.thread_calls} calls per thread, best of {settings.thread_rounds}, worker "
          "threads; goal: at least 1.9)\n")
    write(table(["threads", "seconds", "MB/s"],
                [[1, f"{one:.3f}", f"{settings.thread_calls * megabytes / one:.1f}"],
                 [2, f"{two:.3f}", f"{2 * settings.thread_calls * megabytes / two:.1f}"]]))
    write(f"\nspeed-up: {2 * one / two:.2f}")

    held = lock_held_share(payload, max(3, settings.thread_rounds * 3))
    write(f"\n## Share of a call holding the interpreter lock (ESTIMATE from stand-ins, same "
          f"{megabytes:.1f} MB payload, median of rounds)\n")
    write(table(["part", "ms"],
                [["copy of the payload: memoryview(payload).tobytes()",
                  f"{held['copy_in'] * 1e3:.2f}"],
                 [f"bytes of the result's size ({held['result_bytes']:,}) from a ready buffer: "
                  "bytes(bytearray)", f"{held['copy_out'] * 1e3:.2f}"],
                 ["one columnarize call", f"{held['call'] * 1e3:.2f}"]]))
    share = held["share"]
    write(f"\nestimated lock-held share: {share:.1%}; if that part never overlapped the other "
          f"thread's work, two threads could reach at most 2 / (1 + share) = "
          f"{2 / (1 + share):.2f}")


def report_memory(memory_shapes, settings, write):
    """The peak extra resident memory of one call, each shape in a fresh process."""
    write("\n## Peak extra resident memory of one call (a fresh process each, VmHWM of "
          "/proc/self/status before and after; goal: at most 1.5)\n")
    memory_rows = []
    for shape in memory_shapes:
        measured = peak_memory(make_payload(shape, settings.memory_bytes))
        memory_rows.append([
            SHAPES[shape][0], f"{measured['payload']:,}", f"{measured['output']:,}",
            "n/a" if measured["extra"] is None else f"{measured['extra']:,}",
            "n/a" if measured["ratio"] is None else f"{measured['ratio']:.2f}"])
    write(table(["shape", "payload bytes", "output bytes", "extra bytes",
                 "extra ÷ (payload + output)"], memory_rows))


# The chart's second panel: the C references drawn as bars, side by side in each row (yyjson's
# full read and write, and the validating walk, the least a strict columnarize must do), then
# those drawn as marks on the row.
CHART_BAR_REFERENCES = ("yyjson read+write", "simdjson validating walk")
CHART_MARKS = {"simdjson validating walk (baseline)": "x", "simdjson parse": "o"}


def write_chart(path, chart_rows, title):
    """One bar per shape and size: the module's speed-up over the fastest plain-Python peer, and
    beside it the module's rate over yyjson read+write and over the validating walk as two bars,
    with its rate over the other C references as marks on the same row. Both axes are ratios, so a reader sees at once where the module
    stands against each goal (the dashed lines)."""
    import matplotlib

    matplotlib.use("Agg")  # no display: the chart only goes to a file
    import matplotlib.pyplot as plt
    from matplotlib.patches import Patch

    rows = [row for row in chart_rows if row.fastest]
    if not rows:
        return False
    references = [name for name in (*CHART_BAR_REFERENCES, *CHART_MARKS) if name in rows[0].rates]
    sizes = list(dict.fromkeys(row.label.rsplit(" ", 1)[1] for row in rows))
    colours = dict(zip(sizes, ("#9ecae1", "#4292c6", "#08519c", "#08306b")))
    # Shapes one under the other, their sizes grouped, a gap between shapes.
    positions, shape_index, previous = [], -1, None
    for row in rows:
        shape = row.label.rsplit(" ", 1)[0]
        if shape != previous:
            shape_index, previous = shape_index + 1, shape
        positions.append(shape_index * (len(sizes) + 1) + sizes.index(row.label.rsplit(" ", 1)[1]))
    panels = 2 if references else 1
    figure, axes = plt.subplots(1, panels, figsize=(7.0 * panels, 0.24 * positions[-1] + 2.6),
                                dpi=100, sharey=True, squeeze=False)
    axes = axes[0]
    bar_colours = [colours[row.label.rsplit(" ", 1)[1]] for row in rows]

    speed_ups = [row.rates["vantor_codec"] / row.rates[row.fastest] for row in rows]
    bars = axes[0].barh(positions, speed_ups, color=bar_colours, height=0.85)
    axes[0].bar_label(bars, fmt="%.1f", fontsize=7, padding=2)
    axes[0].axvline(5.0, color="#cb181d", linestyle="--", linewidth=1)
    axes[0].set_xlabel("columnarize ÷ fastest plain-Python transform (goal: 5, dashed)")
    axes[0].set_title("speed-up over plain Python", fontsize=10)

    if references:
        bar_names = [name for name in CHART_BAR_REFERENCES if name in references]
        marks = [name for name in references if name not in bar_names]
        every_ratio = [row.rates["vantor_codec"] / row.rates[name] for row in rows
                       for name in references]
        low = min(0.1, min(every_ratio) / 1.5)
        axes[1].set_xlim(low, max(2.0, 1.2 * max(every_ratio)))
        # Each bar takes its share of the row's height, the first on top; the values stand at the
        # bars' feet, clear of the marks, which fall anywhere along a row.
        height = 0.85 / max(len(bar_names), 1)
        for index, bar_name in enumerate(bar_names):
            offset = (index - (len(bar_names) - 1) / 2) * height
            ratios = [row.rates["vantor_codec"] / row.rates[bar_name] for row in rows]
            hatch = None if index == 0 else "////"
            axes[1].barh([position + offset for position in positions], ratios,
                         color=bar_colours, height=height, hatch=hatch, edgecolor="white",
                         linewidth=0, label=f"÷ {bar_name} ({'plain' if index == 0 else 'hatched'}"
                                            " bar, value at its foot)")
            for position, ratio, colour in zip(positions, ratios, bar_colours):
                dark = colour != colours[sizes[0]] and ratio > low * 1.6
                axes[1].text(low * 1.03, position + offset, f"{ratio:.2f}", va="center",
                             fontsize=5.5 if len(bar_names) > 1 else 7,
                             color="white" if dark else "black")
        for name in marks:
            axes[1].scatter([row.rates["vantor_codec"] / row.rates[name] for row in rows],
                            positions, marker=CHART_MARKS.get(name, "D"), s=18, color="#252525",
                            zorder=3, label=f"÷ {name}")
        axes[1].axvline(1.0, color="#cb181d", linestyle="--", linewidth=1)
        axes[1].set_xscale("log")
        ticks = [tick for tick in (0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10)
                 if axes[1].get_xlim()[0] <= tick <= axes[1].get_xlim()[1]]
        axes[1].set_xticks(ticks, [f"{tick:g}" for tick in ticks])
        axes[1].set_xlabel("columnarize ÷ C reference (above 1: faster; log scale)")
        axes[1].set_title("against C libraries that make no columns", fontsize=10)
        axes[1].legend(loc="upper center", bbox_to_anchor=(0.5, -0.06), ncol=2, fontsize=7,
                       frameon=False)

    axes[0].set_yticks(positions, [row.label for row in rows], fontsize=7)
    axes[0].invert_yaxis()
    for axis in axes:
        axis.grid(axis="x", alpha=0.3)
    handles = [Patch(color=colours[size], label=size) for size in sizes]
    axes[0].legend(handles=handles, loc="upper center", bbox_to_anchor=(0.5, -0.06),
                   ncol=len(handles), fontsize=7, frameon=False, title="payload", title_fontsize=7)
    figure.suptitle(title, fontsize=11)
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true",
                        help="a smoke test: few rounds, no 10 MB payloads")
    parser.add_argument("--chart", metavar="PATH", help="also write the throughput as a PNG chart")
    parser.add_argument("--sections", default=",".join(SECTIONS),
                        help="the sections to run, comma-separated, from "
                             f"{','.join(SECTIONS)} (default: all)")
    parser.add_argument("--c-peers", metavar="LIBRARY", default=os.environ.get(C_PEERS_VARIABLE),
                        help="the C peers' library, bench/c_peers in a benchmark build (default: "
                             f"${C_PEERS_VARIABLE}, which ./dev bench sets)")
    args = parser.parse_args()
    sections = [section.strip() for section in args.sections.split(",") if section.strip()]
    unknown = sorted(set(sections) - set(SECTIONS))
    if unknown or not sections:
        parser.error(f"unknown sections {unknown}; choose from {', '.join(SECTIONS)}")
    names, chart_rows, all_same = run(QUICK if args.quick else FULL,
                                      write=lambda line: print(line, flush=True),
                                      sections=sections, c_peers_path=args.c_peers)
    if args.chart and chart_rows:
        title = (f"columnarize against the fastest Python transform and C references, Python "
                 f"{sys.version.split()[0]}, one bar per shape and size")
        if write_chart(args.chart, chart_rows, title):
            print(f"\nchart written to {args.chart}")
        else:
            print("\nno chart: it needs a plain-Python peer")
    if not all_same:
        print("\nbench.py: columnarize's result differs from a peer's (see above)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
