"""What a run takes from outside within bounds: the status file in the destination and the client
output it names, which others can write; and a box text of any length. Each run here is whole
(folders copied, database stage run) and says in one line what it did not use."""

import json
import os
import re
import shutil
import time

import pytest

from rig import BACKUP_OUTPUT, PROGRAM_DIR, RUN_DIR, STATUS_FILE, masked, read_status
from test_database import URL, db_properties, set_up

TICKS_PER_SECOND = 10_000_000
WHOLE_RUN_END = ["<ts>: SQL backup Complete"]


def measure(rig, arguments: str) -> dict:
    """One run of veskbackup.exe under peakmem.exe: its exit code, seconds and peak memory."""
    tool = rig.path(f"{RUN_DIR}\\peakmem.exe")
    if not tool.exists():
        shutil.copy(rig.session.build_dir / "peakmem.exe", tool)
    n = next(rig.counter)
    command, out = f"{RUN_DIR}\\cmd-{n}.txt", f"{RUN_DIR}\\measure-{n}.json"
    rig.path(command).write_bytes(
        f"{PROGRAM_DIR}\\veskbackup.exe {arguments}\r\n{RUN_DIR}\r\n".encode("cp1252"))
    process = rig.session.popen(f"{RUN_DIR}\\peakmem.exe", command, out)
    process.wait(120)
    report = json.loads(rig.path(out).read_text())
    report["seconds"] = (report["exited"] - report["created"]) / TICKS_PER_SECOND
    return report


def left_running(status: dict, output: str) -> bytes:
    """A status file whose run left its client running, writing to output."""
    status["exitStatus"], status["meaning"] = 5, "still running"
    status["database"].update(outcome="still running", output=output, clientProcessId=None,
                              clientCreated=None)
    return json.dumps(status, indent=2).encode("utf-8")


def nested(depth):
    return lambda status: b"[" * depth + b"]" * depth


def sparse(rig, size):
    def make(status):
        with rig.path("D:\\Backup\\" + STATUS_FILE).open("wb") as out:
            out.truncate(size)
        return None
    return make


# What a status file was made of, and the line that says it was not used.
NOT_USED = [
    ("20,000 nested arrays", nested(20_000), "nested deeper than 16 levels"),
    ("100,000 nested arrays", nested(100_000), "nested deeper than 16 levels"),
    ("50 MB", lambda status: b'{"x": "' + b"x" * 50_000_000 + b'"}', "larger than 8 MiB, not read"),
    ("UTF-16", lambda status: json.dumps(status).encode("utf-16"),
     "not valid JSON: UTF-16, not UTF-8"),
    ("invalid UTF-8", lambda status: json.dumps(status).encode().replace(
        b"veskbackuplog", b"veskbackup\xe9log"), r"not valid JSON at byte \d+"),
    ("duplicated keys", lambda status: json.dumps(status).replace(
        '"exitStatus": 0', '"exitStatus": 3, "exitStatus": 0').encode(),
     'not valid JSON: key "exitStatus" twice'),
    ("a number where a text belongs", lambda status: json.dumps(
        {**status, "log": 7}).encode(), "log: a field of the wrong type"),
]


@pytest.mark.parametrize("make, reason", [(make, reason) for _, make, reason in NOT_USED] +
                         [(None, "larger than 8 MiB, not read")],
                         ids=[name for name, _, _ in NOT_USED] + ["64 GiB sparse"])
def test_status_file_not_used_is_said_and_the_run_goes_on(rig, make, reason):
    set_up(rig)
    backup = rig.path("D:\\Backup")
    plain = measure(rig, '"D:\\Backup"')
    assert plain["exitCode"] == 0
    log = rig.path(rig.default_log())
    before = log.read_bytes()
    status = read_status(backup)

    content = (make or sparse(rig, 64 << 30))(status)
    if content is not None:
        (backup / STATUS_FILE).write_bytes(content)
    run = measure(rig, '"D:\\Backup"')
    lines = masked(log.read_bytes()[len(before):].decode("cp1252"))
    assert run["exitCode"] == 0, lines
    assert re.fullmatch("<ts>: previous status file not used: " + reason, lines[1]), lines
    assert "<ts>: Backup Folder completed" in lines and lines[-1:] == WHOLE_RUN_END
    assert run["seconds"] <= plain["seconds"] + 5
    assert run["peakWorkingSet"] <= plain["peakWorkingSet"] + 64 * 2**20
    previous = read_status(backup)["previousDatabase"]
    assert previous["outcome"] == "unknown" and re.fullmatch(reason, previous["reason"])


