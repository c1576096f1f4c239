"""A run as far as the foundation goes: command line, run log, boxes, destination folder, the
error report for a missing path.conf, and the exit statuses."""

import datetime
import os
import re

import pytest

from rig import PROGRAM_DIR, RUN_DIR, STAMP, STATUS_FILE, log_lines, masked, stamps

CAPTION = "veskbackup"
USAGE = ("veskbackup.bat destdirectory [outputlog: veskbackuplog.txtDD(default)] "
         "[backgroud:N(default)]  - remember filename with double quote required")
LOG_NOT_CREATED = "Cannot Create logfile because path incorrect, directory not found.Pls. check"
ERROR_REPORT_0 = "Unexpected error 0 line no 0 in printing.\r\n"
ERROR_LINE_0 = "<ts>Error: 0line no: 0Desc:"
START = "<ts>: VESK start backup"


def box(text):
    return (CAPTION, text)


def generic_report(number, description):
    return box(f"Error {number}: {description}")


def no_path_conf(rig):
    """The end of a run whose profile has no path.conf."""
    return [f"<ts>: {rig.path_conf}not found. Pls. check", ERROR_LINE_0]


def program_folder(rig):
    return sorted(os.listdir(rig.path(PROGRAM_DIR)))


def stray_files(rig):
    """Files in the run's current folder that the rig did not put there."""
    ours = re.compile(r"(run|boxes|status|stop)-\d+\.\w+|stop-\d+|boxtool\.exe")
    return [n for n in os.listdir(rig.path(RUN_DIR)) if not ours.fullmatch(n)]


# Which command lines get the usage message is ReadRunSettings' table and the command-line fuzz
# target's; here the batch file and the exe alone show it.
@pytest.mark.parametrize("argument_text, direct", [
    ("", False), ("", True),
], ids=["no argument", "exe without argument"])
def test_usage_message_and_nothing_else(rig, argument_text, direct):
    d = rig.drive("D")
    r = rig.run(argument_text, direct=direct)
    assert r.boxes == [box(USAGE)]
    assert r.status == 1
    assert program_folder(rig) == ["veskbackup.bat", "veskbackup.exe"]
    assert list(d.iterdir()) == []
    assert stray_files(rig) == []


def test_run_without_path_conf_ends_in_the_error_report(rig):
    d = rig.drive("D")
    r = rig.run('"D:\\Backup"')
    assert r.boxes == [box(ERROR_REPORT_0)]
    assert masked(r.log) == [START] + no_path_conf(rig)
    assert r.status == 2
    assert (d / "Backup").is_dir()


def test_default_log_is_created_then_appended(rig):
    rig.drive("D")
    first = rig.run('"D:\\Backup"')
    assert first.log_path.name == f"veskbackuplog.txt{first.started.day:02d}"
    assert masked(first.log) == [START] + no_path_conf(rig)
    second = rig.run('"D:\\Backup" "default"')
    assert second.log.startswith(first.log)
    assert masked(second.log[len(first.log):]) == [START] + no_path_conf(rig)
    assert program_folder(rig) == sorted(
        ["veskbackup.bat", "veskbackup.exe", first.log_path.name])


# "default" in any letter case and the empty pair are ReadRunSettings' table; the daily log is
# test_default_log_is_created_then_appended.
@pytest.mark.parametrize("log_arguments, log_file", [
    ('"D:\\logs\\run.txt"', "D:\\logs\\run.txt"),
    ('"run.txt"', RUN_DIR + "\\run.txt"),
], ids=["full path", "relative path"])
def test_log_location(rig, log_arguments, log_file):
    d = rig.drive("D")
    (d / "logs").mkdir()
    r = rig.run('"D:\\Backup" ' + log_arguments, log=log_file)
    assert masked(r.log) == [START] + no_path_conf(rig)
    assert r.boxes == [box(ERROR_REPORT_0)]
    daily = [] if log_file else [r.log_path.name]
    assert program_folder(rig) == sorted(["veskbackup.bat", "veskbackup.exe"] + daily)
    assert stray_files(rig) == ([r.log_path.name] if log_file and log_file.startswith(RUN_DIR)
                                else [])


# Which flags show boxes is ReadRunSettings' table; here one that does and one that does not.
@pytest.mark.parametrize("flags, shown", [
    ("", False),
    (' "default" "n"', True),
], ids=["default", "n"])
def test_notify_flag(rig, flags, shown):
    rig.drive("D")
    r = rig.run('"D:\\Backup\\Daily"' + flags)
    messages = ["VESK start backup", "create dirD:\\Backup",
                f"{rig.path_conf}not found. Pls. check"]
    assert r.boxes == ([box(m) for m in messages] if shown else []) + [box(ERROR_REPORT_0)]
    assert masked(r.log) == [f"<ts>: {m}" for m in messages] + [ERROR_LINE_0]
    assert r.status == 2


