"""Payloads of gigabytes at their real size, each in a child process of its own under an
address-space limit: the exact result or the exact error, never a MemoryError that the payload's
copy and its result alone would not explain.

Two families:
- the address space a call needs beyond the process, on payloads of 256 MiB: a small multiple of
  the payload, whatever its shape (run by default);
- payloads past 2^31 and 2^32 bytes, each under a limit of 22 GiB for the whole process, as a
  caller on a 24 GiB machine would set it. They take minutes and most of such a machine's
  memory, so they run only with VANTOR_BIG_PAYLOADS=1 (`./dev test-big`), and each is skipped
  where the memory it needs is not available.
"""

import os
import textwrap

import pytest
from conftest import EMULATOR, SANITIZED

GIB = 1 << 30
MIB = 1 << 20

pytestmark = [
    pytest.mark.skipif(SANITIZED, reason="the sanitizers reserve the address space for shadow memory"),
    pytest.mark.skipif(EMULATOR.startswith("qemu"),
                       reason="qemu-user accepts setrlimit(RLIMIT_AS) without applying it"),
]


def available_memory():
    with open("/proc/meminfo") as meminfo:
        for line in meminfo:
            if line.startswith("MemAvailable:"):
                return int(line.split()[1]) * 1024
    return 0


def needs_memory(required):
    if available_memory() < required:
        pytest.skip(f"needs {required / GIB:.1f} GiB of available memory")


# The child: builds the payload named by CASE without a second copy of it, limits its address
# space, calls once, and prints what came out as a few checked facts, so that gigabytes never
# travel through a pipe.
CHILD = textwrap.dedent("""
    import hashlib, resource, sys
    import vantor_codec

    def address_space():
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmSize:"):
                    return int(line.split()[1]) * 1024

    def build(parts):
        # The parts are runs given as (bytes, count), written into one bytearray: a long run by
        # doubling what is written of it, so that nothing of the payload's size is made twice.
        size = sum(len(piece) * count for piece, count in parts)
        payload = bytearray(size)
        view = memoryview(payload)
        at = 0
        for piece, count in parts:
            run = len(piece) * count
            view[at:at + len(piece)] = piece
            filled = len(piece)
            while filled < run:
                step = min(filled, run - filled)
                view[at + filled:at + filled + step] = view[at:at + step]
                filled += step
            at += run
        view.release()
        return payload

    def digest(data):
        return hashlib.sha256(data).hexdigest()[:16]

    PARTS = PARTS_HERE
    payload = bytes(build(PARTS))  # the bytearray is gone once frozen
    LIMIT
    try:
        result = vantor_codec.columnarize(payload)
        outcome = ("result", len(result), digest(result))
    except MemoryError:
        outcome = ("MemoryError",)
    except RuntimeError as error:
        text = str(error).encode()
        outcome = ("RuntimeError", len(text), digest(text))
    print(repr(outcome))
""")