def unc_share(rig, output: bytes):
    """\\\\somehost\\share\\f, as Wine finds a share under dosdevices/unc, holding output; its
    access time set back, so that a read of it would show."""
    share = rig.tmp / "somehost-share"
    share.mkdir()
    (rig.dosdevices / "unc" / "somehost").mkdir(parents=True, exist_ok=True)
    link = rig.dosdevices / "unc" / "somehost" / "share"
    if link.is_symlink():
        link.unlink()
    link.symlink_to(share)
    planted = share / "f"
    planted.write_bytes(output)
    return planted


def set_back(path):
    """Sets the access time a day before the change time: the next read moves it."""
    changed = path.stat().st_mtime
    os.utime(path, (changed - 86400, changed))
    return changed - 86400


@pytest.mark.parametrize("output, reason", [
    ("\\\\somehost\\share\\f", "a host that the command line does not name"),
    ("\\\\.\\C:\\planted.txt", "a device path"),
], ids=["UNC", "device"])
def test_output_path_of_another_host_or_a_device_is_never_opened(rig, output, reason):
    set_up(rig)
    backup = rig.path("D:\\Backup")
    plain = measure(rig, '"D:\\Backup"')
    planted = (unc_share(rig, BACKUP_OUTPUT.encode()) if output.startswith("\\\\somehost")
               else rig.path("C:\\planted.txt"))
    planted.write_bytes(BACKUP_OUTPUT.encode())
    # The file system here keeps access times: a read of the planted file shows.
    planted.read_bytes()
    read_at = set_back(planted)
    planted.read_bytes()
    if planted.stat().st_atime == read_at:
        pytest.skip("the file system here keeps no access times")
    read_at = set_back(planted)

    log = rig.path(rig.default_log())
    before = log.read_bytes()
    (backup / STATUS_FILE).write_bytes(left_running(read_status(backup), output))
    run = measure(rig, '"D:\\Backup"')
    lines = masked(log.read_bytes()[len(before):].decode("cp1252"))
    # A previous backup not confirmed is this run's failure too.
    assert run["exitCode"] == 3, lines
    assert lines[1] == (f"<ts>: previous SQL backup NOT confirmed, output not read: {output} "
                        f"({reason})")
    assert "<ts>: Backup Folder completed" in lines and lines[-1:] == WHOLE_RUN_END
    assert planted.stat().st_atime == read_at, "the planted output was opened"
    assert run["seconds"] <= plain["seconds"] + 5
    assert run["peakWorkingSet"] <= plain["peakWorkingSet"] + 64 * 2**20


def test_status_file_held_by_another_program_is_said(rig):
    set_up(rig)
    backup = rig.path("D:\\Backup")
    assert rig.run('"D:\\Backup"').status == 0
    failed = "Msg 3201, Level 16, State 1, Server SRV01, Line 1\r\nCannot open backup device.\r\n"
    rig.path("C:\\Old\\vesk.txtsql").parent.mkdir()
    rig.path("C:\\Old\\vesk.txtsql").write_bytes(failed.encode())
    (backup / STATUS_FILE).write_bytes(left_running(read_status(backup), "C:\\Old\\vesk.txtsql"))
    with rig.hold_file("D:\\Backup\\" + STATUS_FILE):
        r = rig.run('"D:\\Backup"')
    lines = masked(r.log)
    at = lines.index("<ts>: previous status file not used: held by another program")
    assert lines[at - 1] == "<ts>: VESK start backup"
    assert "<ts>: SQL backup Complete" in lines
    assert lines[-1] == (f"<ts>: status file not written: D:\\Backup\\{STATUS_FILE}: "
                         "Permission denied")
    assert r.status == 0


def test_box_of_a_100_kb_value_is_cut_and_the_log_keeps_it_whole(rig):
    host = "h" * 102_400
    set_up(rig, db_properties().replace(URL, f"proto://{host}:1433;opt=1"))
    r = rig.run('"D:\\Backup" "default" "Y"', timeout=120)
    # No command line holds 100 KB: the client cannot be started.
    assert r.status == 3, masked(r.log)
    assert masked(r.log)[-1] == "<ts>: SQL backup NOT complete, client could not be started"
    [command] = [line for line in masked(r.log) if host in line]
    cut = [text for _, text in r.boxes if "characters in all, cut here" in text]
    assert len(cut) == 1 and len(cut[0]) < 2100
    assert cut[0].endswith(f"...\r\n({len(command) - len('<ts>: ')} characters in all, cut here; "
                           "the run log holds them whole)")
