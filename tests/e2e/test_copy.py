"""The installation folder copied by the real xcopy and by the shell copy, verified afterwards:
whole trees, incremental runs, a file nobody may read, a network destination."""

import os
import re
import time

import pytest

from rig import STATUS_FILE, masked, summary

SOURCE = "C:\\Apps\\Client"
START = "<ts>: VESK start backup"
COPYING = "<ts>: Start copying from C:\\Apps\\Clientto D:\\Backup\\"
XCOPY_LINES = ["<ts>: doing xcopy", "<ts>: cd to D:\\"]
SHELL_LINES = ["<ts>: doing full copy"]
NO_DATABASE = "<ts>: VESK backup completed without SQLServer version"

FILES = {
    "data.txt": b"data\r\n",
    "Bob's notes.txt": b"notes",
    "bin/app.dll": bytes(range(256)) * 64,
    "bin/lib/deep/core.bin": b"core",
}
EMPTY_FOLDERS = ["empty", "logs/archive"]

MODES = pytest.mark.parametrize("mode_arguments, mode_lines", [
    ("", XCOPY_LINES), (' "default" "N" "N"', SHELL_LINES),
], ids=["xcopy", "shell copy"])


def make_source(rig, files=FILES, empty_folders=EMPTY_FOLDERS):
    root = rig.path(SOURCE)
    for relative, content in files.items():
        (root / relative).parent.mkdir(parents=True, exist_ok=True)
        (root / relative).write_bytes(content)
    for relative in empty_folders:
        (root / relative).mkdir(parents=True, exist_ok=True)
    rig.write_path_conf("finalPath=C:/Apps/Client/\r\n")
    return root


def tree(root):
    """(files as {relative path: content}, folders as a set of relative paths) under root; a
    backup's status file is no part of it."""
    files, folders = {}, set()
    for folder, subfolders, names in os.walk(root):
        base = os.path.relpath(folder, root)
        for name in subfolders:
            folders.add(os.path.normpath(os.path.join(base, name)).replace(os.sep, "/"))
        for name in names:
            relative = os.path.normpath(os.path.join(base, name)).replace(os.sep, "/")
            files[relative] = (root / relative).read_bytes()
    files.pop(STATUS_FILE, None)
    return files, folders


def xcopy_listing(rig, run):
    """The lines of the xcopy listing next to the run log, or None when there is none."""
    listing = run.log_path.with_name(run.log_path.name + "xcp")
    return listing.read_bytes().decode("cp1252").splitlines() if listing.exists() else None


def windows_names(relatives):
    return sorted(SOURCE + "\\" + r.replace("/", "\\") for r in relatives)


@MODES
def test_whole_tree_is_copied(rig, mode_arguments, mode_lines):
    d = rig.drive("D")
    source = make_source(rig)
    r = rig.run('"D:\\Backup"' + mode_arguments)
    assert masked(r.log) == [START, COPYING] + mode_lines + [
        "<ts>: Backup Folder completed", "<ts>: " + summary(source), NO_DATABASE]
    assert r.status == 0
    assert tree(d / "Backup") == tree(source)
    listing = xcopy_listing(rig, r)
    if mode_lines == XCOPY_LINES:
        assert listing, "no xcopy listing next to the run log"
        assert sorted(listing[:-1]) == windows_names(FILES)
        assert re.fullmatch(r"4 file\(s\) copied", listing[-1], re.IGNORECASE)
    else:
        assert listing is None


