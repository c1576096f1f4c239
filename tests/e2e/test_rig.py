"""The rig's own tools, so that a failing program test is not a failing rig."""

from rig import RUN_DIR


def test_stub_client_records_its_arguments_and_obeys_its_control_file(rig):
    binn = rig.install_client("C:\\SQLTools", "2005",
                              control=dict(exit=7, output="Msg 3201, Level 16, State 1\r\n"))
    # The MSDE form of the backup command: \" makes the quotes around the folder literal.
    status = rig.run_command(
        '"C:\\SQLTools\\Binn\\OSQL.exe" -S SRV01,1433 -d VESK_ZAVO -U appuser -P secret -Q '
        '"sp_VESKDatabaseBackup \'VESK_ZAVO\', \'F\', \\"D:\\Backup\\"" -o "C:\\veskrun\\logsql"')
    assert status == 7
    [call] = rig.client_calls(binn)
    assert call["argv"][1:] == [
        "-S", "SRV01,1433", "-d", "VESK_ZAVO", "-U", "appuser", "-P", "secret", "-Q",
        "sp_VESKDatabaseBackup 'VESK_ZAVO', 'F', \"D:\\Backup\"", "-o", "C:\\veskrun\\logsql"]
    assert call["program"] == "C:\\SQLTools\\Binn\\OSQL.exe"
    assert call["cwd"] == RUN_DIR
    assert rig.path(RUN_DIR + "\\logsql").read_bytes() == b"Msg 3201, Level 16, State 1\r\n"
    query = rig.session.wine(
        "reg", "query", "HKLM\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\90\\Tools\\ClientSetup",
        "/v", "SQLPath")
    assert b"C:\\SQLTools" in query.stdout
