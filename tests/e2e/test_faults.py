"""The fault matrix: whole runs of the real program under Wine, each with one thing gone wrong.

Every row checks what the run reports (run log lines and boxes) and its exit status, and then the
same four promises: the source tree is byte-for-byte as it was, the run log only grew (a line of
an earlier run stays at its head), no log line, box or copy listing carries the database password,
and the program ended by itself within the row's time. Each row's outcome is also written as one
JSON line to build/e2e/fault-matrix.jsonl (VESK_FAULT_REPORT names another file), which
scripts/reliability turns into the table of docs/reliability.md.
"""

import contextlib
import dataclasses
import datetime
import hashlib
import json
import os
import re
import shutil
import subprocess
import time
from pathlib import Path
from typing import Callable

import pytest

import copy_faults
from rig import (CLIENT_KEYS, PROGRAM_DIR, RUN_DIR, STATUS_FILE, StartedRun, decode, masked,
                 read_status, summary)
from test_check import small_disk

REPO = Path(__file__).resolve().parents[2]
REPORT = Path(os.environ.get("VESK_FAULT_REPORT") or REPO / "build" / "e2e" / "fault-matrix.jsonl")

CAPTION = "veskbackup"
PASSWORD = "Pw9-secret"
# A run of an earlier day: the program may add to the log but never change what is there.
SEED = "1/2/2020 3:04:05 AM: VESK start backup\r\n1/2/2020 3:04:09 AM: SQL backup Complete\r\n"
DB_PROVIDERS = {"2005": "SQLNCLI.1", "MSDE": "SQLOLEDB"}
CLIENTS = {"2005": "sqlcmd.exe", "MSDE": "OSQL.exe"}
# The step that the error report names for a failure reading the client tools' folder.
TOOLS_STEPS = {"2005": 120, "MSDE": 116}
HKLM = "HKEY_LOCAL_MACHINE\\"
# Sixteen levels under the source make a path of about 290 characters: past MAX_PATH.
DEEP = "\\".join(f"level{i:02d}_abcdefgh" for i in range(16))
# Its first folder past MAX_PATH (269 characters under C:\Apps\Client, 264 under D:\Backup):
# too long for both copy tools, so only the repair pass copies the tree.
DEEP_MISSING = "\\".join(DEEP.split("\\")[:15])


def db_properties(generation, password=PASSWORD):
    return (f"DB_PROVIDER={DB_PROVIDERS[generation]}\r\n"
            "dbconn.appl.url=proto://SRV01:1433;opt=1\r\n"
            "dbconn.appl.user=appuser\r\n"
            f"dbconn.appl.pwd={password}\r\n").encode("cp1252")


@dataclasses.dataclass
class Many:
    """One or more consecutive log lines that match pattern."""
    pattern: str


def permission_denied(step=None):
    """The generic report before path.conf is open, the error report naming step after."""
    if step is None:
        return "Error 70: Permission denied"
    return report_box(70, step, "Permission denied")


def report_box(number, step, description):
    return f"Unexpected error {number} line no {step} in printing.\r\n{description}"


def summary_of_nothing():
    return "backup holds 0 files in 0 folders, 0 bytes; copied again: 0"


def report_line(number, step, description):
    return f"Error: {number}line no: {step}Desc:{description}"


def registry(change, *args):
    """Makes a registry change through the rig. Now and then, under load, Wine's reg.exe ends
    with 1 and no message at all (a few times in some hundred calls); once more then does it."""
    try:
        return change(*args)
    except RuntimeError as error:
        if not str(error).startswith(("wine reg ", "wine regedit ")):
            raise
        time.sleep(0.5)
        return change(*args)


