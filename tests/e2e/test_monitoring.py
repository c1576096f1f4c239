"""What a run leaves for monitoring: the status file in the destination, which the next run
reads to confirm a database backup that outlived its wait, kept whole when the run is killed
while writing it or the disk is full, and the run's one Event Log entry."""

import os
import re
import signal
import time
from pathlib import Path

import pytest

from rig import BACKUP_OUTPUT, PROGRAM_DIR, STATUS_FILE, masked, read_status
from test_check import small_disk
from test_copy import make_source, tree
from test_database import client_processes, set_up, windows_log

START = "<ts>: VESK start backup"


def backup_counts(folder: Path) -> tuple:
    """Files, folders and bytes below folder, its status file not counted."""
    files, folders = tree(folder)
    return len(files), len(folders), sum(len(content) for content in files.values())


def wait_for(path: Path, seconds: float):
    deadline = time.monotonic() + seconds
    while not path.exists():
        assert time.monotonic() < deadline, f"{path} did not appear within {seconds} s"
        time.sleep(0.1)


FAILED = "Msg 3201, Level 16, State 1, Server SRV01, Line 1\r\nCannot open backup device.\r\n"


@pytest.mark.parametrize("output, next_log, lines", [
    (BACKUP_OUTPUT, None, ["previous SQL backup confirmed: {log}sql.prev"]),
    (FAILED, "C:\\VeskLogs\\other.txt",
     ["previous SQL backup NOT confirmed, see {log}sql.prev",
      "  Msg 3201, Level 16, State 1, Server SRV01, Line 1", "  Cannot open backup device."]),
    (FAILED, None,
     ["previous SQL backup NOT confirmed, see {log}sql.prev",
      "  Msg 3201, Level 16, State 1, Server SRV01, Line 1", "  Cannot open backup device."]),
], ids=["confirmed", "error, next run with another log", "error, next run's client succeeds"])
def test_next_run_confirms_the_backup_left_running(rig, output, next_log, lines):
    binn = set_up(rig, control=dict(sleep=10, output=output))
    backup = rig.path("D:\\Backup")
    first = rig.run('"D:\\Backup"')
    assert first.status == 5
    log = windows_log(first)
    status = read_status(backup)
    assert (status["exitStatus"], status["database"]["outcome"]) == (5, "still running")
    assert status["database"]["output"] == log + "sql"
    assert status["database"]["client"] == "C:\\SQLTools\\Binn\\sqlcmd.exe"
    assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d",
                        status["database"]["clientStart"])
    [folder] = status["folders"]
    assert (folder["filesInBackup"], folder["foldersInBackup"],
            folder["bytesInBackup"]) == backup_counts(backup)
    # The client goes on after the run and writes its output when it ends; without the watch,
    # which the run left for it, the next run confirms it.
    for pid in veskbackup_processes(rig):
        os.kill(pid, signal.SIGKILL)
    wait_for(binn / "ends.txt", 20)

    rig.client_control(binn, output=BACKUP_OUTPUT)
    arguments = '"D:\\Backup"' + (f' "{next_log}"' if next_log else "")
    if next_log:
        rig.path(next_log).parent.mkdir(parents=True, exist_ok=True)
    second = rig.run(arguments, log=next_log)
    logged = masked(second.log[len(first.log):] if not next_log else second.log)
    expected = ["<ts>: " + line.format(log=log) for line in lines]
    at = logged.index(expected[0])
    assert logged[at - 1:at + len(lines)] == [START, *expected], "before anything else of the run"
    # The earlier output is kept where the line says, though this run's client wrote its own.
    assert rig.path(log + "sql.prev").read_bytes() == output.encode("cp1252")
    confirmed = len(lines) == 1
    # A failure that outlived its run is this run's failure too.
    assert second.status == (0 if confirmed else 3)
    status = read_status(backup)
    assert status["previousDatabase"] == {
        "outcome": "confirmed" if confirmed else "not confirmed",
        "reason": "" if confirmed else f"client reported an error, see {log}sql.prev",
        "messages": [line.strip() for line in lines[1:]],
        "output": log + "sql", "keptAs": log + "sql.prev"}
    assert status["database"]["outcome"] == "confirmed"
    assert [line.format(log=log) for line in lines] == status["outcome"][:len(lines)]


