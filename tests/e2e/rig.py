"""The end-to-end rig: the real veskbackup.exe under Wine, with Xvfb as its display.

One WineSession per test run owns a throwaway Wine prefix, an Xvfb server and a persistent
wineserver. Each test gets a Rig on that session: fresh drives linked into the prefix's
dosdevices, the program and its .bat copied into C:\\veskprog, and run() that starts the program
from a .bat holding the exact command line while boxtool.exe reads and closes its message boxes.
"""

import contextlib
import dataclasses
import datetime
import itertools
import json
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import zoneinfo
from pathlib import Path

import jsonschema

PROGRAM_DIR = "C:\\veskprog"
RUN_DIR = "C:\\veskrun"
# What a client writes to its -o file for a backup that succeeded.
BACKUP_OUTPUT = ("Processed 328 pages for database 'VESK_ZAVO', file 'VESK_ZAVO' on file 1.\r\n"
                 "BACKUP DATABASE successfully processed 330 pages in 0.052 seconds "
                 "(49.503 MB/sec).\r\n")
# The programs that a test may leave running: the run's watch and the stub clients.
STRAYS = ("veskbackup.exe", "sqlcmd.exe", "osql.exe")
# What every run that reached its destination leaves in it.
STATUS_FILE = "veskbackup-status.json"
CLIENT_KEYS = {
    "MSDE": "HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\80\\Tools\\ClientSetup",
    "2005": "HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\90\\Tools\\ClientSetup",
}

# Box handling under Xvfb takes about 2 s per box unless Wine leaves window management to
# itself; a crash must end the process with a status instead of waiting in a dialog.
TWEAKS = (
    "REGEDIT4\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"
    '"Managed"="N"\r\n\r\n'
    "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"
    '"ShowCrashDialog"=dword:00000000\r\n'
)

# The user's short date and long time under the en-US locale, or the date alone at midnight.
STAMP = r"\d{1,2}/\d{1,2}/\d{4}(?: \d{1,2}:\d{2}:\d{2} [AP]M)?"
STAMP_RE = re.compile("^" + STAMP)


def decode(raw: bytes) -> str:
    """ANSI code page 1252 text as the program writes it."""
    return raw.decode("cp1252", errors="replace")


def parse_stamp(text: str) -> datetime.datetime:
    for form in ("%m/%d/%Y %I:%M:%S %p", "%m/%d/%Y"):
        try:
            return datetime.datetime.strptime(text, form)
        except ValueError:
            pass
    raise ValueError(f"not a run-log timestamp: {text!r}")


def log_lines(text: str) -> list[str]:
    """The lines of a run log; every line must end in CR LF."""
    assert text.endswith("\r\n") or text == "", f"log does not end in CR LF: {text[-40:]!r}"
    return text.split("\r\n")[:-1] if text else []


def masked(text: str) -> list[str]:
    """The run-log lines with their leading timestamp replaced by <ts>."""
    return [STAMP_RE.sub("<ts>", line, count=1) for line in log_lines(text)]


def summary(root: Path, missing=(), copied_again=0) -> str:
    """The run log's summary line for a backup of the tree at root, less the relative paths
    (in the program's form, with backslashes) in missing."""
    files = folders = size = 0
    for path in root.rglob("*"):
        # A link onto a folder is not followed: it is no part of what the backup holds.
        if path.is_symlink() or path.relative_to(root).as_posix().replace("/", "\\") in missing:
            continue
        if path.is_dir():
            folders += 1
        else:
            files += 1
            size += path.stat().st_size
    return (f"backup holds {files} files in {folders} folders, {size} bytes; "
            f"copied again: {copied_again}")


# The written contract of the status file, which every status file a test reads must keep.
STATUS_SCHEMA = json.loads(
    (Path(__file__).resolve().parents[2] / "src" / "veskbackup-status.schema.json").read_text())


def read_status(folder: Path) -> dict:
    """The status file that a run left in folder, parsed: it must be JSON in UTF-8 without a
    byte order mark that the schema allows."""
    raw = (folder / STATUS_FILE).read_bytes()
    assert not raw.startswith(b"\xef\xbb\xbf"), "a byte order mark"
    status = json.loads(raw.decode("utf-8"))
    jsonschema.validate(status, STATUS_SCHEMA, cls=jsonschema.Draft202012Validator)
    return status


