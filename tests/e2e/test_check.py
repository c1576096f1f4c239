"""The copy check and the repair pass on real faults: a full destination disk, a half-written
copy from an earlier run, names beyond the ANSI code page, a rename in letter case only."""

import contextlib
import os
import subprocess
import time

import pytest

from rig import masked
from test_copy import MODES, make_source, tree

BIG = bytes(range(256)) * 8192  # 2 MB


@contextlib.contextmanager
def small_disk(rig, letter, size):
    """A drive of size bytes (a tmpfs) linked as letter:, for the with block."""
    target = rig.tmp / f"disk_{letter.lower()}"
    target.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(target)],
                             capture_output=True)
    if mounted.returncode != 0:
        pytest.skip(f"cannot mount a small disk here: {mounted.stderr.decode().strip()}")
    try:
        yield rig.drive(letter, target)
    finally:
        rig.session.kill_all()
        subprocess.run(["umount", "-l", str(target)], check=False)


def prefixed(lines, prefix):
    return [line.removeprefix("<ts>: " + prefix) for line in lines
            if line.startswith("<ts>: " + prefix)]


@MODES
def test_full_disk_names_the_truncated_file_and_the_next_run_mends_it(rig, mode_arguments,
                                                                       mode_lines):
    source = make_source(rig, {"a.txt": b"a", "big.bin": BIG, "z.txt": b"z"}, [])
    with small_disk(rig, "E", 3 * 1024 * 1024) as disk:
        filler = disk / "filler.bin"
        filler.write_bytes(b"\0" * (1536 * 1024))
        full = rig.run('"E:\\Backup"' + mode_arguments)
        lines = [line.replace("<ts>: ", "", 1) for line in masked(full.log)]
        assert full.status == 3, lines
        assert "big.bin" in prefixed(masked(full.log), "not in backup: "), lines
        assert "Backup Folder NOT complete" in lines

        filler.unlink()
        again = rig.run('"E:\\Backup"')
        new = masked(again.log)[len(masked(full.log)):]
        assert "big.bin" in prefixed(new, "copied again: "), new
        assert prefixed(new, "not in backup: ") == []
        assert "<ts>: Backup Folder completed" in new
        assert again.status == 0
        assert tree(disk / "Backup") == tree(source)


def test_half_written_copy_dated_later_is_copied_again(rig):
    d = rig.drive("D")
    source = make_source(rig, {"app.exe": BIG, "kept.txt": b"kept"}, [])
    first = rig.run('"D:\\Backup"')
    assert first.status == 0
    # A copy cut off by a power loss: part of the file, dated after the source.
    copy = d / "Backup" / "app.exe"
    copy.write_bytes(BIG[:1000])
    later = time.time() + 3600
    os.utime(copy, (later, later))

    second = rig.run('"D:\\Backup"')
    new = masked(second.log)[len(masked(first.log)):]
    assert prefixed(new, "copied again: ") == ["app.exe"], new
    assert "<ts>: Backup Folder completed" in new
    assert second.status == 0
    assert tree(d / "Backup") == tree(source)


@MODES
def test_names_beyond_the_code_page_are_backed_up_and_checked(rig, mode_arguments, mode_lines):
    d = rig.drive("D")
    # Two pairs of names that the code page shows alike, a folder and a file in other scripts.
    files = {"\u03a9mega.txt": b"omega", "Omega.txt": b"o", "\u65e5\u672c.txt": b"ja",
             "\u4e2d\u6587.txt": b"zh", "\u65e5\u672c/\u0444\u0430\u0439\u043b.txt": b"ru"}
    source = make_source(rig, files, ["\u0444\u043e\u043b\u0434\u0435\u0440"])
    r = rig.run('"D:\\Backup"' + mode_arguments)
    log = masked(r.log)
    assert prefixed(log, "not in backup: ") == [], log
    assert "<ts>: Backup Folder completed" in log
    assert r.status == 0
    assert tree(d / "Backup") == tree(source)


def test_rename_in_letter_case_beyond_ascii_is_no_difference(rig):
    d = rig.drive("D")
    source = make_source(rig, {"\u00c4rger.txt": b"anger"}, [])
    backup = d / "Backup"
    backup.mkdir()
    (backup / "\u00e4rger.txt").write_bytes(b"anger")
    stat = (source / "\u00c4rger.txt").stat()
    os.utime(backup / "\u00e4rger.txt", ns=(stat.st_atime_ns, stat.st_mtime_ns))
    r = rig.run('"D:\\Backup"')
    log = masked(r.log)
    assert prefixed(log, "not in backup: ") == [] and prefixed(log, "copied again: ") == [], log
    assert r.status == 0