def test_next_run_starts_no_second_client_while_the_first_runs(rig):
    binn = set_up(rig, control=dict(sleep=25, output=FAILED))
    try:
        first = rig.run('"D:\\Backup"')
        assert first.status == 5
        start = read_status(rig.path("D:\\Backup"))["database"]["clientStart"]
        second = rig.run('"D:\\Backup"')
        assert second.status == 5
        logged = masked(second.log[len(first.log):])
        assert logged[1] == f"<ts>: previous SQL backup still running since {start}"
        assert logged[-1] == ("<ts>: SQL backup not started, previous backup still running "
                              f"since {start}")
        assert len(rig.client_calls(binn)) == 1, "one client in all"
        status = read_status(rig.path("D:\\Backup"))
        assert (status["database"]["outcome"], status["database"]["clientStart"]) == (
            "still running", start)
    finally:
        for pid in client_processes("C:\\SQLTools\\Binn\\sqlcmd.exe", rig.session.prefix):
            os.kill(pid, signal.SIGKILL)


def veskbackup_processes(rig) -> list[int]:
    return client_processes(f"{PROGRAM_DIR}\\veskbackup.exe", rig.session.prefix)


def test_status_file_stays_whole_when_it_cannot_be_replaced_or_the_run_is_killed(rig):
    rig.drive("D")
    make_source(rig, {"data.txt": b"data"}, [])
    backup = rig.path("D:\\Backup")
    assert rig.run('"D:\\Backup"').status == 0
    before = (backup / STATUS_FILE).read_bytes()

    # A reader holds the file with no sharing: the run tries again for a while, then logs it.
    with rig.hold_file("D:\\Backup\\" + STATUS_FILE):
        held = rig.run('"D:\\Backup"')
    assert held.status == 0
    assert masked(held.log)[-1] == (
        f"<ts>: status file not written: D:\\Backup\\{STATUS_FILE}: Permission denied")
    assert (backup / STATUS_FILE).read_bytes() == before

    # Killed while it tries: only the file beside it is left.
    beside = backup / (STATUS_FILE + ".tmp")
    with rig.hold_file("D:\\Backup\\" + STATUS_FILE):
        started = rig.start('"D:\\Backup"')
        wait_for(beside, 30)
        for pid in veskbackup_processes(rig):
            os.kill(pid, signal.SIGKILL)
        started.wait(30)
    assert (backup / STATUS_FILE).read_bytes() == before
    read_status(backup)

    again = rig.run('"D:\\Backup"')
    assert again.status == 0 and read_status(backup)["exitStatus"] == 0
    assert not beside.exists()


def test_full_destination_keeps_the_last_status_file(rig):
    make_source(rig, {"data.txt": b"data"}, [])
    with small_disk(rig, "E", 640 * 1024) as disk:
        assert rig.run('"E:\\Backup"').status == 0
        before = (disk / "Backup" / STATUS_FILE).read_bytes()
        filler = disk / "filler.bin"
        with filler.open("wb", buffering=0) as out:
            try:
                while True:
                    out.write(b"\0" * 4096)
            except OSError:
                pass  # the disk is full
        full = rig.run('"E:\\Backup"')
        assert full.status == 0
        assert masked(full.log)[-1] == (
            f"<ts>: status file not written: E:\\Backup\\{STATUS_FILE}: Disk full")
        assert (disk / "Backup" / STATUS_FILE).read_bytes() == before
        assert read_status(disk / "Backup")["exitStatus"] == 0
        assert not (disk / "Backup" / (STATUS_FILE + ".tmp")).exists()


# What Wine's stubs trace per call: the entry's type and full message identifier, then each
# text on a line of its own.
REPORT_EVENT = re.compile(r"fixme:advapi:ReportEventA \(\w+,0x(\w+),0x\w+,0x(\w+),")
EVENT_TEXT = re.compile(r':eventlog:ReportEventW L"(.*)"$')