class Scene:
    """What a row's run finds: drives, the installation, path.conf, the client and a run log
    that already holds an earlier run. Rows change the attributes before build()."""

    def __init__(self, rig):
        self.rig = rig
        self.source = "C:\\Apps\\Client"  # finalPath in Windows form, without its backslash
        self.built_source = None  # where the installation's files are made; default source
        self.final_path = "C:/Apps/Client/"
        self.files = {"data.txt": b"data\r\n", "sub\\b.bin": bytes(range(256)) * 4}
        self.folders = ["empty"]
        self.db_properties_at = None  # default: <source>\ZAVO\db.properties
        self.destination = "D:\\Backup"  # as Windows names it; typed: as the command line has it
        self.typed = None
        self.generation = "2005"
        self.password = PASSWORD
        self.tools = "C:\\SQLTools"  # the registered SQLPath
        self.install_client = True
        self.control = {}
        self.options = ""  # the arguments after the destination
        self.log = rig.default_log()
        self.hashed = ["C:\\Apps"]
        self.holds = []  # files held open with no sharing while the program runs
        self.box_delay = (0, None)
        self.runs = 1
        self.during = None  # called with the scene and the started run
        self.binn = None
        self.direct = False  # the program started by itself, not through its batch file
        self.first = []  # commands of the batch file before the run, from its folder
        self.seed_length = len(SEED)
        self.exits = contextlib.ExitStack()

    # What the program reports, as the rows expect it.
    def start_copy(self):
        return f"Start copying from {self.source}to {self.destination}\\"

    def xcopy(self):
        return ["doing xcopy", "cd to " + self.destination[:3]]

    def held(self, all_copied_again=False):
        """The summary line of a backup that holds the whole installation; with
        all_copied_again, the repair pass copied every file."""
        root = self.rig.path(self.built_source or self.source)
        again = sum(p.is_file() for p in root.rglob("*")) if all_copied_again else 0
        return summary(root, (), again)

    def held_without(self, relative):
        return summary(self.rig.path(self.built_source or self.source), [relative])

    def copied(self):
        return [self.start_copy(), *self.xcopy(), "Backup Folder completed", self.held()]

    def command(self):
        folder = self.destination
        tail = (f"\\\"{folder}\\\"\"" if self.generation == "MSDE" else f"'{folder}'\"")
        return (f'"{self.tools}\\Binn\\{CLIENTS[self.generation]}" -S SRV01,1433 -d VESK_ZAVO '
                f"-U appuser -b -Q \"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', {tail} "
                f'-o "{self.log}sql"' + (" -P" if self.generation == "MSDE" else ""))

    def database(self):
        return [f"SQL start backup {self.generation}", self.command()]

    def whole_run(self, outcome="SQL backup Complete"):
        return ["VESK start backup", *self.copied(), *self.database(), outcome]

    def unsupported_type(self):
        return ["VESK start backup", *self.copied(), f"SQL start backup {self.generation}",
                report_line(1001, TOOLS_STEPS[self.generation], "Unsupported value type")]

    def unsupported_type_box(self):
        return [report_box(1001, TOOLS_STEPS[self.generation], "Unsupported value type")]

    # Building it.
    def build(self):
        rig = self.rig
        rig.drive("D")
        installation = self.built_source or self.source
        source = rig.path(installation)
        source.mkdir(parents=True, exist_ok=True)
        for name, content in self.files.items():
            target = source / Path(*name.split("\\"))
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
        for name in self.folders:
            (source / Path(*name.split("\\"))).mkdir(parents=True, exist_ok=True)
        properties = rig.path(self.db_properties_at or installation + "\\ZAVO\\db.properties")
        properties.parent.mkdir(parents=True, exist_ok=True)
        properties.write_bytes(db_properties(self.generation, self.password))
        rig.path("D:\\Backup").mkdir()
        rig.write_path_conf(f"finalPath={self.final_path}\r\n")
        if self.install_client:
            self.binn = registry(rig.install_client, self.tools, self.generation, self.control)
        log = rig.path(self.log)
        log.parent.mkdir(parents=True, exist_ok=True)
        log.write_bytes(SEED.encode("cp1252"))

    def set_sql_path(self, type_code, data: bytes):
        """Stores "SQLPath" with any registry type, as a set-up program could."""
        key = HKLM + CLIENT_KEYS[self.generation].removeprefix("HKLM\\")
        hex_data = ",".join(f"{b:02x}" for b in data)
        text = (f"Windows Registry Editor Version 5.00\r\n\r\n[{key}]\r\n"
                f'"SQLPath"=hex({type_code:x}):{hex_data}\r\n')
        self.rig.path("C:\\sqlpath.reg").write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
        registry(self.rig.session.wine, "regedit", "/S", "C:\\sqlpath.reg")


@dataclasses.dataclass
class Outcome:
    statuses: list
    ended: datetime.datetime
    boxes: list
    box_records: list
    log: str | None


@dataclasses.dataclass
class Row:
    id: str
    fault: str
    expected: str  # the intended behaviour in words, for the report
    status: int | None  # None: the row's check decides
    lines: Callable | None  # Scene -> the log lines after the seed; None: the check decides
    boxes: Callable | None = None  # Scene -> the texts of the boxes; None: no box at all
    configure: Callable = lambda s: None  # before the scene is built
    prepare: Callable = lambda s: None  # after it is built
    check: Callable = lambda s, o: None  # further checks
    bound: float = 20  # seconds the run may take


# The arrangements of the rows.
def read_only_log(s):
    log = s.rig.path(s.log)
    os.chmod(log, 0o444)  # the DOS read-only attribute, as Wine keeps it
    if os.geteuid() != 0:
        return
    # Root writes through missing write bits, and so does Wine running as root; a file the
    # kernel refuses to change is what a read-only file is to Windows.
    if subprocess.run(["chattr", "+i", str(log)], capture_output=True).returncode != 0:
        pytest.skip("running as root on a file system without the immutable attribute: "
                    "nothing makes the log read-only for Wine")
    s.exits.callback(subprocess.run, ["chattr", "-i", str(log)], check=True)


def held_db_properties(s):
    # The shell copy skips a file it cannot read and goes on (Wine's xcopy would stop there).
    s.options = ' "default" "N" "N"'
    s.holds = [s.source + "\\ZAVO\\db.properties"]


def delete_destination_while_copy_box_open(s, run):
    """The destination passed its test; while the box "Start copying from" is open (boxtool
    holds the first two boxes 2 s each) the folder goes away."""
    log = s.rig.path(s.log)
    deadline = time.monotonic() + 15
    while "VESK start backup" not in decode(log.read_bytes())[len(SEED):]:
        if run.process.poll() is not None or time.monotonic() > deadline:
            return
        time.sleep(0.02)
    # The log line is written once the first box closed; the checks of source and destination
    # take milliseconds, then the second box opens and stays 2 s.
    time.sleep(1.0)
    shutil.rmtree(s.rig.path(s.destination))
    s.deleted_at = datetime.datetime.now()


def check_deleted_in_window(s, o):
    box = o.box_records[1]
    assert box.text == s.start_copy()
    assert box.found <= s.deleted_at <= box.pressed, (
        "rig timing: the destination was not deleted while the copy box was open",
        box.found, s.deleted_at, box.pressed)
    assert not s.rig.path(s.destination).exists()  # the run made no folder of its own there