def stamps(text: str) -> list[datetime.datetime]:
    return [parse_stamp(STAMP_RE.match(line).group(0)) for line in log_lines(text)]


@dataclasses.dataclass
class Box:
    caption: str
    text: str
    found: datetime.datetime
    pressed: datetime.datetime


@dataclasses.dataclass
class RunResult:
    status: int  # the program's exit code as %ERRORLEVEL% saw it
    boxes: list  # [(caption, text)] in the order shown
    box_records: list  # [Box]
    log: str | None  # the run log, None when the file does not exist
    log_path: Path
    elapsed: float  # seconds, from starting the .bat to its end
    started: datetime.datetime
    ended: datetime.datetime


class WineSession:
    """A throwaway Wine prefix with its display, shared by all tests of a run."""

    def __init__(self, build_dir: Path, root: Path):
        self.build_dir = build_dir
        self.root = root
        self.prefix = root / "prefix"
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "LC_ALL", "LC_TIME", "LC_CTYPE", "WINEPREFIX")}
        # No Mono or Gecko installer and no menu entries: nothing here needs them. The locale is
        # fixed so that the run log's timestamps have one known form (Wine takes C as en-US:
        # M/d/yyyy h:mm:ss AM/PM, ANSI code page 1252, OEM 437). It must be a UTF-8 locale
        # that exists on the machine: without one, Wine names Linux files in ASCII and cannot
        # make a name beyond ASCII at all. C.UTF-8 is always there; en_US.UTF-8 often is not.
        self.env.update(WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
                        LANG="C.UTF-8")
        self.xvfb = None

    def start(self):
        for name in ("veskbackup.exe", "veskbackup.bat", "boxtool.exe", "stub_client.exe"):
            if not (self.build_dir / name).is_file():
                raise RuntimeError(f"{self.build_dir / name} is missing: build the windows preset")
        self.root.mkdir(parents=True, exist_ok=True)
        # The prefix is made without a display and the server allowed to finish; otherwise
        # Wine may come up without its X11 driver and MessageBoxA returns at once.
        self._run(["wineboot", "-i"], timeout=300)
        tweaks = self.prefix / "drive_c" / "vesk_tweaks.reg"
        tweaks.write_bytes(TWEAKS.encode("ascii"))
        self.wine("regedit", "/S", "C:\\vesk_tweaks.reg", timeout=120)
        self._run(["wineserver", "-w"], timeout=120)
        self._start_xvfb()
        # A persistent server saves its start-up on every wine call of the session.
        self._run(["wineserver", "-p"], timeout=60)
        # What a test adds at the top of C: is removed before the next test.
        self.pristine_c = {p.name for p in (self.prefix / "drive_c").iterdir()}
        users = [p.name for p in (self.prefix / "drive_c" / "users").iterdir()
                 if p.name != "Public"]
        assert len(users) == 1, users
        self.user = users[0]

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 1)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip():
            raise RuntimeError("Xvfb did not report a display")
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60, check=False)
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
        if not os.environ.get("VESK_E2E_KEEP"):
            shutil.rmtree(self.root, ignore_errors=True)

    def kill_all(self):
        """Ends every Wine process of the prefix (a run that hangs), then restarts the server."""
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60, check=False)
        subprocess.run(["wineserver", "-p"], env=self.env, timeout=60, check=False)

    def _run(self, argv, timeout):
        with tempfile.TemporaryFile() as out:
            result = subprocess.run(argv, env=self.env, timeout=timeout, stdout=out,
                                    stderr=subprocess.STDOUT)
            if result.returncode != 0:
                out.seek(0)
                raise RuntimeError(f"{' '.join(argv)} exited with {result.returncode}:\n"
                                   + out.read().decode(errors="replace"))

    def wine(self, *argv, timeout=60, check=True):
        # Output goes through a file, not a pipe: Wine's services, started by the first call,
        # inherit the handles and would keep a pipe open for the whole session.
        with tempfile.TemporaryFile() as out:
            result = subprocess.run(["wine", *argv], env=self.env, timeout=timeout, stdout=out,
                                    stderr=subprocess.STDOUT)
            out.seek(0)
            result.stdout = out.read()
        if check and result.returncode != 0:
            raise RuntimeError(f"wine {' '.join(argv)} exited with {result.returncode}:\n"
                               + result.stdout.decode(errors="replace"))
        return result

    def popen(self, *argv, env=None, stderr=None):
        """wine argv; env adds to the session's environment, stderr (a file) takes what Wine
        writes there."""
        return subprocess.Popen(["wine", *argv], env={**self.env, **(env or {})},
                                stdout=subprocess.DEVNULL, stderr=stderr or subprocess.DEVNULL)