@pytest.mark.parametrize("path_conf, status, event_type, message, zone, offset", [
    (True, 0, 0x0004, 0x600003E8, "Asia/Kolkata", r"\+05:30"),
    (False, 2, 0x0001, 0xE00003EA, "America/New_York", r"-0[45]:00"),
], ids=["backed up", "error report"])
def test_one_event_log_entry_per_run(rig, path_conf, status, event_type, message, zone, offset):
    rig.drive("D")
    make_source(rig, {"data.txt": b"data"}, [])
    if not path_conf:
        rig.path(rig.path_conf).unlink()
    trace = rig.tmp / "wine-stderr.txt"
    with trace.open("wb") as stderr:
        r = rig.run('"D:\\Backup"', env={"WINEDEBUG": "-all,fixme+advapi,+eventlog", "TZ": zone},
                    stderr=stderr)
    assert r.status == status
    lines = trace.read_text(errors="replace").splitlines()
    calls = [m.groups() for m in map(REPORT_EVENT.search, lines) if m]
    assert [(int(t, 16), int(i, 16)) for t, i in calls] == [(event_type, message)]
    texts = [m.group(1) for m in map(EVENT_TEXT.search, lines) if m]
    log = windows_log(r).replace("\\", "\\\\")
    assert texts[-1] == log
    expected = "Backup Folder completed" if path_conf else "path.confnot found. Pls. check"
    assert expected in texts[0]
    # The zone of the run's process: the status file's times carry its offset.
    assert re.search(offset + "$", read_status(rig.path("D:\\Backup"))["start"])


def wait_for_settlement(folder: Path, seconds: float) -> dict:
    deadline = time.monotonic() + seconds
    while True:
        status = read_status(folder)
        if status["database"].get("settledBy") == "watch":
            return status
        assert time.monotonic() < deadline, "no watch settled the record"
        time.sleep(0.5)


@pytest.mark.parametrize("output, confirmed", [(BACKUP_OUTPUT, True), (FAILED, False)],
                         ids=["confirmed", "failed"])
def test_watch_settles_the_backup_the_same_night(rig, output, confirmed):
    binn = set_up(rig, control=dict(sleep=20, output=output))
    backup = rig.path("D:\\Backup")
    trace = rig.tmp / "wine-stderr.txt"
    with trace.open("wb") as stderr:
        first = rig.run('"D:\\Backup"', env={"WINEDEBUG": "-all,fixme+advapi"}, stderr=stderr)
    assert first.status == 5 and first.elapsed < 6.5 + 2, first.elapsed
    assert masked(first.log)[-1] == "<ts>: SQL backup still running after 5 seconds"

    status = wait_for_settlement(backup, 60)
    log = first.log_path.read_bytes().decode("cp1252")
    settled = masked(log[len(first.log):])
    if confirmed:
        assert settled == ["<ts>: SQL backup confirmed after 0 minutes"]
    else:
        assert settled == [
            f"<ts>: SQL backup NOT complete, client reported an error, see {windows_log(first)}sql",
            "<ts>:   Msg 3201, Level 16, State 1, Server SRV01, Line 1",
            "<ts>:   Cannot open backup device."]
    assert (status["exitStatus"], status["database"]["outcome"]) == (
        (0, "confirmed") if confirmed else (3, "not complete"))
    assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d",
                        status["database"]["confirmedAt"])
    assert [line.removeprefix("<ts>: ") for line in settled] == status["outcome"][-len(settled):]
    # The run's entry, then the watch's own.
    calls = REPORT_EVENT.findall(trace.read_text(errors="replace"))
    assert [(int(t, 16), int(i, 16)) for t, i in calls] == [
        (0x0002, 0xA00003ED), (0x0004, 0x600003F2) if confirmed else (0x0001, 0xE00003F5)]

    # The record is settled: the next run has nothing to confirm.
    rig.client_control(binn, output=BACKUP_OUTPUT)
    second = rig.run('"D:\\Backup"')
    assert not any("previous SQL backup" in line for line in masked(second.log[len(log):]))
    assert second.status == 0


def test_a_killed_watch_leaves_the_status_file_whole_and_the_next_run_confirms(rig):
    binn = set_up(rig, control=dict(sleep=12, output=BACKUP_OUTPUT))
    first = rig.run('"D:\\Backup"')
    assert first.status == 5
    before = (rig.path("D:\\Backup") / STATUS_FILE).read_bytes()
    for pid in veskbackup_processes(rig):
        os.kill(pid, signal.SIGKILL)
    wait_for(binn / "ends.txt", 30)
    assert (rig.path("D:\\Backup") / STATUS_FILE).read_bytes() == before
    second = rig.run('"D:\\Backup"')
    assert f"<ts>: previous SQL backup confirmed: {windows_log(first)}sql.prev" in masked(
        second.log[len(first.log):])
