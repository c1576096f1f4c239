"""The database backup started through the stub client: what the client receives, how its end is
reported, the password kept out of sight, and the exit statuses of whole runs."""

import shutil
from pathlib import Path

import pytest

from rig import BACKUP_OUTPUT, CLIENT_KEYS, PROGRAM_DIR, masked, summary

CAPTION = "veskbackup"
ERROR_REPORT_0 = "Unexpected error 0 line no 0 in printing.\r\n"
URL = "proto://SRV01:1433;opt=1"
FOLDER_DONE = [
    "<ts>: VESK start backup",
    "<ts>: Start copying from C:\\Apps\\Clientto D:\\Backup\\",
    "<ts>: doing xcopy",
    "<ts>: cd to D:\\",
    "<ts>: Backup Folder completed",
    "<ts>: {summary}",
]
# The 2005 command line for the sample settings as the run log shows it; {log} is the run log's path.
COMMAND_2005 = ('"C:\\SQLTools\\Binn\\sqlcmd.exe" -S SRV01,1433 -d VESK_ZAVO -U appuser '
                "-b -Q \"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Backup'\" "
                '-o "{log}sql"')


def box(text):
    return (CAPTION, text)


def db_properties(provider="SQLNCLI.1", user="appuser", password="secret"):
    return (f"DB_PROVIDER={provider}\r\ndbconn.appl.url={URL}\r\n"
            f"dbconn.appl.user={user}\r\ndbconn.appl.pwd={password}\r\n")


def make_installation(rig, properties: str | None):
    """C:\\Apps\\Client with one file and, unless None, the given db.properties."""
    root = rig.path("C:\\Apps\\Client")
    (root / "ZAVO").mkdir(parents=True, exist_ok=True)
    (root / "data.txt").write_bytes(b"data\r\n")
    if properties is not None:
        (root / "ZAVO" / "db.properties").write_bytes(properties.encode("cp1252"))


def set_up(rig, properties: str | None = None, generation="2005", control=None,
           sql_path="C:\\SQLTools"):
    """D:, the installation named in path.conf and the stub client; returns its Binn folder."""
    rig.drive("D")
    make_installation(rig, db_properties() if properties is None else properties)
    rig.write_path_conf("finalPath=C:/Apps/Client/\r\n")
    return rig.install_client(sql_path, generation, control)


def windows_log(r):
    """The run's default log in the program folder, as the program names it."""
    return f"{PROGRAM_DIR}\\{r.log_path.name}"


def fill(lines, r, rig):
    """The lines with {log} and {summary}, the summary line of the installation."""
    held = summary(rig.path("C:\\Apps\\Client"))
    return [line.format(log=windows_log(r), summary=held) for line in lines]


def statuses_shown(lines):
    """The log lines that reportStatus writes, which are also shown in boxes."""
    log_only = ("doing xcopy", "cd to ", "not in backup: ", "backup holds ")
    return [line.removeprefix("<ts>: ") for line in lines
            if not line.removeprefix("<ts>: ").startswith(log_only)]


@pytest.mark.parametrize("provider, generation, destination, user, password, notify, command, "
                         "received", [
    ("SQLOLEDB", "MSDE", "D:\\Backup", "appuser", "secret", "Y",
     '"C:\\SQLTools\\Binn\\OSQL.exe" -S SRV01,1433 -d VESK_ZAVO -U appuser -b '
     "-Q \"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \\\"D:\\Backup\\\"\" -o \"{log}sql\" -P",
     ["-U", "appuser", "-b", "-Q",
      "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \"D:\\Backup\""]),
    ("SQLNCLI.1", "2005", "D:\\Backup", "appuser", "secret", "N", COMMAND_2005,
     ["-U", "appuser", "-b", "-Q",
      "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Backup'"]),
    ("SQLOLEDB", "MSDE", "D:\\Bob's Backup", "appuser", "secret", "N",
     '"C:\\SQLTools\\Binn\\OSQL.exe" -S SRV01,1433 -d VESK_ZAVO -U appuser -b '
     "-Q \"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \\\"D:\\Bob's Backup\\\"\" -o \"{log}sql\" -P",
     ["-U", "appuser", "-b", "-Q",
      "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \"D:\\Bob's Backup\""]),
    ("SQLNCLI.1", "2005", "D:\\Bob's Backup", "appuser", "secret", "N",
     '"C:\\SQLTools\\Binn\\sqlcmd.exe" -S SRV01,1433 -d VESK_ZAVO -U appuser -b '
     "-Q \"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Bob''s Backup'\" -o \"{log}sql\"",
     ["-U", "appuser", "-b", "-Q",
      "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Bob''s Backup'"]),
    ("SQLNCLI.1", "2005", "D:\\Backup", "app user", 'my "se cret\\', "Y",
     '"C:\\SQLTools\\Binn\\sqlcmd.exe" -S SRV01,1433 -d VESK_ZAVO -U "app user" -b '
     "-Q \"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Backup'\" -o \"{log}sql\"",
     ["-U", "app user", "-b", "-Q",
      "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Backup'"]),
], ids=["MSDE", "2005", "MSDE folder with quote", "2005 folder with quote",
        "user and password with blanks"])
