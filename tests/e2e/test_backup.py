"""A whole backup: the installation folder copied and the database client started."""

from rig import masked, read_status, summary

DB_PROPERTIES = (
    "DB_PROVIDER=SQLNCLI.1\r\n"
    "dbconn.appl.url=proto://SRV01:1433;opt=1\r\n"
    "dbconn.appl.user=appuser\r\n"
    "dbconn.appl.pwd=secret\r\n")


def test_whole_backup_copies_the_folder_and_starts_the_client(rig):
    d = rig.drive("D")
    app = rig.path("C:\\Apps\\Client")
    (app / "ZAVO").mkdir(parents=True)
    (app / "ZAVO" / "db.properties").write_bytes(DB_PROPERTIES.encode())
    (app / "data.txt").write_bytes(b"data\r\n")
    (app / "empty").mkdir()
    rig.write_path_conf("finalPath=C:/Apps/Client/\r\n")
    binn = rig.install_client("C:\\SQLTools", "2005")

    r = rig.run('"D:\\Backup"')

    log = rig.default_log(r.started.day)
    assert masked(r.log) == [
        "<ts>: VESK start backup",
        "<ts>: Start copying from C:\\Apps\\Clientto D:\\Backup\\",
        "<ts>: doing xcopy",
        "<ts>: cd to D:\\",
        "<ts>: Backup Folder completed",
        "<ts>: " + summary(app),
        "<ts>: SQL start backup 2005",
        '<ts>: "C:\\SQLTools\\Binn\\sqlcmd.exe" -S SRV01,1433 -d VESK_ZAVO -U appuser -b '
        "-Q \"sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Backup'\" "
        f'-o "{log}sql"',
        "<ts>: SQL backup Complete",
    ]
    assert r.boxes == []
    assert r.status == 0
    assert (d / "Backup" / "data.txt").read_bytes() == b"data\r\n"
    assert (d / "Backup" / "empty").is_dir()
    [call] = rig.client_calls(binn)
    assert call["argv"][1:] == [
        "-S", "SRV01,1433", "-d", "VESK_ZAVO", "-U", "appuser", "-b", "-Q",
        "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', 'D:\\Backup'", "-o", log + "sql"]
    # The password reaches the client in its environment alone, its input is the NUL device.
    assert call["passwordLengths"] == {"SQLCMDPASSWORD": len("secret"), "OSQLPASSWORD": None}
    assert (call["SQLCMDUSER"], call["input"]) == ("appuser", "end")
    assert call["NoDefaultCurrentDirectoryInExePath"] is not None
    # The status file's counts are those of the summary line, and of the installation.
    status = read_status(d / "Backup")
    assert status["exitStatus"] == 0 and status["database"]["outcome"] == "confirmed"
    [folder] = status["folders"]
    assert (folder["filesInBackup"], folder["foldersInBackup"], folder["bytesInBackup"]) == (
        2, 2, len(DB_PROPERTIES) + 6)
    assert folder["filesCopiedByTool"] == 2
