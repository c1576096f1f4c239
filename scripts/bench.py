"""veskbackup against the bare tools, under Wine (see scripts/bench).

Every figure comes from peakmem.exe, which starts one exact command line with CreateProcessA and
reports the process's creation and exit times (GetProcessTimes) and its peak memory counters
(GetProcessMemoryInfo). Times are therefore those of the Windows process alone, without Wine's
start-up from Linux. The stub database client notes the system time when it starts and just
before it returns, on the same clock.
"""

import argparse
import json
import os
import random
import shutil
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

from bench_measure import (  # noqa: E402
    SOURCE, TICKS_PER_SECOND, WORK, Bench, checked, expect_copy, log, remove, run_pair)
from bench_report import listing, machine, mb, report, seconds_of, write  # noqa: E402
from bench_samples import make_folder_heavy, make_tree, tree_counts  # noqa: E402
from rig import BACKUP_OUTPUT, RUN_DIR, Rig, WineSession  # noqa: E402

SMALL_SOURCE = "C:\\Apps\\Small"
ONE_FILE_SOURCE = "C:\\Apps\\One"
LARGE_SOURCE = "C:\\Apps\\Large"
FOLDERS_SOURCE = "C:\\Apps\\Folders"
DB_PROPERTIES = (
    "DB_PROVIDER=SQLNCLI.1\r\n"
    "dbconn.appl.url=proto://SRV01:1433;opt=1\r\n"
    "dbconn.appl.user=appuser\r\n"
    "dbconn.appl.pwd=secret\r\n")


def copy_benchmarks(bench: Bench, rig: Rig, paths, expected, runs: int) -> dict:
    """Items 1 to 3, and the fixed cost of a run on an installation of one file."""
    # "console": the bare command started with a console window of its own, as the program
    # starts it, which shows what that window costs.
    results = {name: {"program": [], "bare": [], "console": []} for name in ("one", "unchanged")}
    results["changed"] = {"program": [], "bare": []}
    results["full"] = {"program": [], "bare": [], "shell": []}

    one = rig.path(ONE_FILE_SOURCE)
    one.mkdir(parents=True)
    (one / "client.ini").write_bytes(b"[client]\r\n")
    rig.write_path_conf(f"finalPath={ONE_FILE_SOURCE.replace(chr(92), '/')}/\r\n")
    for i in range(runs):
        def run(kind):
            destination = f"D:\\one-{kind}-{i}"
            r = checked(bench, f"run on one file ({kind})", 0, lambda: (
                bench.program(destination, f"one-{i}") if kind == "program"
                else bench.bare_xcopy(destination, f"one-{kind}-{i}", ONE_FILE_SOURCE,
                                      own_console=kind == "console")))
            results["one"][kind].append(r)
        run_pair(["program", "bare", "console"], run)
    log("installation of one file: " + "; ".join(
        f"{kind} {listing(seconds_of(reports))} s" for kind, reports in results["one"].items()))

    rig.write_path_conf(f"finalPath={SOURCE.replace(chr(92), '/')}/\r\n")
    log("warming the cache with one untimed xcopy")
    bench.bare_xcopy("D:\\warm", "warm")
    remove(rig, "D:\\warm")

    full = results["full"]
    for i in range(runs):
        def run(kind):
            destination = f"D:\\full-{kind}-{i}"
            r = checked(bench, f"full run ({kind})", 0, lambda: (
                bench.bare_xcopy(destination, f"full-bare-{i}") if kind == "bare"
                else bench.program(destination, f"full-{kind}-{i}",
                                   "N" if kind == "shell" else "Y")),
                reset=lambda: remove(rig, destination))
            expect_copy(rig, destination, expected, f"full run {i + 1} ({kind})")
            full[kind].append(r)
            # The first copies stay for the incremental runs.
            if i > 0 or kind == "shell":
                remove(rig, destination)
        run_pair(["program", "bare", "shell"], run)
        log(f"full run {i + 1}/{runs}: "
            + ", ".join(f"{k} {v[-1]['seconds']:.2f} s" for k, v in full.items()))

    incremental_runs(bench, rig, paths, expected, runs, results,
                     {"program": "D:\\full-program-0", "bare": "D:\\full-bare-0"})
    remove(rig, "D:\\full-program-0")
    remove(rig, "D:\\full-bare-0")
    return results