class BoxWatch:
    """boxtool.exe running alongside; after the with block, .records holds what it saw."""

    def __init__(self, rig, delay_ms=0, delay_boxes=None):
        self.rig = rig
        n = next(rig.counter)
        self.out = f"{RUN_DIR}\\boxes-{n}.jsonl"
        self.stop = f"{RUN_DIR}\\stop-{n}"
        argv = [f"{RUN_DIR}\\boxtool.exe", self.out, self.stop, "--timeout-s", "600"]
        if delay_ms:
            argv += ["--delay-ms", str(delay_ms)]
        if delay_boxes is not None:
            argv += ["--delay-boxes", str(delay_boxes)]
        self.process = rig.session.popen(*argv)
        self.records = []

    def finish(self):
        self.rig.path(self.stop).write_bytes(b"")
        try:
            self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise
        out = self.rig.path(self.out)
        for line in (out.read_bytes().splitlines() if out.exists() else []):
            record = json.loads(line)
            # boxtool writes each byte as one character: take the bytes back, then decode them.
            text = {k: decode(record[k].encode("latin-1")) for k in ("caption", "text")}
            self.records.append(Box(text["caption"], text["text"],
                                    datetime.datetime.fromisoformat(record["found"]),
                                    datetime.datetime.fromisoformat(record["pressed"])))

    @property
    def boxes(self):
        return [(b.caption, b.text) for b in self.records]


class StartedRun:
    """A .bat holding one exact command line, started with its current folder C:\\veskrun.

    Wine's cmd reads a batch file in the OEM code page 437, so the file is written in it: a
    character beyond ASCII then reaches the program as the same character, in the ANSI code
    page 1252. A character that code page 437 lacks cannot be handed over this way."""

    def __init__(self, rig, command, env=None, stderr=None):
        self.rig = rig
        n = next(rig.counter)
        self.status_file = f"{RUN_DIR}\\status-{n}.txt"
        bat = f"{RUN_DIR}\\run-{n}.bat"
        text = ("@echo off\r\n"
                f"cd /d {RUN_DIR}\r\n"
                f"{command}\r\n"
                f">{self.status_file} echo %ERRORLEVEL%\r\n")
        try:
            content = text.encode("cp437")
        except UnicodeEncodeError as error:
            raise ValueError(
                f"{text[error.start:error.end]!r} in the command line {command!r} has no "
                "place in code page 437, in which Wine's cmd reads a batch file") from None
        rig.path(bat).write_bytes(content)
        # The program's own local time: a run given another zone names its daily log by that
        # zone's day.
        zone = (env or {}).get("TZ")
        self.started = (datetime.datetime.now(zoneinfo.ZoneInfo(zone)).replace(tzinfo=None)
                        if zone else datetime.datetime.now())
        self.t0 = time.monotonic()
        self.process = rig.session.popen("cmd", "/c", bat, env=env, stderr=stderr)

    def wait(self, timeout=60):
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.rig.session.kill_all()
            raise AssertionError(f"the run did not end within {timeout} s")
        elapsed = time.monotonic() - self.t0
        status_path = self.rig.path(self.status_file)
        status = int(status_path.read_text().strip()) if status_path.exists() else code
        return status, elapsed, datetime.datetime.now()