def test_second_xcopy_run_copies_only_newer_files(rig):
    d = rig.drive("D")
    files = {"newer.txt": b"v1", "kept.txt": b"source", "same.txt": b"source"}
    source = make_source(rig, files, [])
    backup = d / "Backup"
    then = time.time() - 3600
    for name in files:
        os.utime(source / name, (then, then))
    first = rig.run('"D:\\Backup"')
    assert first.status == 0
    assert tree(backup) == tree(source)

    # Changed in the source since the first run: copied again.
    (source / "newer.txt").write_bytes(b"v2")
    os.utime(source / "newer.txt", (then + 300, then + 300))
    # Newer in the backup than in the source, and as old as the source with another size:
    # xcopy leaves both, the repair pass puts the source's files back.
    (backup / "kept.txt").write_bytes(b"newer in backup")
    os.utime(backup / "kept.txt", (then + 600, then + 600))
    (backup / "same.txt").write_bytes(b"edited in backup")
    os.utime(backup / "same.txt", (then, then))
    # New in the source, in a new folder.
    (source / "more").mkdir()
    (source / "more" / "added.txt").write_bytes(b"added")

    second = rig.run('"D:\\Backup"')
    lines = masked(second.log[len(first.log):])
    assert lines[:4] == [START, COPYING] + XCOPY_LINES
    assert sorted(lines[4:6]) == ["<ts>: copied again: kept.txt", "<ts>: copied again: same.txt"]
    assert lines[6:] == ["<ts>: Backup Folder completed", "<ts>: " + summary(source, (), 2),
                         NO_DATABASE]
    assert second.status == 0
    listing = xcopy_listing(rig, second)
    assert listing, "no xcopy listing next to the run log"
    assert sorted(listing[:-1]) == windows_names(["newer.txt", "more/added.txt"])
    assert re.fullmatch(r"2 file\(s\) copied", listing[-1], re.IGNORECASE)
    assert tree(backup) == tree(source)


@MODES
def test_file_held_open_makes_the_copy_incomplete(rig, mode_arguments, mode_lines):
    d = rig.drive("D")
    make_source(rig, {"a.txt": b"a", "data/locked.dat": b"locked", "data/z.txt": b"z"}, [])
    with rig.hold_file(SOURCE + "\\data\\locked.dat"):
        r = rig.run('"D:\\Backup"' + mode_arguments)
    lines = masked(r.log)
    head = [START, COPYING] + mode_lines
    tail = ["<ts>: Backup Folder NOT complete", "<ts>: SUMMARY", NO_DATABASE]
    named = lines[len(head):-len(tail)]
    copied_again = sum(line.startswith("<ts>: copied again: ") for line in named)
    tail[1] = "<ts>: " + summary(rig.path(SOURCE), ["data\\locked.dat"], copied_again)
    assert lines[:len(head)] == head and lines[-len(tail):] == tail, lines
    # What the tool left is copied again; only the locked file stays out of the backup.
    copied = [line.removeprefix("<ts>: copied again: ") for line in named
              if line.startswith("<ts>: copied again: ")]
    missing = [line.removeprefix("<ts>: not in backup: ") for line in named
               if line.startswith("<ts>: not in backup: ")]
    assert len(copied) + len(missing) == len(named), lines
    assert missing == ["data\\locked.dat"]
    assert not (set(copied) & {"data\\locked.dat"})
    backup = d / "Backup"
    assert (backup / "a.txt").read_bytes() == b"a"
    assert (backup / "data" / "z.txt").read_bytes() == b"z"
    assert r.status == 3


def test_missing_network_destination_is_created_and_copied_into(rig):
    share = rig.tmp / "share"
    share.mkdir()
    (rig.dosdevices / "unc" / "vesktest").mkdir(parents=True, exist_ok=True)
    (rig.dosdevices / "unc" / "vesktest" / "share").symlink_to(share)
    source = make_source(rig)
    r = rig.run('"\\\\vesktest\\share\\bk\\daily"')
    lines = masked(r.log)
    assert lines[:2] == [START, "<ts>: create dir\\\\vesktest\\share\\bk"], lines
    assert "<ts>: xcopy cannot copy into a network folder: \\\\vesktest\\share\\bk\\daily\\" in lines
    assert lines[-3:] == ["<ts>: Backup Folder completed", "<ts>: " + summary(source), NO_DATABASE]
    assert r.status == 0
    assert tree(share / "bk" / "daily") == tree(source)