def test_status_is_logged_after_its_box_was_closed(rig):
    (rig.drive("D") / "Backup").mkdir()
    r = rig.run('"D:\\Backup" "default" "Y"', delay_ms=2500, delay_boxes=1)
    first = r.box_records[0]
    assert first.text == "VESK start backup"
    assert stamps(r.log)[0] >= first.pressed.replace(microsecond=0)


@pytest.mark.parametrize("notify", ["N", "Y"])
def test_log_in_missing_folder(rig, notify):
    d = rig.drive("D")
    r = rig.run(f'"D:\\Backup" "D:\\nofolder\\run.log" "{notify}"', log="D:\\nofolder\\run.log")
    shown = [box("VESK start backup")] if notify == "Y" else []
    assert r.boxes == [box(LOG_NOT_CREATED)] + shown + [generic_report(91, "Run log is not open")]
    assert r.status == 4
    assert list(d.iterdir()) == []  # neither the log folder nor the destination
    assert program_folder(rig) == ["veskbackup.bat", "veskbackup.exe"]


# Which levels are created and reported is CreateFolderPath's table; here the trailing backslash
# before the closing quote through the batch file and to the exe alone.
@pytest.mark.parametrize("destination, existing, messages, direct", [
    ("D:\\Backup\\Daily\\", [], ["create dirD:\\Backup", "create dirD:\\Backup\\Daily"], False),
    ("D:\\Backup\\Daily\\", [], ["create dirD:\\Backup", "create dirD:\\Backup\\Daily"], True),
], ids=["trailing backslash", "exe directly"])
def test_destination_is_created(rig, destination, existing, messages, direct):
    d = rig.drive("D")
    for folder in existing:
        (d / folder).mkdir()
    r = rig.run(f'"{destination}"', direct=direct)
    assert masked(r.log) == [START] + [f"<ts>: {m}" for m in messages] + no_path_conf(rig)
    assert (d / "Backup" / "Daily").is_dir()
    # The refused run reached its destination: it leaves its status file there.
    assert sorted(p.name for p in d.rglob("*")) == ["Backup", "Daily", STATUS_FILE]
    assert r.status == 2


def test_log_lines_carry_the_local_date_and_time(rig):
    rig.drive("D")
    r = rig.run('"D:\\Backup"')
    for line in log_lines(r.log):
        assert re.match(STAMP + "(: |Error:)", line), line
    second = datetime.timedelta(seconds=1)
    for stamp in stamps(r.log):
        assert r.started.replace(microsecond=0) - second <= stamp <= r.ended + second


def test_path_conf_without_final_path_ends_with_status_3(rig):
    (rig.drive("D") / "Backup").mkdir()
    rig.write_path_conf("otherKey=C:/App/\r\n")
    r = rig.run('"D:\\Backup"')
    assert r.boxes == []
    assert masked(r.log) == [START,
                             f"<ts>: nothing backed up: no finalPath record in {rig.path_conf}",
                             "<ts>: VESK backup completed without SQLServer version"]
    assert r.status == 3


def test_two_runs_at_once_share_the_daily_log(rig):
    (rig.drive("D") / "Backup").mkdir()
    # Each box stays open a while, so each run holds the log open while the other opens it.
    with rig.watch_boxes(delay_ms=600) as watch:
        runs = [rig.start('"D:\\Backup" "default" "Y"') for _ in range(2)]
        statuses = [run.wait()[0] for run in runs]
    assert statuses == [2, 2]
    texts = [text for _, text in watch.boxes]
    assert len(texts) == 6
    # Both runs had opened the log before either closed it.
    assert texts.index(ERROR_REPORT_0) > len(texts) - 1 - texts[::-1].index("VESK start backup")
    one_run = [START] + no_path_conf(rig)
    assert sorted(masked(rig.read_log(rig.default_log()))) == sorted(2 * one_run)


@pytest.mark.parametrize("argument_text", [
    '"D:\\' + "x" * 300 + '"',
    '"' + "A" * 5000 + '"',
    '"\t"',
    '"D:\\a" "b" "c" "d" "e" "f"',
], ids=["long folder", "5000 characters", "tab", "six arguments"])
def test_odd_command_lines_end_with_a_status(rig, argument_text):
    rig.drive("D")
    r = rig.run(argument_text)
    assert r.status in (1, 2, 3, 4)
    assert all(caption == CAPTION for caption, _ in r.boxes)