def destination_empty(s, o):
    """Nothing copied; the status file of a run that reached the destination may be there."""
    assert [p.name for p in s.rig.path("D:\\Backup").iterdir() if p.name != STATUS_FILE] == []


def no_file_in_destination(s, o):
    assert [p for p in s.rig.path("D:\\Backup").rglob("*")
            if not p.is_dir() and p.name != STATUS_FILE] == []


def unix_time(filetime_ticks):
    return int(filetime_ticks) / 1e7 - 11644473600


def check_client_went_on(s, o):
    [call] = s.rig.client_calls(s.binn)
    # The program counts its 5 s from just after the start, a little before the client's own
    # first instruction; the end is seen after the batch file has ended.
    waited = o.ended.timestamp() - unix_time(call["started"])
    assert 4.5 <= waited <= 7.0, f"the run ended {waited:.2f} s after the client started"
    # The client ends by itself after the run; waiting for it keeps it out of the next row.
    ends = s.binn / "ends.txt"
    deadline = time.monotonic() + 10
    while not ends.exists() and time.monotonic() < deadline:
        time.sleep(0.1)
    [client_ended] = ends.read_text().split()
    assert unix_time(client_ended) > o.ended.timestamp(), "the client had ended before the run"


def client_not_started(s, o):
    assert s.rig.client_calls(s.binn) == []


def client_got_whole_folder(s, o):
    [call] = s.rig.client_calls(s.binn)
    assert call["argv"][0] == f"{s.tools}\\Binn\\{CLIENTS[s.generation]}"
    assert call["passwordLengths"]["SQLCMDPASSWORD"] == len(PASSWORD)
    assert call["argv"][9] == f"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', '{s.destination}'"


def register_long_sql_path(s):
    # The client stays in C:\SQLTools; the value names it by a way round of 1151 characters
    # (1152 bytes with its NUL), more than the registry reader's first read takes.
    s.tools = "C:\\SQLTools" + "\\..\\SQLTools" * 95
    assert len(s.tools) + 1 > 1024
    registry(s.rig.reg_add, CLIENT_KEYS["2005"], "SQLPath", s.tools)


def deep_source(s):
    s.files[DEEP + "\\deep.txt"] = b"deep\r\n"


def deep_source_shell_copy(s):
    deep_source(s)
    s.options = ' "default" "N" "N"'


def very_long_source(s):
    # One name of 3,000 characters cannot exist: the installation is built elsewhere.
    s.built_source = s.source
    s.source = "C:\\" + "a" * 3000
    s.final_path = "C:/" + "a" * 3000 + "/"


def delete_destination(s):
    s.options = ' "default" "Y"'
    s.box_delay = (2000, 2)
    s.during = delete_destination_while_copy_box_open


def missing_source(s):
    s.built_source = s.source
    s.source, s.final_path = "C:\\Apps\\Gone", "C:/Apps/Gone/"


def missing_client(s):
    s.install_client = False
    s.tools = "C:\\NoTools"


def blanks(s):
    s.source, s.final_path = "C:\\Apps\\My Client", "C:/Apps/My Client/"
    s.files = {"read me.txt": b"a b\r\n", "sub folder\\x y.bin": bytes(range(256))}
    s.folders = ["empty folder"]
    s.destination = "D:\\My Backup\\Daily Set"
    s.tools = "C:\\Program Files\\SQL Tools"
    s.log = "D:\\My Logs\\run log.txt"
    s.options = f' "{s.log}"'


def ansi_characters(s):
    s.source, s.final_path = "C:\\Apps\\B\u00fccher", "C:/Apps/B\u00fccher/"
    s.files = {"R\u00e9sum\u00e9.txt": "Gr\u00fc\u00dfe\r\n".encode("cp1252"),
               "\u00d6kologie\\\u00dcbersicht.bin": bytes(range(256))}
    s.folders = ["Caf\u00e9"]
    s.destination = "D:\\Sicherung\\Gr\u00fc\u00dfe"
    s.tools = "C:\\Programme\\SQL-B\u00fcro"
    s.log = "D:\\Protokolle\\M\u00e4rz.txt"
    s.options = f' "{s.log}"'


def long_destination(s):
    levels = (f"abcdefghijklmnopqrstuvwxyz{i:02d}" for i in range(11))
    s.destination = "D:\\Backup\\" + "\\".join(levels)  # 328 characters


def two_runs(s):
    s.runs = 2


def check_two_runs(s, o):
    text = o.log[len(SEED):]
    lines = [line.split(": ", 1)[-1] for line in masked(text)]
    assert lines.count("VESK start backup") == 2
    copies = [line for line in lines if line.startswith("Backup Folder ")]
    outcomes = [line for line in lines if line.startswith("SQL backup ")]
    assert len(copies) == 2 and len(outcomes) == 2, lines
    assert all(status in (0, 3) for status in o.statuses), o.statuses
    # A run may lose the race for the files, but a failure is never reported as success, and a
    # status 3 always has a reason in the log.
    failures = sum(line != "Backup Folder completed" for line in copies) + sum(
        line != "SQL backup Complete" for line in outcomes)
    assert (failures == 0) == (o.statuses.count(3) == 0), (o.statuses, lines)
    assert o.statuses.count(3) <= failures
    if 0 in o.statuses:
        assert_copied(s)
    assert o.boxes == []


