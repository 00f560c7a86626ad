"""Calls from several threads, and the interpreter lock released while the transform runs."""

import json
import sys
import threading

import pytest


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


def while_a_thread_counts(work):
    """Calls work(counted) while another thread waits for the lock to count to a million, and
    returns what the counter had reached before the call and what work returned. counted() says
    how far the thread has counted since. With a switch interval far longer than the test, the
    counting thread can run while this one is inside columnarize only if the call itself lets go
    of the lock: the interpreter never takes it from this thread by force in that time."""
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
        result = work(lambda: count[0] - before)
    finally:
        sys.setswitchinterval(previous)
        go.set()
        thread.join()
    return before, result


def test_the_lock_is_released_during_the_transform(codec):
    payload = json.dumps(sparse_rows(60_000)).encode()

    def one_call(counted):
        codec.columnarize(payload)
        return counted()

    before, during = while_a_thread_counts(one_call)
    assert before == 0
    assert during > 0, "no Python thread ran while columnarize was working"


def payload_of_size(size):
    head, tail = b'[{"a":"', b'"}]'
    return head + b"x" * (size - len(head) - len(tail)) + tail


# Small payloads are transformed with the lock held; from just above 2 KiB on it is let go.
@pytest.mark.parametrize(
    ("payload", "released"),
    [
        (b"[]", False),
        (payload_of_size(1024), False),
        (payload_of_size(2048), False),
        (payload_of_size(2049), True),
        (payload_of_size(65536), True),
    ],
    ids=["empty", "1 KiB", "2 KiB", "2 KiB + 1", "64 KiB"],
)
def test_the_lock_is_let_go_for_payloads_above_2_kib(codec, payload, released):
    # Many calls give the counting thread time to start waiting for the lock; they stop at the
    # first that lets it run.
    def calls_until_it_counts(counted):
        calls = 0
        while calls < 20_000 and counted() == 0:
            codec.columnarize(payload)
            calls += 1
        return calls, counted() > 0

    _, (calls, moved) = while_a_thread_counts(calls_until_it_counts)
    assert moved == released, f"after {calls} calls"
