"""Calls from several threads, and the interpreter lock released while the transform runs."""

import json
import sys
import threading


def sparse_rows(count):
    return [
        {"id": i, "name": f"row {i}", "kind": "call", f"extra_{i % 7}": [i, None, {"k": i / 3}]}
        for i in range(count)
    ]


def test_threads_get_identical_results(codec):
    payloads = [json.dumps(sparse_rows(n)).encode() for n in (1, 50, 400)]
    payloads.append(b'[{"a":1},[1, 2]]')
    expected = []
    for payload in payloads:
        try:
            expected.append(codec.columnarize(payload))
        except RuntimeError as error:
            expected.append(str(error))
    start = threading.Barrier(6)
    mismatches = []

    def work():
        start.wait()
        for _ in range(40):
            for payload, want in zip(payloads, expected):
                try:
                    got = codec.columnarize(payload)
                except RuntimeError as error:
                    got = str(error)
                if got != want:
                    mismatches.append((payload[:40], got[:80]))

    threads = [threading.Thread(target=work) for _ in range(6)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert mismatches == []


def test_the_lock_is_released_during_the_transform(codec):
    # With a switch interval far longer than the test, the counting thread can run while the
    # main thread is inside columnarize only if the call itself lets go of the lock: the
    # interpreter never takes it from the main thread by force in that time.
    payload = json.dumps(sparse_rows(60_000)).encode()
    go = threading.Event()
    count = [0]

    def counter():
        go.wait()
        while count[0] < 1_000_000:
            count[0] += 1

    previous = sys.getswitchinterval()
    sys.setswitchinterval(1000.0)
    thread = threading.Thread(target=counter)
    try:
        thread.start()
        go.set()
        before = count[0]
        codec.columnarize(payload)
        during = count[0] - before
    finally:
        sys.setswitchinterval(previous)
        go.set()
        thread.join()
    assert before == 0
    assert during > 0, "no Python thread ran while columnarize was working"