HACKED = "C:\\hacked.txt"


def commands_in_final_path(s):
    s.built_source = s.source
    s.source = s.final_path = f'C:\\App"&echo hacked>{HACKED}&rem "'


def check_no_command_ran(s, o):
    assert not s.rig.path(HACKED).exists()
    destination_empty(s, o)


DECOY = "C:\\Apps\\Windows_NT^&Client"  # what cmd made of the folder's name


def percent_and_caret(s):
    s.source, s.final_path = "C:\\Apps\\%OS%^&Client", "C:/Apps/%OS%^&Client/"


def another_folder_alike(s):
    """A folder named as cmd expanded the source's name, with a file of the same size and time
    as the source's and one of its own."""
    decoy = s.rig.path(DECOY)
    decoy.mkdir(parents=True)
    (decoy / "data.txt").write_bytes(b"DATA\r\n")
    (decoy / "decoy.txt").write_bytes(b"not the source's")
    stat = s.rig.path(s.source + "\\data.txt").stat()
    os.utime(decoy / "data.txt", ns=(stat.st_atime_ns, stat.st_mtime_ns))


def check_exact_copy(s, o):
    copied = tree_digest(s.rig.path(s.destination))
    copied.pop(STATUS_FILE, None)
    assert copied == tree_digest(s.rig.path(s.source))


PLANTED = ("cmd.exe", "xcopy.exe")


def planted_programs(s):
    s.direct = True  # nothing of the rig's own looks for cmd in the planted folders


def plant_programs(s):
    for folder in (s.destination, PROGRAM_DIR, RUN_DIR):
        for name in PLANTED:
            shutil.copy(s.rig.session.build_dir / "stub_client.exe", s.rig.path(folder) / name)


def check_system_xcopy_ran(s, o):
    # A planted stub writes args.json beside itself whenever it runs.
    assert [f for f in (s.destination, PROGRAM_DIR, RUN_DIR)
            if s.rig.path(f + "\\args.json").exists()] == []
    listing = decode(s.rig.path(s.log + "xcp").read_bytes()).splitlines()
    assert sorted(listing[:-1]) == sorted(f"{s.source}\\{name}" for name in
                                          [*s.files, "ZAVO\\db.properties"]), listing


def empty_password(s):
    s.password = ""


def check_empty_password_kept(s, o):
    [call] = s.rig.client_calls(s.binn)
    assert call["passwordLengths"]["SQLCMDPASSWORD"] == 0, call
    assert call["argv"][5:9] == ["-U", "appuser", "-b", "-Q"], call["argv"]


def log_on_small_disk(s):
    s.exits.enter_context(small_disk(s.rig, "L", 256 * 1024))
    s.log = "L:\\vesk.txt"
    s.options = f' "{s.log}"'


def fill_log_disk(s):
    """Fills the log's disk: the run log still grows within the page it has (the seed uses a
    little of it), a new file gets no byte."""
    with open(s.rig.path("L:\\filler.bin"), "wb", buffering=0) as filler:
        with contextlib.suppress(OSError):
            while True:
                filler.write(b"\0" * 4096)


BATCH = "C:\\evil.bat"


def sql_path_naming_a_batch_file(s):
    # Started without the program's name, the system would take the line's first quoted piece,
    # the batch file, and hand it, password and all, to a command interpreter.
    s.install_client = False
    s.tools = f'{BATCH}" "'


def plant_batch_file(s):
    s.rig.path(BATCH).write_bytes(b"@echo %* > C:\\batch-ran.txt\r\n")
    registry(s.rig.reg_add, CLIENT_KEYS["2005"], "SQLPath", s.tools)


def check_batch_not_run(s, o):
    assert not s.rig.path("C:\\batch-ran.txt").exists()


def drive_root_source(s):
    s.rig.drive("S")
    s.source, s.final_path = "S:\\", "S:/"
    s.hashed = ["S:\\"]
    # The drive's current folder, which "S:" alone would name, is another folder than its root.
    s.first = ["cd /d S:\\sub"]


def shell_copy(s):
    s.options = ' "default" "N" "N"'


def grown_during_xcopy(s):
    s.files["big.bin"] = copy_faults.BIG
    s.destination = "E:\\Backup"
    s.hashed = []  # the application changes the source during the run
    s.options = ' "default" "Y"'
    s.box_delay = (2000, 2)
    s.during = copy_faults.grow_while_the_copy_box_is_open


def check_grown(s, o):
    lines = [line.split(": ", 1)[-1] for line in masked(o.log[len(SEED):])]
    assert "xcopy ended with exit code 5" in lines, lines
    if o.statuses == [3]:
        assert "not in backup: big.bin" in lines and "Backup Folder NOT complete" in lines, lines
    else:
        assert o.statuses == [0] and "copied again: big.bin" in lines, (o.statuses, lines)
        assert_copied(s)
    assert "Backup Folder completed" not in lines or o.statuses == [0]


def rewritten_while_copied(s):
    s.files["torn.bin"] = copy_faults.BIG
    s.files["zz\\huge.bin"] = bytes(150 * 1024 * 1024)  # xcopy copies it after torn.bin
    s.hashed = []
    s.rewritten = False
    s.during = copy_faults.rewrite_once_copied


def check_rewritten(s, o):
    assert s.rewritten, "rig timing: torn.bin was not rewritten while xcopy ran"


def fat_destination(s, mode):
    s.destination = "E:\\Backup"
    if mode == "shell copy":
        shell_copy(s)


