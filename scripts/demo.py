"""One veskbackup run on a sample installation, in a throwaway Wine prefix (see scripts/demo)."""

import os
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

from rig import Rig, WineSession  # noqa: E402

STATUS = {
    0: "backed up: every copy completed, database backup confirmed or none configured",
    1: "usage message",
    2: "the run went through the error report",
    3: "nothing backed up, or the run ended otherwise",
    4: "a failure ended the process through the generic report",
    5: "copies completed, database backup still running after 5 s",
}
DB_PROPERTIES = (
    "DB_PROVIDER=SQLNCLI.1\r\n"
    "dbconn.appl.url=proto://SRV01:1433;opt=1\r\n"
    "dbconn.appl.user=appuser\r\n"
    "dbconn.appl.pwd=secret\r\n")


def section(title):
    print(f"\n--- {title}")


def show_tree(root: Path):
    if not root.exists():
        print("(nothing)")
        return
    for path in sorted(root.rglob("*")):
        relative = "\\".join(path.relative_to(root).parts)
        suffix = "\\" if path.is_dir() else f"  ({path.stat().st_size} bytes)"
        print(f"  {relative}{suffix}")


def make_installation(rig: Rig):
    app = rig.path("C:\\Apps\\Client")
    for name, content in (("client.ini", "[client]\r\nserver=SRV01\r\n"),
                          ("bin/app.dll", "\0" * 2048),
                          ("reports/monthly.rpt", "report layout\r\n"),
                          ("ZAVO/db.properties", DB_PROPERTIES)):
        (app / name).parent.mkdir(parents=True, exist_ok=True)
        (app / name).write_bytes(content.encode("cp1252"))
    (app / "cache").mkdir()
    rig.write_path_conf("finalPath=C:/Apps/Client/\r\n")
    return rig.install_client("C:\\SQLTools", "2005", control=dict(
        output="Processed 1 pages for database 'VESK_ZAVO'.\r\n"
               "BACKUP DATABASE successfully processed 1 pages.\r\n"))


def main():
    build_dir = Path(os.environ.get("VESK_BUILD_DIR", REPO / "build" / "windows"))
    root = Path(tempfile.mkdtemp(prefix="vesk-demo-"))
    session = WineSession(build_dir, root)
    try:
        print("Making a throwaway Wine prefix ...")
        session.start()
        rig = Rig(session, root / "demo")
        backup_drive = rig.drive("D")
        binn = make_installation(rig)

        section(f"sample installation C:\\Apps\\Client (path.conf in {rig.path_conf})")
        show_tree(rig.path("C:\\Apps\\Client"))

        arguments = '"D:\\Backup"'
        print(f"\n> C:\\veskprog\\veskbackup.bat {arguments}")
        r = rig.run(arguments)
        print(f"exit status {r.status}: {STATUS.get(r.status, 'unexpected')}"
              f" ({r.elapsed:.1f} s)")
        for caption, text in r.boxes:
            print(f"message box [{caption}]: {text!r}")

        section(f"run log {rig.default_log(r.started.day)}")
        print(r.log.rstrip("\r\n").replace("\r\n", "\n") if r.log else "(no run log)")

        section("D:\\ after the run")
        show_tree(backup_drive)

        for suffix in ("xcp", "sql"):
            output = Path(str(r.log_path) + suffix)
            if output.exists():
                section(f"{output.name} (output of the {'copy' if suffix == 'xcp' else 'client'})")
                print(output.read_bytes().decode("cp1252", errors="replace").rstrip())

        section("what the database client received")
        calls = rig.client_calls(binn)
        if not calls:
            print("(the client was not started)")
        for call in calls:
            print(f"program: {call['program']}")
            for i, argument in enumerate(call["argv"][1:], 1):
                print(f"  argv[{i}] = {argument}")
        return 0
    finally:
        session.stop()


if __name__ == "__main__":
    sys.exit(main())
