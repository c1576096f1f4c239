"""The release: the zip that the package target makes, and the version resource of its exe."""

import os
import re
import shutil
import subprocess
import zipfile
from pathlib import Path

import pytest

from rig import PROGRAM_DIR, RUN_DIR

REPO = Path(__file__).resolve().parents[2]
BUILD_DIR = Path(os.environ.get("VESK_BUILD_DIR", REPO / "build" / "windows"))
RELEASE_FILES = ["LICENSE", "README.md", "veskbackup.bat", "veskbackup.exe"]


def cmake_version() -> str:
    text = (REPO / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*veskbackup\s+VERSION\s+(\d+\.\d+\.\d+)\b", text)
    assert match, "CMakeLists.txt names no project version"
    return match.group(1)


@pytest.fixture(scope="module")
def package(tmp_path_factory) -> Path:
    config = BUILD_DIR / "CPackConfig.cmake"
    if not config.is_file():
        pytest.skip(f"{config} is missing: configure the windows preset")
    # The package target runs cpack with this configuration in the build folder; here the zip
    # goes to a folder of the test, so that the build folder stays as it was.
    out = tmp_path_factory.mktemp("package")
    subprocess.run(["cpack", "--config", str(config), "-B", str(out)], check=True,
                   stdout=subprocess.DEVNULL, timeout=120)
    zip_path = out / f"veskbackup-{cmake_version()}-win64.zip"
    assert zip_path.is_file(), sorted(p.name for p in out.iterdir())
    return zip_path


def test_package_holds_exactly_the_release_files(package):
    with zipfile.ZipFile(package) as z:
        assert sorted(z.namelist()) == RELEASE_FILES
        assert z.read("veskbackup.bat") == (REPO / "src" / "veskbackup.bat").read_bytes()
        assert z.read("README.md") == (REPO / "README.md").read_bytes()
        assert b"MIT License" in z.read("LICENSE")
        assert z.read("veskbackup.exe")[:2] == b"MZ"


@pytest.mark.parametrize("which", ["built", "packaged"])
def test_version_resource_holds_the_cmake_version(rig, request, which):
    tool = rig.session.build_dir / "versioninfo.exe"
    assert tool.is_file(), f"{tool} is missing: build the windows preset"
    shutil.copy(tool, rig.path(RUN_DIR))
    exe = f"{PROGRAM_DIR}\\veskbackup.exe"
    if which == "packaged":
        # The zip's exe is stripped; its resources must survive that.
        with zipfile.ZipFile(request.getfixturevalue("package")) as z:
            rig.path(RUN_DIR + "\\veskbackup.exe").write_bytes(z.read("veskbackup.exe"))
        exe = f"{RUN_DIR}\\veskbackup.exe"
    result = rig.session.wine(f"{RUN_DIR}\\versioninfo.exe", exe)
    fields = dict(line.split("=", 1) for line in result.stdout.decode().splitlines()
                  if "=" in line)

    version = cmake_version()
    assert fields["FileVersion"] == version
    assert fields["ProductVersion"] == version
    # What the Details tab shows as "File version" comes from the fixed part.
    assert fields["FixedFileVersion"] == version + ".0"
    assert fields["FixedProductVersion"] == version + ".0"
    assert fields["ProductName"] == "veskbackup"
    assert fields["FileDescription"]
    assert fields["OriginalFilename"] == "veskbackup.exe"
