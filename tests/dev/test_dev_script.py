"""The dev script's command line: help, usage errors and file arguments are all dealt with before
the Debian root is entered or made, so none of these tests builds anything or creates a root.

Each run looks like a host without CPython 3.14 (VANTOR_USE_ROOT=1), whose Debian root does not
exist yet, and whose `id` says "not root": a run that went past the command-line checks would stop
at once with "not root", and the tests would see it."""

import pathlib
import subprocess

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
DEV = REPO / "dev"
VISIBLE = REPO.parent
COMMANDS = ["build", "test", "run", "python", "wheel", "bench", "fuzz", "test-windows-core",
            "test-big", "test-aarch64", "shell"]


@pytest.fixture
def dev(tmp_path):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    fake_id = bin_dir / "id"
    fake_id.write_text("#!/bin/sh\necho 1000\n")
    fake_id.chmod(0o755)
    missing_root = tmp_path / "no-root-yet"
    env = {"PATH": f"{bin_dir}:/usr/bin:/bin", "HOME": str(tmp_path), "LANG": "C.UTF-8",
           "VANTOR_USE_ROOT": "1", "VANTOR_ROOT": str(missing_root),
           "VANTOR_BULLSEYE_ROOT": str(tmp_path / "no-wheel-root-yet")}

    def run(*args, cwd=REPO, reaches_root=False):
        completed = subprocess.run([str(DEV), *args], cwd=cwd, env=env, capture_output=True,
                                   text=True, timeout=60)
        if not reaches_root:
            assert "not root" not in completed.stderr, "the command line got past its checks"
        assert not missing_root.exists() and not pathlib.Path(f"{missing_root}.lock").exists()
        return completed

    return run


@pytest.mark.parametrize("args", [["help"], ["-h"], ["--help"]])
def test_help_goes_to_standard_output(dev, args):
    completed = dev(*args)
    assert (completed.returncode, completed.stderr) == (0, "")
    assert completed.stdout.startswith("usage: ./dev COMMAND [ARGS]\n")
    for command in COMMANDS:
        assert f"\n  {command} " in completed.stdout


# What each command's checks accept, which its own help must name (so that a new option is not
# left out of it), and the three ways of asking giving that same text.
ACCEPTED = {
    "build": [], "test": ["--quick", "PYTEST ARGS"], "run": ["FILE"],
    "python": ["SCRIPT", "-c CODE", "-m MODULE"],
    "wheel": ["--arch", "x86_64", "aarch64", "win_amd64", "--python-tests"], "bench": ["ARGS"],
    "fuzz": ["SECONDS", "TARGET", "agreement_fuzz"], "test-windows-core": [], "test-big": [],
    "test-aarch64": ["PYTEST ARGS"],
    "shell": ["CMD"],
}


def test_every_command_is_described():
    assert sorted(ACCEPTED) == sorted(COMMANDS)


@pytest.mark.parametrize("command", COMMANDS)
def test_each_commands_help_names_what_it_accepts_however_asked(dev, command):
    texts = [dev("help", command), dev(command, "-h"), dev(command, "--help")]
    for completed in texts:
        assert (completed.returncode, completed.stderr) == (0, "")
        assert completed.stdout == texts[0].stdout
    usage_line = texts[0].stdout.splitlines()[0]
    assert usage_line.split()[:2] == ["usage:", "./dev"] and usage_line.split()[2] == command
    for word in ACCEPTED[command]:
        assert word in texts[0].stdout, f"{command}'s help does not name {word}"
    if not ACCEPTED[command]:
        assert usage_line == f"usage: ./dev {command}"


