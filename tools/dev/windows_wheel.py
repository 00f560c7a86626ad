"""Packs the Windows module that MinGW-w64 built (cmake/WindowsModule.cmake) into the win_amd64
wheel, as ./dev wheel --arch win_amd64 does:

    python3.14 tools/dev/windows_wheel.py MODULE.pyd OUT_DIR

and prints the wheel's path. No build backend can make this wheel here: scikit-build-core would
tag it for the machine it runs on. So the wheel is written by hand, holding what the Linux wheels
hold (the module, its type stub at the top and as the stub-only package vantor_codec-stubs) and
the core metadata that scikit-build-core itself writes from pyproject.toml (its PEP 517
prepare_metadata_for_build_wheel hook: METADATA and the licence), with a WHEEL file of the tag
cp314-cp314-win_amd64 and a RECORD of every file's SHA-256 and size (PEP 376, PEP 427). The
entries carry a fixed time, so the same module makes the same wheel."""

import argparse
import base64
import contextlib
import hashlib
import pathlib
import re
import sys
import tempfile
import zipfile

REPO = pathlib.Path(__file__).resolve().parents[2]
MODULE_NAME = "vantor_codec.cp314-win_amd64.pyd"
TAG = "cp314-cp314-win_amd64"
STUB = REPO / "src" / "vantor_codec.pyi"
# The earliest time a zip entry can carry; a fixed one makes the wheel reproducible.
ENTRY_TIME = (1980, 1, 1, 0, 0, 0)


def record_hash(data):
    """The hash of a RECORD line: sha256=, then the digest in URL-safe base64 without padding."""
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"sha256={digest}"


def record_text(files):
    """RECORD for {path in the wheel: bytes}, RECORD itself last with neither hash nor size."""
    dist_info = next(name.split("/")[0] for name in files if ".dist-info/" in name)
    lines = [f"{name},{record_hash(data)},{len(data)}" for name, data in files.items()]
    lines.append(f"{dist_info}/RECORD,,")
    return "\n".join(lines) + "\n"


def wheel_text():
    return ("Wheel-Version: 1.0\n"
            "Generator: vantor_codec tools/dev/windows_wheel.py\n"
            "Root-Is-Purelib: false\n"
            f"Tag: {TAG}\n")


def project_metadata():
    """{path inside the .dist-info folder: bytes} as scikit-build-core writes it (METADATA and
    licenses/), without its WHEEL, which names the machine this runs on."""
    from scikit_build_core.build import prepare_metadata_for_build_wheel

    # The hook reads pyproject.toml from the current folder and says what it does on standard
    # output, which carries this script's answer: it goes to standard error.
    with tempfile.TemporaryDirectory() as folder, contextlib.chdir(REPO), \
            contextlib.redirect_stdout(sys.stderr):
        dist_info = pathlib.Path(folder) / prepare_metadata_for_build_wheel(folder)
        return dist_info.name, {
            path.relative_to(dist_info).as_posix(): path.read_bytes()
            for path in sorted(dist_info.rglob("*"))
            if path.is_file() and path.name not in ("WHEEL", "RECORD")}


def wheel_files(module, dist_info, metadata):
    """{path in the wheel: bytes}, in the order they are written: the payload first, the
    .dist-info folder last with RECORD at its end (PEP 427's recommended order)."""
    stub = STUB.read_bytes()
    files = {MODULE_NAME: module, "vantor_codec.pyi": stub, "vantor_codec-stubs/__init__.pyi": stub}
    files.update({f"{dist_info}/{name}": data for name, data in metadata.items()})
    files[f"{dist_info}/WHEEL"] = wheel_text().encode()
    files[f"{dist_info}/RECORD"] = record_text(files).encode()
    return files


def write_wheel(path, files):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in files.items():
            entry = zipfile.ZipInfo(name, ENTRY_TIME)
            entry.external_attr = 0o644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("module", type=pathlib.Path, help=f"the built {MODULE_NAME}")
    parser.add_argument("out", type=pathlib.Path, help="the folder the wheel goes to")
    args = parser.parse_args()
    if args.module.name != MODULE_NAME:
        sys.exit(f"windows_wheel.py: expected {MODULE_NAME}, got {args.module.name}")
    dist_info, metadata = project_metadata()
    match = re.fullmatch(r"vantor_codec-([0-9]+\.[0-9]+\.[0-9]+)\.dist-info", dist_info)
    if not match:
        sys.exit(f"windows_wheel.py: unexpected metadata folder {dist_info}")
    args.out.mkdir(parents=True, exist_ok=True)
    wheel = args.out / f"vantor_codec-{match.group(1)}-{TAG}.whl"
    write_wheel(wheel, wheel_files(args.module.read_bytes(), dist_info, metadata))
    print(wheel)


if __name__ == "__main__":
    main()
