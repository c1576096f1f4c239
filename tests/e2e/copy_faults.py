"""Arrangements of the fault matrix's rows on the copy check: links that loop, a source that
changes while xcopy copies it, and destinations whose file system keeps times its own way
(tmpfs as a small disk, a vfat image as a FAT drive)."""

import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

from rig import decode

# The sample file that the application grows or rewrites during a row's run.
BIG = bytes(range(256)) * 4096 * 3  # 3 MiB
DATED = {"old.txt": -11_644_473_600 + 86_400,  # 1601-01-02, in seconds since 1970
         "new.txt": 7_258_118_400}  # 2200-01-01


def wait_for_log(s, run, text, seed_length, timeout=15):
    """Waits until the run log holds text after the seed; False when the run ended first."""
    log = s.rig.path(s.log)
    deadline = time.monotonic() + timeout
    while text not in decode(log.read_bytes())[seed_length:]:
        if run.process.poll() is not None or time.monotonic() > deadline:
            return False
        time.sleep(0.02)
    return True


def links_up(s):
    """Two links onto folders above: the source itself and the folder above the link."""
    source = s.rig.path(s.source)
    (source / "sub" / "deep").mkdir(parents=True, exist_ok=True)
    os.symlink("..", source / "sub" / "up")
    os.symlink("../..", source / "sub" / "deep" / "up2")


def small_disk(s, letter, size):
    """A tmpfs of size bytes as the drive letter:, for the row."""
    target = s.rig.tmp / f"disk_{letter.lower()}"
    target.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(target)],
                             capture_output=True)
    if mounted.returncode != 0:
        pytest.skip(f"cannot mount a small disk here: {mounted.stderr.decode().strip()}")
    s.exits.callback(subprocess.run, ["umount", "-l", str(target)], check=False)
    s.exits.callback(s.rig.session.kill_all)
    return s.rig.drive(letter, target)


def backup_of_the_source_on_a_small_disk(s):
    """E: has room for an exact copy of the installation and little more."""
    disk = small_disk(s, "E", len(BIG) + 512 * 1024)
    shutil.copytree(s.rig.path(s.source), disk / "Backup", copy_function=shutil.copy2)


def grow_while_the_copy_box_is_open(s, run):
    """After the walk, before xcopy: big.bin grows to twice its size (boxtool holds the box
    "Start copying from" open for 2 s)."""
    if not wait_for_log(s, run, "VESK start backup", s.seed_length):
        return
    time.sleep(1.0)
    with open(s.rig.path(s.source + "\\big.bin"), "ab") as out:
        out.write(BIG)


def rewrite_once_copied(s, run):
    """Once xcopy has copied torn.bin, and while it copies the large file after it, the
    application rewrites torn.bin in place: same size, 0.5 s later."""
    source = s.rig.path(s.source + "\\torn.bin")
    copy = s.rig.path(s.destination + "\\torn.bin")
    before = source.stat()
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and run.process.poll() is None:
        # Wine keeps times to 100 ns.
        if copy.exists() and copy.stat().st_size == before.st_size and \
                copy.stat().st_mtime_ns // 100 == before.st_mtime_ns // 100:
            with open(source, "r+b") as out:
                out.write(b"new head")
            os.utime(source, ns=(before.st_atime_ns, before.st_mtime_ns + 500_000_000))
            s.rewritten = True
            return
        time.sleep(0.005)


def dated_sources(s):
    for name, when in DATED.items():
        path = s.rig.path(s.source + "\\" + name)
        path.write_bytes(name.encode())
        os.utime(path, (when, when))


def fat_drive(s):
    """E: on a vfat image through a loop device, which Wine is shown as the drive's device too,
    so that the volume names its file system FAT."""
    if shutil.which("mkfs.vfat") is None:
        pytest.skip("mkfs.vfat is missing (dosfstools)")
    if "vfat" not in Path("/proc/filesystems").read_text():
        pytest.skip("this kernel cannot mount vfat (no vfat in /proc/filesystems)")
    image = s.rig.tmp / "fat.img"
    with open(image, "wb") as out:
        out.truncate(32 * 1024 * 1024)
    subprocess.run(["mkfs.vfat", str(image)], check=True, capture_output=True)
    attached = subprocess.run(["losetup", "-f", "--show", str(image)], capture_output=True,
                              text=True)
    if attached.returncode != 0:
        pytest.skip(f"no loop device: {attached.stderr.strip()}")
    device = attached.stdout.strip()
    s.exits.callback(subprocess.run, ["losetup", "-d", device], check=False)
    target = s.rig.tmp / "fat"
    target.mkdir()
    mounted = subprocess.run(["mount", "-t", "vfat", device, str(target)], capture_output=True)
    if mounted.returncode != 0:
        pytest.skip(f"cannot mount the vfat image: {mounted.stderr.decode().strip()}")
    s.exits.callback(subprocess.run, ["umount", "-l", str(target)], check=False)
    s.exits.callback(s.rig.session.kill_all)
    s.rig.drive("E", target)
    device_link = s.rig.dosdevices / "e::"
    device_link.unlink(missing_ok=True)
    device_link.symlink_to(device)
    s.exits.callback(device_link.unlink, missing_ok=True)
    s.rig.session.kill_all()  # the drive's device is read when the server starts anew
