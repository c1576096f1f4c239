"""The release: the zip that the package target makes, its text files and checksums, and the
version resource of its exe."""

import collections
import hashlib
import json
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
RELEASE_FILES = ["LICENSE", "README.txt", "SHA256SUMS", "veskbackup-status.schema.json",
                 "veskbackup.bat", "veskbackup.exe"]
# SHA256SUMS ends its lines in LF.
TEXT_FILES = ["LICENSE", "README.txt", "veskbackup-status.schema.json", "veskbackup.bat"]
WIDTH = 78
SECTION_MARKS = re.compile(
    r"^<!-- README\.txt: from here -->$(.*?)^<!-- README\.txt: to here -->$", re.M | re.S)


def cmake_version() -> str:
    text = (REPO / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*veskbackup\s+VERSION\s+(\d+\.\d+\.\d+)\b", text)
    assert match, "CMakeLists.txt names no project version"
    return match.group(1)


def cmake_description() -> str:
    match = re.search(r'DESCRIPTION\s+"([^"]*)"', (REPO / "CMakeLists.txt").read_text())
    assert match, "CMakeLists.txt gives the project no description"
    return match.group(1)


def make_readme_txt(source: Path, output: Path) -> subprocess.CompletedProcess:
    """Runs the build's README.txt script as cmake/windows.cmake does."""
    links_allowed = ",".join(name for name in RELEASE_FILES
                             if name not in ("README.txt", "SHA256SUMS"))
    return subprocess.run(
        ["cmake", f"-DSOURCE={source}", f"-DOUTPUT={output}", f"-DVERSION={cmake_version()}",
         f"-DTITLE={cmake_description()}", f"-DRELEASE_FILES={links_allowed}",
         "-P", str(REPO / "cmake" / "readme_txt.cmake")],
        capture_output=True, text=True, timeout=60)


def words(text: str) -> collections.Counter:
    return collections.Counter(re.findall(r"[A-Za-z0-9]+", text))


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
        license_text = (REPO / "LICENSE").read_bytes().replace(b"\r\n", b"\n")
        assert z.read("LICENSE") == license_text.replace(b"\n", b"\r\n")
        assert b"MIT License" in z.read("LICENSE")
        assert z.read("veskbackup.exe")[:2] == b"MZ"
        schema = REPO / "src" / "veskbackup-status.schema.json"
        assert json.loads(z.read("veskbackup-status.schema.json")) == json.loads(schema.read_text())


@pytest.mark.parametrize("name", TEXT_FILES)
def test_text_files_end_every_line_in_cr_lf(package, name):
    # The Notepad of Windows Server 2016 shows a file with bare LF endings as one long line.
    with zipfile.ZipFile(package) as z:
        data = z.read(name)
    assert data.endswith(b"\r\n")
    assert data.count(b"\n") == data.count(b"\r") == data.count(b"\r\n")


def test_sha256sums_lets_sha256sum_check_the_other_files(package, tmp_path):
    with zipfile.ZipFile(package) as z:
        z.extractall(tmp_path)
        sums = z.read("SHA256SUMS")
        expected = "".join(f"{hashlib.sha256(z.read(name)).hexdigest()}  {name}\n"
                           for name in RELEASE_FILES if name != "SHA256SUMS")
    # No byte order mark and no CR: sha256sum would take either for part of a line's content.
    assert sums.decode("ascii") == expected
    result = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=tmp_path,
                            capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stdout + result.stderr
    assert sorted(result.stdout.splitlines()) == sorted(
        f"{name}: OK" for name in RELEASE_FILES if name != "SHA256SUMS")


def test_readme_txt_is_what_the_current_readme_md_makes(package, tmp_path):
    made = tmp_path / "README.txt"
    result = make_readme_txt(REPO / "README.md", made)
    assert result.returncode == 0, result.stderr
    with zipfile.ZipFile(package) as z:
        shipped = z.read("README.txt")
    assert shipped == made.read_bytes(), \
        "the zip's README.txt is not made from the current README.md: build the windows preset"


def test_readme_txt_holds_the_administrator_sections_as_plain_text(package):
    markdown = (REPO / "README.md").read_text()
    sections = SECTION_MARKS.findall(markdown)
    assert sections, "README.md marks no sections for README.txt"
    with zipfile.ZipFile(package) as z:
        # ASCII, so that a console's type shows it as Notepad does.
        lines = z.read("README.txt").decode("ascii").split("\r\n")
    assert lines[0] == f"veskbackup {cmake_version()}"
    assert lines[1] == cmake_description() and len(lines[1]) <= WIDTH
    text = "\n".join(lines[2:])
    for markup in ("](", "`", "<!--", "|---"):
        assert markup not in text, f"README.txt holds markdown: {markup}"

    # Every word of the sections is there, as often: no line went missing on the way. Comments
    # are notes for the writers of README.md.
    admin = re.sub(r"^<!--.*-->$", "", "\n".join(sections), flags=re.M)
    content = re.sub(r"^ *```.*$", "", re.sub(r"\]\([^)]*\)", "]", admin), flags=re.M)
    missing = words(content) - words(text)
    assert not missing, f"words of README.md missing from README.txt: {sorted(missing)}"

    # The sections' headings, in their order, underlined; the developer's headings are left out.
    underlined = [line for line, rule in zip(lines, lines[1:])
                  if line and rule and set(rule) <= set("=-") and len(rule) == len(line)]
    headings = [h.replace("`", "") for h in re.findall(r"^#+ +(.*)$", admin, re.M)]
    assert underlined == headings


@pytest.mark.parametrize("markdown, shown, refused", [
    ("see [Exit statuses](#exit-statuses).", "see Exit statuses.", None),
    ("see [the licence](LICENSE).", "see the licence.", None),
    ("see [a page](https://example.org/x).", "see a page (https://example.org/x).", None),
    # A file that the zip does not hold, and text that a console would garble: the build stops.
    ("see [reliability](docs/reliability.md).", None, "docs/reliability.md"),
    ("copies `\u03a9mega.txt` too", None, "copies \u03a9mega.txt too"),
], ids=["heading", "file of the zip", "web page", "file not in the zip", "beyond ASCII"])
def test_readme_txt_rules(tmp_path, markdown, shown, refused):
    source = tmp_path / "README.md"
    source.write_text(f"<!-- README.txt: from here -->\n{markdown}\n<!-- README.txt: to here -->\n",
                      encoding="utf-8")
    result = make_readme_txt(source, tmp_path / "README.txt")
    if refused:
        assert result.returncode != 0
        assert refused in result.stderr
    else:
        assert result.returncode == 0, result.stderr
        lines = (tmp_path / "README.txt").read_bytes().split(b"\r\n")
        assert lines[:2] == [f"veskbackup {cmake_version()}".encode(),
                             cmake_description().encode()]
        assert lines[3] == shown.encode()


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
