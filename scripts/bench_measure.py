"""Measuring one command line under Wine with peakmem.exe, for scripts/bench."""

import json
import shutil
import subprocess
import time
from pathlib import Path

from bench_samples import tree_counts
from rig import PROGRAM_DIR, RUN_DIR, Rig

SOURCE = "C:\\Apps\\Client"
WORK = "C:\\bench"
PROGRAM = f"{PROGRAM_DIR}\\veskbackup.exe"
TICKS_PER_SECOND = 10_000_000
UNIX_EPOCH_TICKS = 116_444_736_000_000_000  # 1970-01-01 in FILETIME ticks


def log(text):
    print(text, flush=True)


# Measuring.
class Bench:
    def __init__(self, rig: Rig):
        self.rig = rig
        self.counter = 0
        self.anomalies = []
        self.work = rig.path(WORK)
        self.work.mkdir(parents=True)
        shutil.copy(rig.session.build_dir / "peakmem.exe", rig.path(RUN_DIR))

    def measure(self, command: str, folder: str = "", timeout: float = 1800,
                own_console: bool = False) -> dict:
        """Runs one exact command line (current folder folder, default the launcher's) under
        peakmem.exe; returns its report with "seconds" added. own_console starts it with a
        maximised console window of its own, as veskbackup.exe starts xcopy."""
        self.counter += 1
        command_file = f"{WORK}\\cmd-{self.counter}.txt"
        out_file = f"{WORK}\\measure-{self.counter}.json"
        show = "show=3" if own_console else ""
        self.rig.path(command_file).write_bytes(
            f"{command}\r\n{folder}\r\n{show}\r\n".encode("cp1252"))
        subprocess.run(["sync"], check=False)
        process = self.rig.session.popen(f"{RUN_DIR}\\peakmem.exe", command_file, out_file)
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.rig.session.kill_all()
            raise RuntimeError(f"{command} did not end within {timeout} s")
        report = json.loads(self.rig.path(out_file).read_text())
        if "error" in report:
            raise RuntimeError(f"{command} could not be started: error {report['error']}")
        report["seconds"] = (report["exited"] - report["created"]) / TICKS_PER_SECOND
        return report

    def program(self, destination: str, name: str, copy_mode: str = "Y") -> dict:
        log_path = f"{WORK}\\{name}.log"
        report = self.measure(f'{PROGRAM} "{destination}" "{log_path}" "N" "{copy_mode}"')
        report["log"] = self.rig.read_log(log_path) or ""
        self.time_after_listing(report, log_path + "xcp")
        return report

    def time_after_listing(self, report: dict, listing: str):
        """Adds "after": seconds from xcopy's last line in its listing file (the file's
        last-write time) to the end of the measured process."""
        path = self.rig.path(listing)
        report["listing"] = str(path)
        if path.is_file():
            written = path.stat().st_mtime_ns // 100 + UNIX_EPOCH_TICKS
            report["after"] = (report["exited"] - written) / TICKS_PER_SECOND

    def bare_xcopy(self, destination: str, name: str, source: str = SOURCE,
                   own_console: bool = False) -> dict:
        # The command the program runs, with its destination as the current folder and its
        # listing going to a file as the program's does.
        self.rig.path(destination).mkdir(parents=True, exist_ok=True)
        listing = f"{WORK}\\{name}.logxcp"
        report = self.measure(f'cmd /c  xcopy "{source}" /e /s /d /y >"{listing}"', destination,
                              own_console=own_console)
        self.time_after_listing(report, listing)
        return report


def checked(bench: Bench, what: str, status: int, run, reset=None) -> dict:
    """run(), and once more (after reset()) when its exit status is not status. A run that
    ended otherwise is kept in bench.anomalies with its log and xcopy's listing, a few seconds
    later, so that anything it left running shows."""
    for attempt in (1, 2):
        r = run()
        if r["exitCode"] == status:
            return r
        time.sleep(3)
        anomaly = {"what": what, "expected": status, "status": r["exitCode"],
                   "seconds": r["seconds"], "log": r.get("log", "").splitlines()}
        listing = Path(r.get("listing", ""))
        if listing.is_file():
            written = listing.stat().st_mtime_ns // 100 + UNIX_EPOCH_TICKS
            anomaly["listing_after_end"] = (written - r["exited"]) / TICKS_PER_SECOND
            anomaly["listing"] = listing.read_bytes()[-400:].decode("cp437").splitlines()
        bench.anomalies.append(anomaly)
        log(f"{what}: exit status {r['exitCode']}, expected {status}; "
            + ("giving it a second try" if attempt == 1 else "giving up"))
        log(json.dumps(anomaly, indent=1))
        if reset:
            reset()
    raise RuntimeError(f"{what}: exit status {r['exitCode']} twice, expected {status}")


def expect_copy(rig: Rig, destination: str, expected, what: str):
    found = tree_counts(rig.path(destination))
    # The run's own status file lies beside the copy, not in it.
    if (rig.path(destination) / "veskbackup-status.json").is_file():
        found = (found[0] - 1, found[1])
    if found != expected:
        raise RuntimeError(f"{what}: {found[0]} files and {found[1]} folders in {destination}, "
                           f"expected {expected[0]} and {expected[1]}")


def remove(rig: Rig, destination: str):
    shutil.rmtree(rig.path(destination), ignore_errors=True)


def run_pair(kinds, run):
    """Runs run(kind) for each kind, the order turning with every call so that neither side
    always goes first."""
    run_pair.turn = getattr(run_pair, "turn", -1) + 1
    shift = run_pair.turn % len(kinds)
    for kind in kinds[shift:] + kinds[:shift]:
        run(kind)