def on_fat_drive(s):
    copy_faults.fat_drive(s)
    copy_faults.dated_sources(s)


def check_second_run_on_fat(s, o):
    again = run_scene(s, None)
    lines = masked(again.log[len(o.log):])
    assert again.statuses == [0], lines
    assert "<ts>: Backup Folder completed" in lines, lines
    assert_copied(s)


def typed_destination(s, typed, mode):
    s.typed = typed
    if mode == "shell copy":
        shell_copy(s)


def check_one_backup(s, o):
    """The run used one name for the destination: D:\\ holds the backup and nothing else."""
    assert [p.name for p in s.rig.path("D:\\").iterdir()] == ["Backup"]
    assert read_status(s.rig.path(s.destination))["destination"] == s.destination + "\\"


SECOND = "C:\\Apps\\Second"  # a second installation with a file of the first one's name


def second_record(s):
    second = s.rig.path(SECOND)
    second.mkdir(parents=True)
    (second / "data.txt").write_bytes(b"the second record's data\r\n")
    (second / "only.txt").write_bytes(b"only here")
    s.rig.write_path_conf(f"finalPath={s.final_path}\r\nfinalPath=C:/Apps/Second/\r\n")


def two_records_lines(s):
    tool = ["doing full copy"] if "N" in s.options else s.xcopy()
    return ["VESK start backup", s.start_copy(), *tool, "Backup Folder completed", s.held(),
            f"Start copying from {SECOND}to {s.destination}\\",
            "copied for an earlier finalPath record, not replaced: data.txt",
            "copied again: only.txt", "not in backup: data.txt", "Backup Folder NOT complete",
            summary(s.rig.path(SECOND), ["data.txt"], 1),
            "VESK backup completed without SQLServer version"]


def check_first_record_kept(s, o):
    backup = s.rig.path(s.destination)
    assert (backup / "data.txt").read_bytes() == s.files["data.txt"]
    assert (backup / "only.txt").read_bytes() == b"only here"


def copy_lines(s, *middle, held=None):
    return ["VESK start backup", s.start_copy(), *middle, "Backup Folder completed",
            held or s.held(), *s.database(), "SQL backup Complete"]


LOOPS = ["link loop not followed: sub\\up", "link loop not followed: sub\\deep\\up2"]


