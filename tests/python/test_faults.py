"""Internal faults: the transform barrier, the boundary barrier and PanicException.

The faults come from the test build of the module, whose transform and boundary throw on demand
for payloads that begin with "#vantor-fault:".
"""

import pytest

TRIGGER = b"#vantor-fault:"
EMPTY_RESULT = b'{"columns":[],"rows":[],"constants":{}}'


def panic_exception_of(fault_codec):
    with pytest.raises(BaseException) as caught:
        fault_codec.columnarize(TRIGGER + b"boundary:probe")
    return type(caught.value)


TRANSFORM_FAULTS = [
    (b"runtime_error:index 7 out of range", "internal panic during columnarization: index 7 out of range"),
    (b"runtime_error:", "internal panic during columnarization: "),
    (b"runtime_error:caf\xc3\xa9", "internal panic during columnarization: caf\u00e9"),
    (b"int", "internal panic during columnarization: unknown panic in columnarize_json"),
]


@pytest.mark.parametrize("command, message", TRANSFORM_FAULTS)
def test_a_fault_in_the_transform_is_a_runtime_error(fault_codec, capfd, command, message):
    try:
        fault_codec.columnarize(TRIGGER + command)
    except Exception as caught:  # the caller's guard must catch it
        assert type(caught) is RuntimeError
        assert str(caught) == message
    else:
        pytest.fail("no exception")
    report = capfd.readouterr().err
    assert "internal fault on thread" in report and "transform barrier" in report
    assert fault_codec.columnarize(b"[]") == EMPTY_RESULT


def test_running_out_of_memory_in_the_transform_is_memory_error(fault_codec):
    with pytest.raises(MemoryError):
        fault_codec.columnarize(TRIGGER + b"bad_alloc")
    assert fault_codec.columnarize(b"[]") == EMPTY_RESULT


BOUNDARY_FAULTS = [
    (b"boundary:the slot table is broken", "the slot table is broken"),
    (b"boundary_int", "internal fault without a message"),
]


@pytest.mark.parametrize("command, message", BOUNDARY_FAULTS)
def test_a_fault_at_the_boundary_is_a_panic_exception(fault_codec, capfd, command, message):
    with pytest.raises(BaseException) as caught:
        fault_codec.columnarize(TRIGGER + command)
    error = caught.value
    assert type(error).__name__ == "PanicException"
    assert type(error).__bases__ == (BaseException,)
    assert not isinstance(error, Exception)
    assert error.args == (message,)
    report = capfd.readouterr().err
    assert "caught in columnarize" in report and message in report
    assert fault_codec.columnarize(b"[]") == EMPTY_RESULT


def test_panic_exception_type_is_made_once(fault_codec):
    first = panic_exception_of(fault_codec)
    assert panic_exception_of(fault_codec) is first
    assert first.__module__ == "vantor_codec"
    assert first.__doc__


def test_the_shipped_module_has_no_fault_triggers(codec):
    for command in (b"runtime_error:x", b"int", b"bad_alloc", b"boundary:x", b"boundary_int"):
        with pytest.raises(RuntimeError) as caught:
            codec.columnarize(TRIGGER + command)
        assert str(caught.value).startswith("invalid row-oriented JSON: ")


def test_a_fault_while_handling_a_fault_ends_the_process(python_in_subprocess, fault_module_dir):
    result = python_in_subprocess(
        "import vantor_codec\n"
        "try:\n"
        "    vantor_codec.columnarize(b'#vantor-fault:boundary:nested')\n"
        "except BaseException:\n"
        "    print('contained')\n",
        module_dir=fault_module_dir,
    )
    assert result.returncode != 0
    assert "contained" not in result.stdout
    assert "uncaught panic at ffi boundary" in result.stderr


def test_a_wrong_payload_while_finalizing_is_a_panic_exception(python_in_subprocess):
    # During interpreter shutdown the exception object for a wrong payload cannot be made.
    result = python_in_subprocess(
        "import os, vantor_codec\n"
        "class Probe:\n"
        "    def __del__(self, columnarize=vantor_codec.columnarize, write=os.write):\n"
        "        try:\n"
        "            columnarize('not bytes')\n"
        "        except BaseException as error:\n"
        "            write(1, f'{type(error).__name__}: {error}\\n'.encode())\n"
        "probe = Probe()\n"
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == (
        "PanicException: Cannot attach to the Python interpreter while it is finalizing.\n"
    )


def test_first_use_from_many_threads_creates_one_panic_type(python_in_subprocess, fault_module_dir):
    # A fresh process, so the panic type and the "add_note" name are made under contention.
    result = python_in_subprocess(
        "import os, threading, vantor_codec\n"
        "os.dup2(os.open(os.devnull, os.O_WRONLY), 2)\n"
        "start = threading.Barrier(8)\n"
        "types, notes = [], []\n"
        "def work():\n"
        "    start.wait()\n"
        "    try:\n"
        "        vantor_codec.columnarize(b'#vantor-fault:boundary:x')\n"
        "    except BaseException as error:\n"
        "        types.append(type(error))\n"
        "    try:\n"
        "        vantor_codec.columnarize('x')\n"
        "    except TypeError as error:\n"
        "        notes.append(tuple(error.__notes__))\n"
        "threads = [threading.Thread(target=work) for _ in range(8)]\n"
        "for t in threads: t.start()\n"
        "for t in threads: t.join()\n"
        "print(len(types), len(set(types)), types[0].__name__, set(notes))\n",
        module_dir=fault_module_dir,
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "8 1 PanicException {(\"while processing 'payload'\",)}"
