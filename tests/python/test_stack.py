"""Calls with little C stack left: the deepest payloads the module accepts (and refuses) must work
on a thread with the smallest stack the interpreter allows, and just after a RecursionError that
exhausted the interpreter's C stack. Each runs in a fresh interpreter, so that a crash fails the
test instead of ending the run."""

import textwrap

import pytest

# The deepest payloads and what each must give: ("ok", result bytes) or ("RuntimeError", message).
CASES_SOURCE = textwrap.dedent('''
    import vantor_codec

    def nested(shape, levels, leaf):
        opening, closing = "", ""
        for level in range(levels):
            array = shape == "arrays" or (shape == "mixed" and level % 2 == 0)
            opening += "[" if array else '{"k":'
            closing = ("]" if array else "}") + closing
        return opening + leaf + closing

    # The top-level array is level 1 and a row level 2: a row member holds levels 3 to 127.
    MEMBER_LEVELS = 125
    CASES = []
    for shape in ("arrays", "objects", "mixed"):
        deep, other = nested(shape, MEMBER_LEVELS, "1"), nested(shape, MEMBER_LEVELS, "2")
        CASES += [
            ('[{"a":%s}]' % deep, ("ok", '{"columns":["a"],"rows":[[%s]],"constants":{}}' % deep)),
            ('[{"a":%s},{"a":%s}]' % (deep, deep),
             ("ok", '{"columns":[],"rows":[[],[]],"constants":{"a":%s}}' % deep)),
            ('[{"a":%s},{"a":%s}]' % (deep, other),
             ("ok", '{"columns":["a"],"rows":[[%s],[%s]],"constants":{}}' % (deep, other))),
        ]
        if shape != "objects":
            element = nested(shape, MEMBER_LEVELS + 1, "1")
            CASES.append(("[%s]" % element,
                          ("RuntimeError", "expected a JSON object row, got: " + element)))
    CASES += [
        ("[" * 128, ("RuntimeError",
                     "invalid row-oriented JSON: recursion limit exceeded at line 1 column 128")),
        ("[" * 127 + "x", ("RuntimeError",
                           "invalid row-oriented JSON: expected value at line 1 column 128")),
    ]

    def run_cases():
        """One line per case: whether the call gave what it should."""
        results = []
        for payload, expected in CASES:
            try:
                outcome = ("ok", vantor_codec.columnarize(payload.encode()).decode())
            except RuntimeError as error:
                outcome = ("RuntimeError", str(error))
            results.append("pass" if outcome == expected else "FAIL %r" % (outcome[1][:80],))
        return results
''')

SMALL_THREAD_STACK = CASES_SOURCE + textwrap.dedent("""
    import threading
    # The smallest stack this interpreter lets a thread have, in steps of a 4 KiB page: 52 KiB
    # for CPython 3.14 on x86-64 (32 KiB before), where the C library allows 16 KiB; 128 KiB on
    # aarch64, the C library's own minimum there.
    for size in range(32768, 1 << 20, 4096):
        try:
            threading.stack_size(size)
            break
        except ValueError:
            pass
    else:
        raise SystemExit("threading.stack_size accepted no size below 1 MiB")
    results = []
    thread = threading.Thread(target=lambda: results.extend(run_cases()))
    thread.start()
    thread.join()
    print(size)
    print("\\n".join(results))
""")

AFTER_RECURSION_ERROR = CASES_SOURCE + textwrap.dedent("""
    import sys
    sys.setrecursionlimit(10**7)
    results = []
    def recurse(depth):
        try:
            list(map(recurse, [depth + 1]))  # through C frames until the C stack runs short
        except RecursionError:
            pass
        if not results:  # the deepest frame that returns normally
            results.extend(run_cases())
        return depth
    recurse(0)
    print("after RecursionError")
    print("\\n".join(results))
""")


@pytest.mark.parametrize("script", [SMALL_THREAD_STACK, AFTER_RECURSION_ERROR],
                         ids=["small_thread_stack", "after_recursion_error"])
def test_deepest_payloads_with_little_stack_left(script, python_in_subprocess):
    result = python_in_subprocess(script)
    assert result.returncode == 0, (result.returncode, result.stderr[-2000:])
    lines = result.stdout.splitlines()
    assert len(lines) == 1 + 13, result.stdout
    if script is SMALL_THREAD_STACK:
        assert int(lines[0]) <= 128 * 1024, "the thread's stack is not small"
    assert lines[1:] == ["pass"] * 13, lines