ROWS = [
    Row("log-read-only", "run log read-only",
        'generic report "Error 70: Permission denied", exit 4; log and destination untouched',
        4, lambda s: [], lambda s: [permission_denied()], prepare=read_only_log,
        check=destination_empty),
    Row("log-held-open", "run log held open by another process with no sharing",
        'generic report "Error 70: Permission denied", exit 4; log and destination untouched',
        4, lambda s: [], lambda s: [permission_denied()],
        prepare=lambda s: s.holds.append(s.log), check=destination_empty),
    Row("path-conf-locked", "path.conf held open with no sharing",
        'generic report "Error 70: Permission denied" after "VESK start backup", in the log '
        "too, exit 4",
        4, lambda s: ["VESK start backup", permission_denied()], lambda s: [permission_denied()],
        prepare=lambda s: s.holds.append(s.rig.path_conf), check=destination_empty),
    Row("db-properties-unreadable", "db.properties present but unreadable",
        "the shell copy skips it (Backup Folder NOT complete); error report 70 at step 81, "
        "exit 2; no client started",
        2, lambda s: ["VESK start backup", s.start_copy(), "doing full copy",
                      Many(r"not in backup: .*db\.properties"), "Backup Folder NOT complete",
                      s.held_without("ZAVO\\db.properties"),
                      report_line(70, 81, "Permission denied")],
        lambda s: [permission_denied(81)], configure=held_db_properties,
        check=client_not_started),
    Row("destination-deleted", "destination folder deleted after it was validated",
        "error report 76 (Path not found) at step 69, exit 2; the folder is not made again, "
        "the status file is not written there",
        2, lambda s: ["VESK start backup", s.start_copy(), *s.xcopy(),
                      report_line(76, 69, "Path not found"),
                      f"status file not written: {s.destination}\\{STATUS_FILE}: Path not found"],
        lambda s: ["VESK start backup", s.start_copy(), report_box(76, 69, "Path not found")],
        configure=delete_destination, check=check_deleted_in_window),
    Row("destination-drive-missing", "destination drive missing",
        'generic report "Error 76: Path not found", in the log too, exit 4; nothing copied',
        4, lambda s: ["VESK start backup", "Error 76: Path not found"],
        lambda s: ["Error 76: Path not found"],
        configure=lambda s: setattr(s, "destination", "Q:\\Backup")),
    Row("source-missing", "source folder missing (its drive present)",
        '"Not a folder.", copy attempted and "Backup Folder NOT complete", exit 3',
        3, lambda s: ["VESK start backup", "C:/Apps/Gone/Not a folder.", s.start_copy(),
                      *s.xcopy(), "xcopy ended with exit code 4", "not in backup: C:\\Apps\\Gone",
                      "Backup Folder NOT complete", summary_of_nothing(),
                      "VESK backup completed without SQLServer version"],
        configure=missing_source, check=destination_empty),
    Row("client-missing", "database client missing (SQLPath names an empty folder)",
        'nothing started, no box; "SQL backup NOT complete, no client tools found for 2005", '
        "exit 3",
        3, lambda s: ["VESK start backup", *s.copied(), "SQL start backup 2005",
                      "SQL backup NOT complete, no client tools found for 2005"],
        configure=missing_client,
        prepare=lambda s: registry(s.rig.reg_add, CLIENT_KEYS["2005"], "SQLPath", "C:\\NoTools")),
    Row("client-hanging", "database client hanging",
        '"SQL backup still running after 5 seconds" about 5 to 6.5 s after the client started, '
        "exit 5; the client goes on and ends by itself",
        5, lambda s: s.whole_run("SQL backup still running after 5 seconds"),
        configure=lambda s: s.control.update(sleep=7), check=check_client_went_on),
    Row("client-exit-nonzero", "database client exiting non-zero",
        '"SQL backup NOT complete, client exit code 3", exit 3',
        3, lambda s: s.whole_run("SQL backup NOT complete, client exit code 3"),
        configure=lambda s: s.control.update(exit=3)),
    *[Row(f"sqlpath-type-{code}{suffix}", f'"SQLPath" of type {name} ({code}){words}',
          f'error report 1001 "Unsupported value type" at step {TOOLS_STEPS[generation]}, exit 2; '
          "no client started",
          2, Scene.unsupported_type, Scene.unsupported_type_box,
          configure=lambda s, generation=generation: setattr(s, "generation", generation),
          prepare=lambda s, code=code: s.set_sql_path(code, b"C:\\SQLTools\0"),
          check=client_not_started)
      for code, name, generation, suffix, words in (
          (0, "REG_NONE", "2005", "", ""),
          (5, "REG_DWORD_BIG_ENDIAN", "2005", "", ""),
          (6, "REG_LINK", "2005", "", ""),
          (8, "REG_RESOURCE_LIST", "2005", "", ""),
          (11, "REG_QWORD", "2005", "", ""),
          (11, "REG_QWORD", "MSDE", "-msde", " for the MSDE client"))],
    Row("sqlpath-missing", '"SQLPath" missing from its key',
        'error report 1001 "Unsupported value type" at step 120, exit 2; no client started',
        2, Scene.unsupported_type, Scene.unsupported_type_box,
        prepare=lambda s: registry(s.rig.session.wine, "reg", "delete", CLIENT_KEYS["2005"],
                                   "/v", "SQLPath", "/f"),
        check=client_not_started),
    Row("sqlpath-over-1024-bytes", 'registry value over 1024 bytes ("SQLPath" of 1151 characters)',
        "the whole value in the logged and the started command line; backup complete, exit 0",
        0, Scene.whole_run, prepare=register_long_sql_path, check=client_got_whole_folder),
    Row("paths-with-blanks", "paths with blanks (source, destination, client folder)",
        "everything copied, the client gets the folder whole; exit 0",
        0, lambda s: ["VESK start backup", "create dirD:\\My Backup", *s.whole_run()[1:]],
        configure=blanks, check=client_got_whole_folder),
    Row("paths-ansi", "paths with ANSI characters beyond ASCII (B\u00fccher, R\u00e9sum\u00e9)",
        "everything copied under the same names, the client gets the folder whole; exit 0",
        0, lambda s: ["VESK start backup", "create dirD:\\Sicherung", *s.whole_run()[1:]],
        configure=ansi_characters, check=client_got_whole_folder),
    Row("source-over-260", "source tree deeper than 260 characters (xcopy mode)",
        'neither copy tool is given paths too long for it: the repair pass copies the tree '
        'file by file, "copied again: " for each; "Backup Folder completed"; exit 0',
        0, lambda s: ["VESK start backup", s.start_copy(), f"too long for xcopy: {DEEP_MISSING}",
                      f"too long for the shell copy: {DEEP_MISSING}", Many("copied again: .*"),
                      "Backup Folder completed", s.held(True), *s.database(),
                      "SQL backup Complete"],
        configure=deep_source, bound=10),
    Row("source-over-260-shell-copy", "source tree deeper than 260 characters (shell copy mode)",
        'the shell copy is not given paths too long for it: the repair pass copies the tree; '
        '"Backup Folder completed"; exit 0',
        0, lambda s: ["VESK start backup", s.start_copy(),
                      f"too long for the shell copy: {DEEP_MISSING}", Many("copied again: .*"),
                      "Backup Folder completed", s.held(True), *s.database(),
                      "SQL backup Complete"],
        configure=deep_source_shell_copy, bound=10),
    Row("source-3000", "finalPath of 3,000 characters (xcopy mode)",
        'no copy tool is handed the path, each refusal is logged; "Backup Folder NOT complete", '
        "the run ends by itself; exit 3",
        3, lambda s: ["VESK start backup", f"{s.final_path}Not a folder.", s.start_copy(),
                      f"too long for xcopy: {s.source}", f"too long for the shell copy: {s.source}",
                      f"not in backup: {s.source}", "Backup Folder NOT complete",
                      summary_of_nothing(), "VESK backup completed without SQLServer version"],
        configure=very_long_source, check=destination_empty),
    Row("destination-over-260", "destination path over 260 characters",
        'levels created up to the limit, then generic report "Error 52: Bad file name or '
        'number", in the log too, exit 4; nothing copied',
        4, lambda s: ["VESK start backup", Many(r"create dirD:\\Backup\\.*"),
                      "Error 52: Bad file name or number"],
        lambda s: ["Error 52: Bad file name or number"], configure=long_destination,
        check=no_file_in_destination),
    Row("final-path-with-commands", "finalPath holding a command interpreter's syntax "
        '(C:\\App"&echo hacked>C:\\hacked.txt&rem ")',
        "no folder's name: no copy tool is handed it, nothing runs, no file is written; "
        '"Backup Folder NOT complete", exit 3',
        3, lambda s: ["VESK start backup", f"{s.final_path}Not a folder.", s.start_copy(),
                      f"not a folder name, not copied: {s.source}", f"not in backup: {s.source}",
                      "Backup Folder NOT complete", summary_of_nothing(),
                      "VESK backup completed without SQLServer version"],
        configure=commands_in_final_path, check=check_no_command_ran),
    Row("source-with-percent-and-caret", "source folder named with %OS% and ^&, beside a "
        "folder of the name that cmd made of it",
        "the source's own files, nothing of the other folder; \"Backup Folder completed\", "
        "exit 0",
        0, Scene.whole_run, configure=percent_and_caret, prepare=another_folder_alike,
        check=check_exact_copy),
    Row("planted-programs", "xcopy.exe and cmd.exe planted in the destination, the program's "
        "folder and the folder the run starts in",
        "none of them runs; the system folder's xcopy copies and writes the listing; exit 0",
        0, Scene.whole_run, configure=planted_programs, prepare=plant_programs,
        check=check_system_xcopy_ran),
    Row("password-empty", "empty password in db.properties",
        "the client gets it as an empty argument, 13 in all; backup complete, exit 0",
        0, Scene.whole_run, configure=empty_password, check=check_empty_password_kept),
    Row("client-output-disk-full", "the log's disk full: the client cannot write its output",
        '"SQL backup NOT complete, client output missing, see " and the output file, exit 3',
        3, lambda s: s.whole_run(f"SQL backup NOT complete, client output missing, see {s.log}sql"),
        configure=log_on_small_disk, prepare=fill_log_disk),
    Row("sqlpath-naming-a-batch-file", '"SQLPath" whose double quote makes the command '
        'line begin with a batch file (C:\\evil.bat" ")',
        'the batch file does not run, nothing is started, no box; "SQL backup NOT complete, no '
        'client tools found for 2005", exit 3',
        3, lambda s: ["VESK start backup", *s.copied(), "SQL start backup 2005",
                      "SQL backup NOT complete, no client tools found for 2005"],
        configure=sql_path_naming_a_batch_file, prepare=plant_batch_file,
        check=check_batch_not_run),
    Row("source-drive-root", "finalPath a drive root (S:/), the drive's current folder elsewhere",
        'copied from the root, "Start copying from S:\\to "; "Backup Folder completed", exit 0',
        0, Scene.whole_run, configure=drive_root_source),
    Row("two-runs-at-once", "two runs started at once (same destination and log)",
        "both end by themselves with 0 or 3, each line whole, never a failure reported as "
        "success",
        None, None, configure=two_runs, check=check_two_runs, bound=30),
    *[Row(f"link-loop{suffix}", f"two links to folders above in the source ({mode} mode)",
          'a "link loop not followed" line for each, neither tool run, the repair pass copies '
          'the rest: "Backup Folder completed" within 30 s, exit 0',
          0, lambda s: copy_lines(s, *LOOPS, Many("copied again: .*"),
                                  held=s.held(all_copied_again=True)), configure=configure,
          prepare=copy_faults.links_up, bound=30)
      for mode, suffix, configure in (("xcopy", "", lambda s: None),
                                      ("shell copy", "-shell-copy", shell_copy))],
    Row("grown-during-xcopy", "a file grown after the walk on a destination with room for its "
        "old copy only (xcopy ends with 5)",
        '"not in backup: big.bin", "Backup Folder NOT complete", exit 3; never "completed" over '
        "the cut-off copy",
        None, None, configure=grown_during_xcopy,
        prepare=copy_faults.backup_of_the_source_on_a_small_disk, check=check_grown, bound=40),
    Row("rewritten-after-copy", "a file rewritten in place, same size and 0.5 s later, after "
        "xcopy copied it (destination keeping exact times)",
        '"copied again: torn.bin", "Backup Folder completed" with the new contents, exit 0',
        0, lambda s: copy_lines(s, *s.xcopy(), "copied again: torn.bin",
                                held=summary(s.rig.path(s.source), (), 1)),
        configure=rewritten_while_copied, check=check_rewritten, bound=60),
    *[Row(f"destination-{name}{suffix}", f"destination {words} ({mode} mode)",
          'the one folder Windows names: "Start copying from ...to D:\\Backup\\", every tool, '
          "walk and the status file there, the database backup there too; exit 0",
          0, lambda s: copy_lines(s, *(["doing full copy"] if "N" in s.options else s.xcopy())),
          configure=lambda s, typed=typed, mode=mode: typed_destination(s, typed, mode),
          check=check_one_backup)
      for name, words, typed in (("trailing-blank", 'with a trailing blank ("D:\\Backup ")',
                                  "D:\\Backup "),
                                 ("long-form", "in the long form (\\\\?\\D:\\Backup)",
                                  "\\\\?\\D:\\Backup"))
      for mode, suffix in (("xcopy", ""), ("shell copy", "-shell-copy"))],
    *[Row(f"two-records{suffix}", f"two finalPath records whose trees share a file's name ({mode} "
          "mode)",
          '"Backup Folder completed" for the first, whose file stays; the second: "copied for an '
          'earlier finalPath record, not replaced", "not in backup" for it, "Backup Folder NOT '
          'complete", exit 3',
          3, two_records_lines, configure=configure, prepare=second_record,
          check=check_first_record_kept)
      for mode, suffix, configure in (("xcopy", "", lambda s: None),
                                      ("shell copy", "-shell-copy", shell_copy))],
    *[Row(f"fat-dated{suffix}", f"sources dated 1601 and 2200 to a FAT drive ({mode} mode)",
          '"time not kept by the destination" for both, "Backup Folder completed", exit 0, on '
          "the first and the second run",
          0, lambda s: copy_lines(s, *([] if "N" in s.options else s.xcopy()),
                                  Many("time not kept by the destination: (new|old)\\.txt")),
          configure=lambda s, mode=mode: fat_destination(s, mode), prepare=on_fat_drive,
          check=check_second_run_on_fat, bound=30)
      for mode, suffix in (("xcopy", ""), ("shell copy", "-shell-copy"))],
]