def incremental_runs(bench: Bench, rig: Rig, paths, expected, runs: int, results: dict,
                     copies: dict, source: str = SOURCE, prefix: str = ""):
    """Adds to results["unchanged"] and results["changed"] (kind: reports) 2 * runs incremental
    runs of each kind in turns over its copy in copies (the program's, or the bare command's
    for "bare" and "console"): with nothing changed, and with 1% of the files changed before
    each turn. The incremental runs are short, so load from elsewhere weighs more: twice as
    many."""
    rng = random.Random(11)
    stamp = time.time()
    for i in range(2 * runs):
        for name in ("unchanged", "changed"):
            if name == "changed":
                # 1% of the files get new contents and a later last-write time.
                stamp += 10
                for path in rng.sample(paths, max(1, len(paths) // 100)):
                    with open(path, "r+b") as f:
                        first = f.read(1)
                        f.seek(0)
                        f.write(bytes([(first[0] + 1) % 256]) if first else b"x")
                    os.utime(path, (stamp, stamp))

            def run(kind):
                destination = copies["program" if kind == "program" else "bare"]
                r = checked(bench, f"{prefix}incremental run, {name} ({kind})", 0, lambda: (
                    bench.program(destination, f"{prefix}{name}-{i}") if kind == "program"
                    else bench.bare_xcopy(destination, f"{prefix}{name}-{kind}-{i}", source,
                                          own_console=kind == "console")))
                expect_copy(rig, destination, expected, f"incremental run {i + 1} ({kind})")
                results[name][kind].append(r)
            run_pair(list(results[name]), run)
        log(f"{prefix}incremental run {i + 1}/{2 * runs}: " + "; ".join(
            f"{name} program {results[name]['program'][-1]['seconds']:.2f} s, bare "
            f"{results[name]['bare'][-1]['seconds']:.2f} s" for name in ("unchanged", "changed")))


def folder_heavy_benchmark(bench: Bench, rig: Rig, folders: int, runs: int) -> dict:
    """Items 9a and 9b: the incremental runs on an installation of many small folders, over a
    full copy that the program and the bare command each made first."""
    paths, folders, size = make_folder_heavy(rig.path(FOLDERS_SOURCE), folders, folders)
    expected = tree_counts(rig.path(FOLDERS_SOURCE))
    rig.write_path_conf(f"finalPath={FOLDERS_SOURCE.replace(chr(92), '/')}/\r\n")
    log(f"folder-heavy sample: {len(paths)} files in {folders} folders; warming the cache")
    bench.bare_xcopy("D:\\folders-warm", "folders-warm", FOLDERS_SOURCE)
    remove(rig, "D:\\folders-warm")
    copies = {"program": "D:\\folders-program", "bare": "D:\\folders-bare"}
    full = {
        "program": checked(bench, "folder-heavy full run (program)", 0,
                           lambda: bench.program(copies["program"], "folders-full")),
        "bare": checked(bench, "folder-heavy full run (bare)", 0,
                        lambda: bench.bare_xcopy(copies["bare"], "folders-full-bare",
                                                 FOLDERS_SOURCE))}
    for kind, destination in copies.items():
        expect_copy(rig, destination, expected, f"folder-heavy full run ({kind})")
    results = {name: {"program": [], "bare": []} for name in ("unchanged", "changed")}
    incremental_runs(bench, rig, paths, expected, runs, results, copies, FOLDERS_SOURCE,
                     "folder-heavy ")
    for destination in copies.values():
        remove(rig, destination)
    shutil.rmtree(rig.path(FOLDERS_SOURCE), ignore_errors=True)
    return {"tree": (len(paths), folders, size), "full": full, **results}


def large_tree_benchmark(bench: Bench, rig: Rig, files: int) -> dict:
    """Item 8: the program's memory on a tree of many small files, a full run into an empty
    destination and an incremental run over it."""
    paths, _, _ = make_tree(rig.path(LARGE_SOURCE), files, files / 4096, seed=13)
    expected = tree_counts(rig.path(LARGE_SOURCE))
    rig.write_path_conf(f"finalPath={LARGE_SOURCE.replace(chr(92), '/')}/\r\n")
    runs = []
    for name in ("large-full", "large-incremental"):
        runs.append(checked(bench, f"{name} run", 0, lambda: bench.program("D:\\large", name)))
        expect_copy(rig, "D:\\large", expected, f"{name} run")
        log(f"{name} run on {len(paths)} files: {runs[-1]['seconds']:.2f} s, private memory "
            f"{mb(runs[-1]['peakPagefile'])}")
    remove(rig, "D:\\large")
    shutil.rmtree(rig.path(LARGE_SOURCE), ignore_errors=True)
    return {"files": len(paths), "runs": runs}


def database_benchmarks(bench: Bench, rig: Rig, runs: int) -> dict:
    """Items 4 and 5 on a small installation, so that the database stage dominates, and the
    idle programs that show Wine's own share of the memory figures."""
    small = rig.path(SMALL_SOURCE)
    (small / "ZAVO").mkdir(parents=True)
    (small / "ZAVO" / "db.properties").write_bytes(DB_PROPERTIES.encode())
    (small / "client.ini").write_bytes(b"[client]\r\n")
    rig.write_path_conf(f"finalPath={SMALL_SOURCE.replace(chr(92), '/')}/\r\n")

    def last_end(binn: Path) -> int:
        return int((binn / "ends.txt").read_text().split()[-1])

    # A client that ends at once, its output confirming the backup: its last moment against the
    # end of the run.
    fast = rig.install_client("C:\\SQLFast", "2005", control=dict(output=BACKUP_OUTPUT))
    notice, teardown, small_runs = [], [], []
    for i in range(runs):
        r = checked(bench, "run with a client that ends at once", 0,
                    lambda: bench.program(f"D:\\db-{i}", f"db-{i}"))
        if not r["log"].rstrip("\r\n").endswith("SQL backup Complete"):
            raise RuntimeError(f"database run {i + 1} did not end with the database stage")
        notice.append((r["exited"] - last_end(fast)) / TICKS_PER_SECOND * 1000)
        small_runs.append(r)
        # The same client started alone: how long its own end takes after its last moment.
        s = bench.measure(f'"C:\\SQLFast\\Binn\\sqlcmd.exe" -o "{WORK}\\alone-{i}.sql"')
        teardown.append((s["exited"] - last_end(fast)) / TICKS_PER_SECOND * 1000)
    log("client ending at once: end of run after the client's last moment: "
        + ", ".join(f"{v:.1f}" for v in notice) + " ms")

    # A client that outlasts the run: the run's end against the client's start.
    slow = rig.install_client("C:\\SQLSlow", "2005", control=dict(sleep=120))
    window = []
    for i in range(runs):
        r = checked(bench, "run with a client that does not end", 5,
                    lambda: bench.program(f"D:\\slow-{i}", f"slow-{i}"))
        window.append((r["exited"] - rig.client_calls(slow)[-1]["created"]) / TICKS_PER_SECOND)
    log("client never ending: end of run after the client's start: "
        + ", ".join(f"{v:.3f}" for v in window) + " s")

    rig.install_client("C:\\SQLIdle", "2005", control=dict(sleep=1))
    idle_console = bench.measure(f'"C:\\SQLIdle\\Binn\\sqlcmd.exe" -o "{WORK}\\idle.sql"')
    idle_gui = bench.measure(f"{RUN_DIR}\\boxtool.exe {WORK}\\idle-boxes.jsonl "
                             f"{WORK}\\no-stop --timeout-s 1")
    return {"notice": notice, "teardown": teardown, "window": window, "small": small_runs,
            "idle_console": idle_console, "idle_gui": idle_gui}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=10000, help="files in the sample tree")
    parser.add_argument("--mb", type=float, default=300, help="size of the sample tree in MB")
    parser.add_argument("--runs", type=int, default=5, help="runs per figure (median)")
    parser.add_argument("--large-files", type=int, default=100000,
                        help="files in the tree of the memory figure of item 8 (0: leave it out)")
    parser.add_argument("--folder-heavy", type=int, default=0, metavar="N",
                        help="also the incremental runs of items 9a and 9b on a sample of N "
                        "folders holding N small files, for instance 5000 (0: leave it out)")
    parser.add_argument("--out", default=str(REPO / "docs" / "benchmarks.md"),
                        help="where the table is written ('-' for nowhere)")
    parser.add_argument("--raw", help="also write every measurement to this JSON file")
    parser.add_argument("--from-raw", help="write the table from a --raw file, measuring nothing")
    args = parser.parse_args()
    if (args.files < 1 or args.mb <= 0 or args.runs < 1 or args.large_files < 0
            or args.folder_heavy < 0):
        parser.error("--files, --mb and --runs must be positive, --large-files and "
                     "--folder-heavy not negative")
    if args.from_raw:
        raw = json.loads(Path(args.from_raw).read_text())
        args.files, args.mb, args.runs = raw["files"], raw["mb"], raw["runs"]
        args.large_files = (raw.get("large") or {}).get("files", 0)
        args.folder_heavy = (raw.get("folder_heavy") or {}).get("tree", (0, 0, 0))[1]
        write(args, report(args, raw["tree"], raw["copies"], raw["db"], raw["machine"],
                           raw["loads"], raw.get("anomalies", []), raw.get("large"),
                           raw.get("folder_heavy")))
        return 0

    build_dir = Path(os.environ.get("VESK_BUILD_DIR", REPO / "build" / "windows"))
    for tool in ("peakmem.exe", "stub_client.exe", "boxtool.exe"):
        if not (build_dir / tool).is_file():
            parser.error(f"{build_dir / tool} is missing: build the windows preset")
    root = Path(tempfile.mkdtemp(prefix="vesk-bench-"))
    session = WineSession(build_dir, root)
    begun = time.monotonic()
    try:
        log(f"making a throwaway Wine prefix in {root}")
        session.start()
        rig = Rig(session, root / "rig")
        rig.drive("D")
        bench = Bench(rig)
        log(f"making the sample installation: {args.files} files, {args.mb:g} MB")
        paths, folders, size = make_tree(rig.path(SOURCE), args.files, args.mb)
        expected = tree_counts(rig.path(SOURCE))
        load_before = os.getloadavg()[0]
        copies = copy_benchmarks(bench, rig, paths, expected, args.runs)
        db = database_benchmarks(bench, rig, args.runs)
        large = large_tree_benchmark(bench, rig, args.large_files) if args.large_files else None
        folder_heavy = (folder_heavy_benchmark(bench, rig, args.folder_heavy, args.runs)
                        if args.folder_heavy else None)
        raw = {"files": args.files, "mb": args.mb, "runs": args.runs,
               "tree": (len(paths), folders, size), "copies": copies, "db": db, "large": large,
               "folder_heavy": folder_heavy,
               "machine": machine(), "loads": (load_before, os.getloadavg()[0]),
               "anomalies": bench.anomalies}
        rig.close()
    finally:
        session.stop()
    if args.raw:
        Path(args.raw).write_text(json.dumps(raw, indent=1))
    write(args, report(args, raw["tree"], copies, db, raw["machine"], raw["loads"],
                       bench.anomalies, large, folder_heavy))
    log(f"scripts/bench took {time.monotonic() - begun:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