def test_client_receives_the_command_line_arguments(rig, provider, generation, destination,
                                                     user, password, notify, command, received):
    binn = set_up(rig, db_properties(provider, user, password), generation)
    r = rig.run(f'"{destination}" "default" "{notify}"')

    lines = FOLDER_DONE[:1] + [
        f"<ts>: Start copying from C:\\Apps\\Clientto {destination}\\"] + FOLDER_DONE[2:] + [
        f"<ts>: SQL start backup {generation}", "<ts>: " + command, "<ts>: SQL backup Complete"]
    assert masked(r.log) == fill(lines, r, rig)
    [call] = rig.client_calls(binn)
    program = "OSQL.exe" if generation == "MSDE" else "sqlcmd.exe"
    assert call["program"] == "C:\\SQLTools\\Binn\\" + program
    assert call["argv"][1:] == ["-S", "SRV01,1433", "-d", "VESK_ZAVO"] + received + [
        "-o", windows_log(r) + "sql"] + (["-P"] if generation == "MSDE" else [])
    variable = "OSQLPASSWORD" if generation == "MSDE" else "SQLCMDPASSWORD"
    assert call["passwordLengths"][variable] == len(password)
    assert r.status == 0
    shown = [box(text) for text in statuses_shown(fill(lines, r, rig))] if notify == "Y" else []
    assert r.boxes == shown
    assert password not in r.log
    assert all(password not in text for _, text in r.boxes)


NO_CLIENT = "registry names an empty folder"


@pytest.mark.parametrize("provider, control, end, calls, status", [
    ("SQLNCLI.1", dict(output="Msg 3201, Level 16, State 1, Server SRV01, Line 1\r\n"
                              "Cannot open backup device."),
     ["{command}", "SQL backup NOT complete, client reported an error, see {log}sql",
      "  Msg 3201, Level 16, State 1, Server SRV01, Line 1", "  Cannot open backup device."],
     1, 3),
    ("SQLNCLI.1", dict(output="Msg 3211, Level 10, State 1, Server SRV01, Line 1\r\n"
                              "10 percent processed.\r\n" + BACKUP_OUTPUT),
     ["{command}", "SQL backup Complete"], 1, 0),
    ("SQLNCLI.1", dict(output="\r\n(0 rows affected)\r\n"),
     ["{command}", "SQL backup NOT complete, client output shows no backup, see {log}sql"], 1, 3),
    ("SQLNCLI.1", dict(exit=1), ["{command}", "SQL backup NOT complete, client exit code 1"], 1, 3),
    ("SQLNCLI.1", NO_CLIENT, ["SQL backup NOT complete, no client tools found for 2005"], 0, 3),
    ("MSOLEDBSQL", dict(), ["SQL backup NOT complete, unsupported DB_PROVIDER"], 0, 3),
], ids=["error in output", "message in output", "no backup in output", "exit code 1", "client missing",
        "unsupported provider"])
def test_how_the_client_ended_is_reported(rig, provider, control, end, calls, status):
    rig.drive("D")
    make_installation(rig, db_properties(provider))
    rig.write_path_conf("finalPath=C:/Apps/Client/\r\n")
    if control == NO_CLIENT:
        rig.path("C:\\SQLTools").mkdir()
        rig.reg_add(CLIENT_KEYS["2005"], "SQLPath", "C:\\SQLTools")
        binn = rig.path("C:\\SQLTools\\Binn")
    else:
        binn = rig.install_client("C:\\SQLTools", "2005", control)
    r = rig.run('"D:\\Backup"')

    generation = "2005" if provider == "SQLNCLI.1" else ""
    expected = FOLDER_DONE + [f"<ts>: SQL start backup {generation}"] + [
        "<ts>: " + line.replace("{command}", COMMAND_2005) for line in end]
    assert masked(r.log) == fill(expected, r, rig)
    assert r.boxes == []
    assert len(rig.client_calls(binn)) == calls
    assert r.status == status


LATER_KEY = "HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\150\\Tools\\ClientSetup"
# As the command-line utilities install it, under a top folder of C: that each test removes.
ODBC_TOOLS = "C:\\SQL Server\\Client SDK\\ODBC\\170\\Tools\\Binn"