# The promises that every row keeps.
def tree_digest(root: Path) -> dict:
    if not root.exists():
        return {}
    # A link is no part of what a backup holds: a loop is not followed, by design.
    return {p.relative_to(root).as_posix():
            "folder" if p.is_dir() else hashlib.sha256(p.read_bytes()).hexdigest()
            for p in sorted(root.rglob("*")) if not p.is_symlink()}


def assert_copied(s):
    """What "Backup Folder completed" promises: every file of the source, whole, and every
    folder at the same place in the destination."""
    source = tree_digest(s.rig.path(s.source))
    destination = tree_digest(s.rig.path(s.destination))
    missing = {k: v for k, v in source.items() if destination.get(k) != v}
    assert missing == {}


def lines_match(actual, expected):
    if not expected:
        return not actual
    head, rest = expected[0], expected[1:]
    if isinstance(head, Many):
        count = 0
        while count < len(actual) and re.fullmatch(head.pattern, actual[count]):
            count += 1
            if lines_match(actual[count:], rest):
                return True
        return False
    return bool(actual) and actual[0] == head and lines_match(actual[1:], rest)


def masked_expected(lines):
    return [Many("<ts>: " + line.pattern) if isinstance(line, Many) else
            "<ts>" + line if line.startswith("Error:") else "<ts>: " + line for line in lines]


