"""tools/dev/links.sh: a root's links that name absolute paths are made to lead to the same file
inside the root, so that a linker using the root as its sysroot never leaves it."""

import os
import pathlib
import shutil
import subprocess

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]

pytestmark = pytest.mark.skipif(shutil.which("bash") is None, reason="needs bash")


def make_relative(root, *folders):
    subprocess.run(["bash", "-c", 'source "$0" && links_made_relative "$@"',
                    str(REPO / "tools/dev/links.sh"), str(root), *map(str, folders)], check=True)


@pytest.mark.parametrize("link, target, leads_to", [
    # Debian 11's libpthread.so: an absolute link into lib, itself a link to usr/lib.
    ("usr/lib/x86_64-linux-gnu/libpthread.so", "/lib/x86_64-linux-gnu/libpthread.so.0",
     "usr/lib/x86_64-linux-gnu/libpthread-2.31.so"),
    # The loader named from lib64, a folder beside usr.
    ("usr/lib64/ld-linux-x86-64.so.2", "/lib/x86_64-linux-gnu/ld-2.31.so",
     "usr/lib/x86_64-linux-gnu/ld-2.31.so"),
    # A link to another absolute link: both are rewritten, neither followed out of the root.
    ("usr/lib/x86_64-linux-gnu/libm.so", "/usr/lib/x86_64-linux-gnu/libm-alias.so",
     "usr/lib/x86_64-linux-gnu/libm-2.31.so"),
])
def test_absolute_links_lead_to_the_same_file_inside_the_root(tmp_path, link, target, leads_to):
    root = tmp_path / "root"
    libs = root / "usr/lib/x86_64-linux-gnu"
    libs.mkdir(parents=True)
    (root / "usr/lib64").mkdir()
    (root / "lib").symlink_to("usr/lib")
    for name in ("libpthread-2.31.so", "ld-2.31.so", "libm-2.31.so"):
        (libs / name).write_text(name)
    (libs / "libpthread.so.0").symlink_to("libpthread-2.31.so")
    (libs / "libm-alias.so").symlink_to("/usr/lib/x86_64-linux-gnu/libm-2.31.so")
    (root / link).symlink_to(target)

    make_relative(root, root / "usr/lib/x86_64-linux-gnu", root / "usr/lib64")

    written = os.readlink(root / link)
    assert not written.startswith("/")
    assert (root / link).resolve() == (root / leads_to).resolve()
    assert (root / link).read_text() == pathlib.Path(leads_to).name


def test_relative_links_and_links_outside_the_folders_stay(tmp_path):
    root = tmp_path / "root"
    libs = root / "usr/lib/x86_64-linux-gnu"
    libs.mkdir(parents=True)
    (libs / "libc-2.31.so").write_text("libc")
    (libs / "libc.so.6").symlink_to("libc-2.31.so")
    (root / "etc").mkdir()
    (root / "etc/localtime").symlink_to("/usr/share/zoneinfo/UTC")

    make_relative(root, libs)

    assert os.readlink(libs / "libc.so.6") == "libc-2.31.so"
    assert os.readlink(root / "etc/localtime") == "/usr/share/zoneinfo/UTC"