@pytest.mark.parametrize("view", [32, 64, None], ids=["32-bit view", "64-bit view", "no tools"])
def test_client_of_later_tools_is_found_and_named(rig, view):
    rig.drive("D")
    make_installation(rig, db_properties())
    rig.write_path_conf("finalPath=C:/Apps/Client/\r\n")
    binn = rig.path(ODBC_TOOLS)
    binn.mkdir(parents=True)
    shutil.copy(rig.session.build_dir / "stub_client.exe", binn / "sqlcmd.exe")
    rig.client_control(binn)
    if view:
        # The value as the command-line utilities write it: the folder with its backslash.
        rig.reg_add(LATER_KEY, "ODBCToolsPath", ODBC_TOOLS + "\\", view=view)
    r = rig.run('"D:\\Backup"')

    program = ODBC_TOOLS + "\\sqlcmd.exe"
    if view:
        key = (LATER_KEY.replace("SOFTWARE\\", "SOFTWARE\\Wow6432Node\\") if view == 32
               else LATER_KEY)
        end = [f"<ts>: client tools found under {key}: {program}",
               "<ts>: " + COMMAND_2005.replace("C:\\SQLTools\\Binn\\sqlcmd.exe", program),
               "<ts>: SQL backup Complete"]
    else:
        end = ["<ts>: SQL backup NOT complete, no client tools found for 2005"]
    assert masked(r.log) == fill(FOLDER_DONE + ["<ts>: SQL start backup 2005"] + end, r, rig)
    assert [call["program"] for call in rig.client_calls(binn)] == ([program] if view else [])
    assert r.boxes == []
    assert r.status == (0 if view else 3)


def test_run_without_db_properties_completes_without_database(rig):
    rig.drive("D")
    make_installation(rig, None)
    rig.write_path_conf("finalPath=C:/Apps/Client/\r\n")
    binn = rig.install_client("C:\\SQLTools", "2005")
    r = rig.run('"D:\\Backup"')
    assert masked(r.log) == fill(
        FOLDER_DONE + ["<ts>: VESK backup completed without SQLServer version"], r, rig)
    assert rig.client_calls(binn) == []
    assert r.status == 0


def client_processes(program: str, prefix: Path) -> list[int]:
    """Linux process ids of the Wine processes of prefix whose command line begins with program.
    Only of that prefix: other test runs on the machine (another checkout's, CI's) start the
    same programs, and a Wine process killed from outside ends with exit status 0."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode("latin-1")
            state = (entry / "stat").read_text().rsplit(")", 1)[1].split()[0]
            environment = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if (command.startswith(program) and state != "Z"
                and f"WINEPREFIX={prefix}".encode() in environment):
            found.append(int(entry.name))
    return found


@pytest.mark.parametrize("path_conf, destination, control, expected_lines, boxes, status", [
    ("finalPath=C:/Apps/Client/\r\n", "D:\\Backup", None,
     ["Backup Folder completed", "SQL backup Complete"], [], 0),
    ("finalPath=C:/Apps/Client/\r\n", "C:\\Apps\\Client\\Backup", None,
     ["Cannot back up to itselfC:/Apps/Client/"], [box(ERROR_REPORT_0)], 2),
    ("finalPath=Q:/Gone/\r\n", "D:\\Backup", None,
     ["Q:/Gone/ Pls. use a valid source folder"], [box(ERROR_REPORT_0)], 2),
    ("finalPath=C:/Apps/Gone/\r\nfinalPath=C:/Apps/Client/\r\n", "D:\\Backup", None,
     ["Backup Folder NOT complete", "Backup Folder completed", "SQL backup Complete"], [], 3),
    ("finalPath=C:/Apps/Client/\r\n", "D:\\Backup", dict(exit=2),
     ["Backup Folder completed", "SQL backup NOT complete, client exit code 2"], [], 3),
], ids=["all good", "backup into the source", "source drive missing",
        "one of two folders missing", "database failed"])
def test_exit_status(rig, path_conf, destination, control, expected_lines, boxes, status):
    # Status 5 (client still running) is checked by test_client_still_running_after_five_seconds.
    set_up(rig, control=control)
    rig.write_path_conf(path_conf)
    r = rig.run(f'"{destination}"')
    statuses = [line.removeprefix("<ts>: ") for line in masked(r.log)]
    # The expected lines appear in this order among everything the run reported.
    at = 0
    for line in expected_lines:
        assert line in statuses[at:], (line, statuses)
        at = statuses.index(line, at) + 1
    assert r.boxes == boxes
    assert r.status == status