def run_scene(s, row) -> Outcome:
    rig = s.rig
    program = (f"{PROGRAM_DIR}\\veskbackup.exe" if s.direct
               else f"cmd /c {PROGRAM_DIR}\\veskbackup.bat")
    command = f"{program} \"{s.typed or s.destination}\"{s.options}"
    if s.first:
        command = " & ".join([*s.first, f"cd /d {RUN_DIR}", command])
    with contextlib.ExitStack() as running:
        watch = running.enter_context(rig.watch_boxes(*s.box_delay))
        for path in s.holds:
            running.enter_context(rig.hold_file(path))
        runs = [StartedRun(rig, command) for _ in range(s.runs)]
        if s.during:
            s.during(s, runs[0])
        # A run that does not end in time is ended by the rig and fails the row.
        ends = [run.wait(row.bound if row else 60) for run in runs]
    return Outcome([status for status, _, _ in ends], max(ended for _, _, ended in ends),
                   watch.boxes, watch.records,
                   rig.read_log(s.log))


@pytest.fixture(scope="module")
def fault_report():
    REPORT.parent.mkdir(parents=True, exist_ok=True)
    REPORT.write_text("")

    def record(row, result):
        with REPORT.open("a", encoding="utf-8") as out:
            out.write(json.dumps({"fault": row.fault, "expected": row.expected,
                                  "result": result}, ensure_ascii=False) + "\n")
    return record


@pytest.fixture
def row_result(request, fault_report):
    """Records the row as "fail" unless the test body marks it passed, so that a row whose
    rig could not even be set up is reported too."""
    outcome = {"result": "fail"}
    yield outcome
    fault_report(request.node.callspec.params["row"], outcome["result"])


@pytest.mark.parametrize("row", ROWS, ids=[row.id for row in ROWS])
def test_fault(row_result, rig, row):
    s = Scene(rig)
    with s.exits:
        try:
            row.configure(s)
            s.build()
            row.prepare(s)
        except pytest.skip.Exception:
            row_result["result"] = "skip"
            raise
        sources = {folder: tree_digest(rig.path(folder)) for folder in s.hashed}
        o = run_scene(s, row)

        if row.status is not None:
            assert o.statuses == [row.status], o.log and masked(o.log)
        assert o.log is not None and o.log.startswith(SEED), "earlier lines of the log changed"
        new_lines = masked(o.log[len(SEED):])
        assert all(line.startswith("<ts>") for line in new_lines), "a log line is not whole"
        if row.lines:
            expected = masked_expected(row.lines(s))
            assert lines_match(new_lines, expected), "\n".join(map(str, [*new_lines, "-- expected:", *expected]))
            if "<ts>: Backup Folder completed" in expected:
                assert_copied(s)
        if row.lines or row.boxes:
            boxes = row.boxes(s) if row.boxes else []
            assert o.boxes == [(CAPTION, text) for text in boxes]
        listing = rig.path(s.log + "xcp")
        for text in [o.log, *(t for box in o.boxes for t in box),
                     decode(listing.read_bytes()) if listing.is_file() else ""]:
            assert PASSWORD not in text
        assert {folder: tree_digest(rig.path(folder)) for folder in s.hashed} == sources
        row.check(s, o)
    row_result["result"] = "pass"