class Rig:
    """One test's view of the session: its drives, program folder, profile and registry."""

    def __init__(self, session: WineSession, tmp: Path):
        self.session = session
        self.tmp = tmp
        self.counter = itertools.count()
        self.registry_keys = set()
        self.drive_c = session.prefix / "drive_c"
        self.dosdevices = session.prefix / "dosdevices"
        self.user = session.user
        self.profile_win = f"C:\\users\\{self.user}"
        for entry in self.dosdevices.iterdir():
            if re.fullmatch(r"[a-y]:", entry.name) and entry.name != "c:":
                entry.unlink()
        for entry in self.drive_c.iterdir():
            if entry.name not in session.pristine_c:
                shutil.rmtree(entry) if entry.is_dir() else entry.unlink()
        for folder, files in ((PROGRAM_DIR, ("veskbackup.exe", "veskbackup.bat")),
                              (RUN_DIR, ("boxtool.exe",))):
            local = self.path(folder)
            local.mkdir()
            for name in files:
                shutil.copy(session.build_dir / name, local / name)
        shutil.rmtree(self.path(self.profile_win + "\\.quorlin"), ignore_errors=True)

    def close(self):
        # A client that a test left sleeping, and the watch a run left for it, would write into
        # the files of the tests after it. Only this session's: other test runs on the machine
        # start the same programs, and a Wine process killed from outside ends with exit status 0.
        prefix = f"WINEPREFIX={self.session.prefix}".encode()
        for entry in Path("/proc").iterdir():
            try:
                command = (entry / "cmdline").read_bytes().decode("latin-1").lower()
                environment = (entry / "environ").read_bytes().split(b"\0")
            except (OSError, ValueError):
                continue
            if (entry.name.isdigit() and any(name in command for name in STRAYS)
                    and prefix in environment):
                with contextlib.suppress(OSError):
                    os.kill(int(entry.name), signal.SIGKILL)
        for key, view in self.registry_keys:
            self.session.wine("reg", "delete", key, "/f", *view, check=False)
        # Every status file that a test's runs left, read by the test or not, keeps the schema.
        added = [p for p in self.drive_c.iterdir() if p.name not in self.session.pristine_c]
        for root in [self.tmp, *added]:
            for found in (root.rglob(STATUS_FILE) if root.is_dir() else []):
                read_status(found.parent)

    # Paths and drives.
    def drive(self, letter: str, target: Path | None = None) -> Path:
        """Links letter: to target (default a fresh folder of the test) and returns it."""
        target = target or self.tmp / f"drive_{letter.lower()}"
        target.mkdir(parents=True, exist_ok=True)
        link = self.dosdevices / f"{letter.lower()}:"
        if link.is_symlink():
            link.unlink()
        link.symlink_to(target)
        return target

    def path(self, windows_path: str) -> Path:
        """The Linux path of a Windows path on C: or a linked drive."""
        drive, _, rest = windows_path.partition(":")
        base = self.dosdevices / f"{drive.lower()}:"
        parts = [p for p in rest.split("\\") if p]
        return base.joinpath(*parts) if parts else base

    def default_log(self, day: int | None = None) -> str:
        day = day or datetime.date.today().day
        return f"{PROGRAM_DIR}\\veskbackuplog.txt{day:02d}"

    # Configuration the program reads.
    @property
    def path_conf(self) -> str:
        return self.profile_win + "\\.quorlin\\path.conf"

    def write_path_conf(self, content: str | bytes):
        target = self.path(self.path_conf)
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(content if isinstance(content, bytes) else content.encode("cp1252"))

    def reg_add(self, key: str, name: str, data: str, kind: str = "REG_SZ", view: int = 0):
        """view 32 or 64 writes into that view of the registry (reg's /reg:32, /reg:64); 0 into
        the view of 64-bit programs, as reg does by default here."""
        option = (f"/reg:{view}",) if view else ()
        self.registry_keys.add((key, option))
        self.session.wine("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f", *option)

    def install_client(self, sql_path: str, generation: str = "2005",
                       control: dict | None = None, view: int = 0) -> Path:
        """The stub client as <sql_path>\\Binn\\OSQL.exe and sqlcmd.exe, registered as the
        generation's SQLPath (in the registry view of reg_add). Returns the Binn folder; see
        client_calls and control.txt."""
        binn = self.path(sql_path + "\\Binn")
        binn.mkdir(parents=True, exist_ok=True)
        for name in ("OSQL.exe", "sqlcmd.exe"):
            shutil.copy(self.session.build_dir / "stub_client.exe", binn / name)
        self.client_control(binn, **(control or {}))
        self.reg_add(CLIENT_KEYS[generation], "SQLPath", sql_path, view=view)
        return binn

    @staticmethod
    def client_control(binn: Path, sleep=0, exit=0, output=None):
        if output is None:
            output = BACKUP_OUTPUT
        escaped = output.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
        (binn / "control.txt").write_bytes(
            f"sleep={sleep}\r\nexit={exit}\r\noutput={escaped}\r\n".encode("cp1252"))

    @staticmethod
    def client_calls(binn: Path) -> list[dict]:
        """What each start of the stub client recorded, in order."""
        record_file = binn / "args.json"
        if not record_file.exists():
            return []
        calls = []
        for line in record_file.read_bytes().splitlines():
            record = json.loads(line)
            back = lambda v: decode(v.encode("latin-1")) if isinstance(v, str) else v
            calls.append({k: ([back(a) for a in v] if isinstance(v, list) else back(v))
                          for k, v in record.items()})
        return calls

    @contextlib.contextmanager
    def hold_file(self, windows_path: str):
        """Holds an existing file open with no sharing (holdfile.exe) for the with block."""
        tool = self.session.build_dir / "holdfile.exe"
        if not tool.is_file():
            raise RuntimeError(f"{tool} is missing: build the windows preset")
        n = next(self.counter)
        local_tool = self.path(f"{RUN_DIR}\\holdfile.exe")
        if not local_tool.exists():
            shutil.copy(tool, local_tool)
        ready, stop = f"{RUN_DIR}\\held-{n}", f"{RUN_DIR}\\release-{n}"
        process = self.session.popen(f"{RUN_DIR}\\holdfile.exe", windows_path, stop, ready)
        try:
            deadline = time.monotonic() + 30
            while not self.path(ready).exists():
                if process.poll() is not None:
                    raise RuntimeError(f"holdfile could not open {windows_path}: "
                                       f"exit code {process.returncode}")
                if time.monotonic() > deadline:
                    raise RuntimeError(f"holdfile did not hold {windows_path} within 30 s")
                time.sleep(0.02)
            yield
        finally:
            self.path(stop).write_bytes(b"")
            try:
                process.wait(30)
            except subprocess.TimeoutExpired:
                process.kill()
                raise

    # Running the program.
    @contextlib.contextmanager
    def watch_boxes(self, delay_ms=0, delay_boxes=None):
        watch = BoxWatch(self, delay_ms, delay_boxes)
        try:
            yield watch
        finally:
            watch.finish()

    def start(self, argument_text: str, direct: bool = False, env=None,
              stderr=None) -> StartedRun:
        """Starts veskbackup.bat (or, direct, the exe itself) with exactly argument_text after
        its name; env and stderr as WineSession.popen takes them."""
        # Wine 8's cmd loses a batch file's exit code across "call"; "cmd /c" keeps it and, like
        # call, hands the rest of the line to %* unchanged.
        if direct:
            command = f"{PROGRAM_DIR}\\veskbackup.exe"
        else:
            command = f"cmd /c {PROGRAM_DIR}\\veskbackup.bat"
        return StartedRun(self, command + (" " + argument_text if argument_text else ""), env,
                          stderr)

    def run_command(self, command: str, timeout=60) -> int:
        """Runs one exact command line from a .bat; returns its exit status."""
        status, _, _ = StartedRun(self, command).wait(timeout)
        return status

    def read_log(self, windows_path: str) -> str | None:
        local = self.path(windows_path)
        return decode(local.read_bytes()) if local.is_file() else None

    def run(self, argument_text: str, *, direct=False, log: str | None = None, delay_ms=0,
            delay_boxes=None, timeout=60, env=None, stderr=None) -> RunResult:
        """One run with boxtool closing its boxes. log names the run log to read (default the
        daily log in the program folder)."""
        with self.watch_boxes(delay_ms, delay_boxes) as watch:
            started = self.start(argument_text, direct, env, stderr)
            status, elapsed, ended = started.wait(timeout)
        if log is None:
            # A run across midnight writes to the file of the day it started on.
            log = self.default_log(started.started.day)
        return RunResult(status, watch.boxes, watch.records, self.read_log(log), self.path(log),
                         elapsed, started.started, ended)