def expected_of(parts):
    """The outcome the child prints for the text those parts spell."""
    import hashlib

    digest = hashlib.sha256()
    size = 0
    for piece, count in parts:
        # Feed long runs in chunks, so that the test process never holds a payload's size.
        chunk = piece * max(1, (1 << 22) // max(1, len(piece)))
        left = count
        while left > 0:
            take = min(left, len(chunk) // len(piece))
            digest.update(chunk[:take * len(piece)])
            left -= take
        size += len(piece) * count
    return size, digest.hexdigest()[:16]


def run_case(parts, limit_line, python_in_subprocess, timeout=1800):
    from conftest import MODULE_DIR

    code = CHILD.replace("PARTS_HERE", repr(parts)).replace("LIMIT", limit_line)
    finished = python_in_subprocess(code, module_dir=MODULE_DIR, timeout=timeout)
    assert finished.returncode == 0, finished.stderr[-4000:]
    return eval(finished.stdout.strip())  # a tuple of strings and numbers printed by repr


def address_space_limit_beyond_process(multiple, payload_size):
    return textwrap.dedent(f"""
    limit = address_space() + int({multiple} * {payload_size})
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    """).strip().replace("\n", "; ")


# Address space beyond the process's own, as a multiple of the payload: (name, the payload's
# parts, the result's parts, the multiple). The payloads are 256 MiB.
N = 256 * MIB
ADDRESS_SPACE_CASES = [
    ("one long string",
     [(b'[{"a":"', 1), (b"x", N - 10), (b'"}]', 1)],
     [(b'{"columns":["a"],"rows":[["', 1), (b"x", N - 10), (b'"]],"constants":{}}', 1)],
     3.5),
    ("spaces around one member",
     [(b"[{", 1), (b" ", N // 2), (b'"a":1', 1), (b" ", N // 2), (b"}]", 1)],
     [(b'{"columns":["a"],"rows":[[1]],"constants":{}}', 1)],
     2.5),
    ("many short rows",
     [(b"[", 1), (b'{"a":1,"b":"xy"},', N // 17), (b'{"a":1,"b":"xy"}]', 1)],
     [(b'{"columns":[],"rows":[', 1), (b"[],", N // 17), (b'[]],"constants":{"a":1,"b":"xy"}}', 1)],
     6.0),
]


@pytest.mark.parametrize("name, parts, result, multiple", ADDRESS_SPACE_CASES,
                         ids=[case[0] for case in ADDRESS_SPACE_CASES])
def test_a_payload_needs_a_small_multiple_of_its_size(name, parts, result, multiple,
                                                      python_in_subprocess):
    payload_size = sum(len(piece) * count for piece, count in parts)
    needs_memory(int((multiple + 2) * payload_size))
    outcome = run_case(parts, address_space_limit_beyond_process(multiple, payload_size),
                       python_in_subprocess)
    assert outcome == ("result", *expected_of(result))


def error_parts(message):
    return [(b"invalid row-oriented JSON: " + message, 1)]


# Past 2^31 and 2^32 bytes: (name, payload parts, expected outcome kind, expected text parts,
# memory the case needs).
B31 = 1 << 31
B32 = 1 << 32
BIG_CASES = [
    ("string of 2^31 bytes",
     [(b'[{"a":"', 1), (b"x", B31), (b'"}]', 1)], "result",
     [(b'{"columns":["a"],"rows":[["', 1), (b"x", B31), (b'"]],"constants":{}}', 1)], 10 * GIB),
    ("name of 2^31 bytes",
     [(b'[{"', 1), (b"k", B31), (b'":1}]', 1)], "result",
     [(b'{"columns":["', 1), (b"k", B31), (b'"],"rows":[[1]],"constants":{}}', 1)], 10 * GIB),
    ("members past 4 GiB",
     [(b'[{"a":1,"s":"', 1), (b"x", B32), (b'","b":[1.50,"tail"]},{"a":1,"b":2}]', 1)], "result",
     [(b'{"columns":["s","b"],"rows":[["', 1), (b"x", B32),
      (b'",[1.5,"tail"]],[null,2]],"constants":{"a":1}}', 1)], 18 * GIB),
    ("2^32 spaces around one member",
     [(b"[{", 1), (b" ", B32), (b'"a":1}]', 1)], "result",
     [(b'{"columns":["a"],"rows":[[1]],"constants":{}}', 1)], 12 * GIB),
    ("2^32 spaces before an error",
     [(b"[", 1), (b" ", B32), (b"x", 1)], "RuntimeError",
     error_parts(b"expected value at line 1 column %d" % (B32 + 2)), 12 * GIB),
    ("2^32 spaces before the end",
     [(b"[{", 1), (b" ", B32)], "RuntimeError",
     error_parts(b"EOF while parsing an object at line 1 column %d" % (B32 + 2)), 12 * GIB),
    ("2^32 newlines before an error",
     [(b"[", 1), (b"\n", B32), (b"x", 1)], "RuntimeError",
     error_parts(b"expected value at line %d column 1" % (B32 + 1)), 12 * GIB),
    ("a row quoting 2^31 bytes",
     [(b'["', 1), (b"x", B31), (b'"]', 1)], "RuntimeError",
     [(b'expected a JSON object row, got: "', 1), (b"x", B31), (b'"', 1)], 10 * GIB),
    ("a top-level string of 2^31 bytes",
     [(b'"', 1), (b"x", B31), (b'"', 1)], "RuntimeError",
     [(b'invalid row-oriented JSON: invalid type: string "', 1), (b"x", B31),
      (b'", expected a sequence at line 1 column %d' % (B31 + 2), 1)], 10 * GIB),
    ("2^32 digits and an exponent out of range",
     [(b'[{"a":', 1), (b"1", B32), (b"e5}]", 1)], "RuntimeError",
     error_parts(b"number out of range at line 1 column %d" % (6 + B32 + 2)), 12 * GIB),
    # An exponent beyond 32 bits that is negative leaves zero, whatever the digits before it.
    ("2^32 digits and an exponent beyond 32 bits",
     [(b'[{"a":', 1), (b"1", B32), (b"e-%d}]" % (B32 - 1), 1)], "result",
     [(b'{"columns":["a"],"rows":[[0.0]],"constants":{}}', 1)], 12 * GIB),
    ("escapes written past 2^32 bytes",
     [(b'[{"a":"', 1), (b"\\n", B31), (b'"}]', 1)], "result",
     [(b'{"columns":["a"],"rows":[["', 1), (b"\\n", B31), (b'"]],"constants":{}}', 1)],
     20 * GIB),
]

big_payloads = pytest.mark.skipif(os.environ.get("VANTOR_BIG_PAYLOADS") != "1",
                                  reason="set VANTOR_BIG_PAYLOADS=1 (./dev test-big) to run")

# The whole process's address space, as a caller on a 24 GiB machine would bound it.
LIMIT_22_GIB = "resource.setrlimit(resource.RLIMIT_AS, (22 * 2**30, 22 * 2**30))"


@big_payloads
@pytest.mark.parametrize("name, parts, kind, text, memory", BIG_CASES,
                         ids=[case[0] for case in BIG_CASES])
def test_big_payloads_give_their_exact_outcome(name, parts, kind, text, memory,
                                               python_in_subprocess):
    needs_memory(memory)
    outcome = run_case(parts, LIMIT_22_GIB, python_in_subprocess)
    assert outcome == (kind, *expected_of(text))