@pytest.mark.parametrize("args, message", [
    ([], "no command given"),
    (["bogus"], "unknown command 'bogus'"),
    (["--verbose"], "unknown command '--verbose'"),
    (["Build"], "unknown command 'Build'"),
    (["build test"], "unknown command 'build test'"),
    (["help", "bogus"], "unknown command 'bogus'"),
    (["help", "run", "test"], "help takes at most one COMMAND"),
    (["build", "now"], "build takes no arguments (got: now)"),
    (["wheel", "--plat"], "wheel takes only --arch ARCH and --python-tests (got: --plat)"),
    (["wheel", "--python-tests", "x"],
     "wheel takes only --arch ARCH and --python-tests (got: --python-tests x)"),
    (["wheel", "--arch"], "wheel takes only --arch ARCH and --python-tests (got: --arch)"),
    (["wheel", "aarch64"], "wheel takes only --arch ARCH and --python-tests (got: aarch64)"),
    (["wheel", "--arch", "aarch64", "x"],
     "wheel takes only --arch ARCH and --python-tests (got: --arch aarch64 x)"),
    (["wheel", "--arch", "arm64"], "wheel: ARCH is x86_64, aarch64 or win_amd64, not 'arm64'"),
    (["wheel", "--arch", "win_amd64", "--python-tests"],
     "wheel: --python-tests does not go with win_amd64 (no Windows CPython here)"),
    (["wheel", "--python-tests", "--arch", "win_amd64"],
     "wheel: --python-tests does not go with win_amd64 (no Windows CPython here)"),
    (["test-windows-core", "x"], "test-windows-core takes no arguments (got: x)"),
    (["run", "a.json", "b.json"], "run takes at most one FILE (got: a.json b.json)"),
    (["fuzz", "ten"], "fuzz: SECONDS must be a whole number, not 'ten'"),
    (["fuzz", "-5"], "fuzz: SECONDS must be a whole number, not '-5'"),
    (["fuzz", "1", "x", "2"], "fuzz takes at most SECONDS and TARGET (got: 1 x 2)"),
    (["fuzz", "1", "fast_exact_fuzz"],
     "fuzz: TARGET is one of agreement_fuzz columnarize_fuzz reader_fuzz, not 'fast_exact_fuzz'"),
])
def test_usage_errors_exit_2_with_the_usage_on_standard_error(dev, args, message):
    completed = dev(*args)
    assert completed.returncode == 2
    assert completed.stdout == ""
    assert completed.stderr.startswith(f"dev: error: {message}\nusage: ./dev COMMAND [ARGS]\n")


def test_a_missing_file_is_named_with_its_full_path(dev, tmp_path):
    completed = dev("run", "missing.json", cwd=tmp_path)
    assert completed.returncode == 1
    assert completed.stderr == f"dev: error: no such file: {tmp_path}/missing.json\n"


@pytest.mark.parametrize("command, name", [("run", "rows.json"), ("python", "script.py")])
def test_a_file_outside_the_visible_folder_is_refused_with_that_folder_named(dev, tmp_path,
                                                                              command, name):
    if tmp_path.resolve().is_relative_to(VISIBLE):
        pytest.skip(f"the temporary folder lies inside {VISIBLE}")
    (tmp_path / name).write_text("[]")
    # A relative path means the caller's folder, not the clone.
    completed = dev(command, name, cwd=tmp_path)
    assert completed.returncode == 1
    assert completed.stderr == (
        f"dev: error: {tmp_path}/{name} is outside {VISIBLE}, the only folder of this machine"
        f" that is visible inside the Debian root: copy it into {VISIBLE}\n")


@pytest.mark.parametrize("args", [["python", "-c", "pass"], ["wheel", "--python-tests"]])
def test_accepted_options_go_on_to_the_root(dev, tmp_path, args):
    # "-c CODE" names no file, and the wheel's one option is known: the run passes the checks
    # and goes on to the root, where the fake id stops it.
    completed = dev(*args, cwd=tmp_path, reaches_root=True)
    assert completed.returncode == 1
    assert completed.stderr.startswith("dev: error: not root")


@pytest.mark.parametrize("args", [["wheel", "--arch", "aarch64"], ["wheel", "--arch", "x86_64"],
                                  ["wheel", "--python-tests", "--arch", "x86_64"],
                                  ["wheel", "--arch", "aarch64", "--python-tests"],
                                  ["wheel", "--arch", "win_amd64"],
                                  ["test-aarch64", "-k", "stack"]])
def test_arguments_that_fit_go_on_to_the_root(dev, args):
    # The fake id stops them at the root.
    completed = dev(*args, reaches_root=True)
    assert completed.returncode == 1
    assert completed.stderr.startswith("dev: error: not root")
