"""The release: the zip that the package target makes, its text files and checksums, the
version resource of its exe, README.txt's start page, the task's definition and the Event Log's
.reg file."""

import collections
import datetime
import hashlib
import json
import os
import re
import shutil
import subprocess
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

import pytest

from rig import PROGRAM_DIR, RUN_DIR

REPO = Path(__file__).resolve().parents[2]
BUILD_DIR = Path(os.environ.get("VESK_BUILD_DIR", REPO / "build" / "windows"))
RELEASE_FILES = ["LICENSE", "README.txt", "SHA256SUMS", "veskbackup-eventlog.reg",
                 "veskbackup-status.schema.json", "veskbackup-task.xml", "veskbackup.bat",
                 "veskbackup.exe"]
# SHA256SUMS ends its lines in LF; the task's XML is UTF-16.
TEXT_FILES = ["LICENSE", "README.txt", "veskbackup-eventlog.reg", "veskbackup-status.schema.json",
              "veskbackup.bat"]
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


def readme_section(heading: str) -> str:
    """The text of README.md under a heading, up to the next heading of its level or above."""
    markdown = (REPO / "README.md").read_text()
    level = heading.split(" ", 1)[0]
    match = re.search(rf"^{re.escape(heading)}\n(.*?)(?=^#{{1,{len(level)}}} )", markdown,
                      re.M | re.S)
    assert match, f"README.md has no section {heading!r}"
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


LONG_COMMAND = "robocopy " + " ".join(f"C:\\folder{n}" for n in range(8)) + " /e"


@pytest.mark.parametrize("markdown, shown, refused", [
    ("see [Exit statuses](#exit-statuses).", "see Exit statuses.", None),
    ("see [the licence](LICENSE).", "see the licence.", None),
    ("see [a page](https://example.org/x).", "see a page (https://example.org/x).", None),
    (f"```bat\n{LONG_COMMAND}\n```", "    " + LONG_COMMAND, None),
    # What the reader of README.txt could not use: the build stops.
    ("see [reliability](docs/reliability.md).", None, "docs/reliability.md"),
    ("see [Building](#building).", None, "#building"),
    ("copies `\u03a9mega.txt` too", None, "copies \u03a9mega.txt too"),
    (f"run `{LONG_COMMAND}`", None, "must fit 78 columns"),
], ids=["heading", "file of the zip", "web page", "long command", "file not in the zip",
        "heading not in README.txt", "beyond ASCII", "long code in a paragraph"])
def test_readme_txt_rules(tmp_path, markdown, shown, refused):
    source = tmp_path / "README.md"
    source.write_text("<!-- README.txt: from here -->\n## Exit statuses\n\n"
                      f"{markdown}\n<!-- README.txt: to here -->\n\n## Building\n",
                      encoding="utf-8")
    result = make_readme_txt(source, tmp_path / "README.txt")
    if refused:
        assert result.returncode != 0
        assert refused in result.stderr
        assert not (tmp_path / "README.txt").exists()
    else:
        assert result.returncode == 0, result.stderr
        lines = (tmp_path / "README.txt").read_bytes().split(b"\r\n")
        assert lines[:7] == [f"veskbackup {cmake_version()}".encode(),
                             cmake_description().encode(), b"", b"Exit statuses",
                             b"=============", b"", shown.encode()]


def test_readme_txt_opens_with_the_start_whose_every_step_links_its_section(package):
    # Each step of the start is a numbered item of README.md's section, with a link into the
    # reference; the build has checked that every link's heading is in README.txt.
    steps = re.split(r"^\d+\. ", readme_section("## Start here"), flags=re.M)[1:]
    assert len(steps) >= 8
    for step in steps:
        assert re.search(r"\]\(#[a-z0-9-]+\)", step), f"a step of the start links nothing: {step}"
    with zipfile.ZipFile(package) as z:
        lines = z.read("README.txt").decode("ascii").split("\r\n")
    # The start is the first page: its heading at the top, the next heading within 80 lines.
    headings = [n for n, (line, rule) in enumerate(zip(lines, lines[1:]))
                if line and rule == "=" * len(line)]
    assert lines[headings[0]] == "Start here" and headings[0] < 5
    assert headings[1] <= 80, f"the start runs to line {headings[1]} of README.txt"


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


# The Task Scheduler schema (task version 1.2), as far as the task uses it, from the vendor's
# schema pages: each complex type's child elements and their types, in the order of the
# page's sequence where it has one. A type written in capitals names a simple type below; an
# element or type missing here is one the task does not use, refused until added from the pages.
SEQUENCE = {"calendarTrigger"}
COMPLEX = {
    "task": {"RegistrationInfo": "registrationInfo", "Triggers": "triggers",
             "Settings": "settings", "Data": "data", "Principals": "principals",
             "Actions": "actions"},
    "registrationInfo": {"URI": "STRING", "SecurityDescriptor": "STRING", "Source": "STRING",
                         "Date": "DATETIME", "Author": "STRING", "Version": "STRING",
                         "Description": "STRING", "Documentation": "STRING"},
    "triggers": {"CalendarTrigger": "calendarTrigger"},
    # triggerBaseType's sequence, then calendarTriggerType's own.
    "calendarTrigger": {"Enabled": "BOOLEAN", "StartBoundary": "DATETIME",
                        "EndBoundary": "DATETIME", "Repetition": "repetition",
                        "ExecutionTimeLimit": "DURATION", "RandomDelay": "DURATION",
                        "ScheduleByDay": "dailySchedule", "ScheduleByWeek": "weeklySchedule",
                        "ScheduleByMonth": "monthlySchedule",
                        "ScheduleByMonthDayOfWeek": "monthlyDayOfWeekSchedule"},
    "dailySchedule": {"DaysInterval": "DAYS_INTERVAL"},
    "weeklySchedule": {"WeeksInterval": "WEEKS_INTERVAL", "DaysOfWeek": "daysOfWeek"},
    "daysOfWeek": {day: "EMPTY" for day in ("Sunday", "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday")},
    "principals": {"Principal": "principal"},
    "principal": {"UserId": "NONEMPTY", "LogonType": "LOGON_TYPE", "GroupId": "NONEMPTY",
                  "DisplayName": "STRING", "RunLevel": "RUN_LEVEL",
                  "ProcessTokenSidType": "PROCESS_TOKEN_SID_TYPE",
                  "RequiredPrivileges": "requiredPrivileges"},
    "settings": {"AllowStartOnDemand": "BOOLEAN", "RestartOnFailure": "restart",
                 "MultipleInstancesPolicy": "MULTIPLE_INSTANCES_POLICY",
                 "DisallowStartIfOnBatteries": "BOOLEAN", "StopIfGoingOnBatteries": "BOOLEAN",
                 "AllowHardTerminate": "BOOLEAN", "StartWhenAvailable": "BOOLEAN",
                 "NetworkProfileName": "STRING", "RunOnlyIfNetworkAvailable": "BOOLEAN",
                 "WakeToRun": "BOOLEAN", "Enabled": "BOOLEAN", "Hidden": "BOOLEAN",
                 "DeleteExpiredTaskAfter": "DURATION", "IdleSettings": "idleSettings",
                 "NetworkSettings": "networkSettings", "ExecutionTimeLimit": "DURATION",
                 "Priority": "PRIORITY", "RunOnlyIfIdle": "BOOLEAN",
                 "UseUnifiedSchedulingEngine": "BOOLEAN",
                 "DisallowStartOnRemoteAppSession": "BOOLEAN"},
    "actions": {"Exec": "exec"},
    "exec": {"Command": "PATH", "Arguments": "STRING", "WorkingDirectory": "PATH"},
}
REQUIRED = {"task": {"Actions"}, "exec": {"Command"}, "principals": {"Principal"},
            "calendarTrigger": {"StartBoundary"}}
ONE_OF = {"calendarTrigger": {"ScheduleByDay", "ScheduleByWeek", "ScheduleByMonth",
                              "ScheduleByMonthDayOfWeek"}}
ATTRIBUTES = {"task": {"version"}, "calendarTrigger": {"id"}, "principal": {"id"},
              "actions": {"Context"}}
DURATION = re.compile(r"-?P(?=\d|T\d)(\d+Y)?(\d+M)?(\d+D)?(T(?=\d)(\d+H)?(\d+M)?(\d+(\.\d+)?S)?)?")
SIMPLE = {
    "STRING": lambda v: True,
    "NONEMPTY": lambda v: v != "",
    "PATH": lambda v: 0 < len(v) <= 260,
    "BOOLEAN": lambda v: v in ("true", "false"),
    "DATETIME": lambda v: bool(datetime.datetime.fromisoformat(v)),
    "DURATION": lambda v: DURATION.fullmatch(v) is not None,
    "DAYS_INTERVAL": lambda v: v.isdigit() and 1 <= int(v) <= 365,
    "WEEKS_INTERVAL": lambda v: v.isdigit() and 1 <= int(v) <= 52,
    "PRIORITY": lambda v: v.isdigit() and 0 <= int(v) <= 10,
    "EMPTY": lambda v: v == "",
    "LOGON_TYPE": {"S4U", "Password", "InteractiveToken", "InteractiveTokenOrPassword"}.__contains__,
    "RUN_LEVEL": {"LeastPrivilege", "HighestAvailable"}.__contains__,
    "PROCESS_TOKEN_SID_TYPE": {"None", "Unrestricted", "Default"}.__contains__,
    "MULTIPLE_INSTANCES_POLICY": {"Parallel", "Queue", "IgnoreNew", "StopExisting"}.__contains__,
}
TASK_NS = "{http://schemas.microsoft.com/windows/2004/02/mit/task}"


def schema_faults(element, kind="task", path="Task") -> list[str]:
    """What in element does not follow the schema's type kind."""
    if kind in SIMPLE:
        value = (element.text or "").strip()
        return [] if len(element) == 0 and SIMPLE[kind](value) else [f"{path}: {value!r}"]
    if kind not in COMPLEX:
        return [f"{path}: a {kind} element, which this test does not describe yet"]
    faults = [f"{path}: attribute {name}" for name in element.attrib
              if name not in ATTRIBUTES.get(kind, set())]
    if (element.text or "").strip():
        faults.append(f"{path}: text in an element of elements")
    names = []
    for child in element:
        name = child.tag.removeprefix(TASK_NS)
        if not child.tag.startswith(TASK_NS) or name not in COMPLEX[kind]:
            faults.append(f"{path}/{child.tag}: not an element of {kind}")
            continue
        names.append(name)
        faults += schema_faults(child, COMPLEX[kind][name], f"{path}/{name}")
    order = list(COMPLEX[kind])
    if kind in SEQUENCE and names != sorted(names, key=order.index):
        faults.append(f"{path}: {names} not in the order of the schema's sequence")
    if kind != "triggers" and len(names) != len(set(names)):
        faults.append(f"{path}: an element twice in {names}")
    faults += [f"{path}: {name} missing" for name in REQUIRED.get(kind, set()) - set(names)]
    if kind in ONE_OF and len(ONE_OF[kind] & set(names)) != 1:
        faults.append(f"{path}: not one of {sorted(ONE_OF[kind])}")
    return faults


def weekly_variant(task_text: str) -> str:
    """The task as README's Seven generations turns it into a weekly one."""
    daily, weekly = re.findall(r"```xml\n(.*?)```", readme_section("### Seven generations"),
                               re.S)
    assert daily.replace("\n", "\r\n") in task_text
    return task_text.replace(daily.replace("\n", "\r\n"), weekly.replace("\n", "\r\n"))


def test_task_definition_follows_the_schema_and_runs_what_readme_says(package):
    with zipfile.ZipFile(package) as z:
        data = z.read("veskbackup-task.xml")
    # UTF-16 with its byte order mark, in lines that Notepad shows.
    assert data.startswith(b"\xff\xfe")
    text = data.decode("utf-16")
    assert text.count("\n") == text.count("\r\n") and "\r\n<Task " in text
    for variant in (text, weekly_variant(text)):
        root = ElementTree.fromstring(variant.lstrip("\ufeff").encode("utf-16"))
        assert root.tag == TASK_NS + "Task"
        assert re.fullmatch(r"\d+(\.\d+){1,3}", root.get("version"))
        assert schema_faults(root) == []

    root = ElementTree.fromstring(data)
    def value(path):
        found = root.findall("/".join(TASK_NS + name for name in path.split("/")))
        assert len(found) == 1, path
        return found[0].text
    # What the task must do: every night at 02:00, also on batteries and after a night missed,
    # never two runs at once, ended after a limit shorter than a day, with its password.
    for path, expected in [
        ("Triggers/CalendarTrigger/ScheduleByDay/DaysInterval", "1"),
        ("Settings/StartWhenAvailable", "true"),
        ("Settings/DisallowStartIfOnBatteries", "false"),
        ("Settings/StopIfGoingOnBatteries", "false"),
        ("Settings/WakeToRun", "false"),
        ("Settings/MultipleInstancesPolicy", "IgnoreNew"),
        ("Settings/ExecutionTimeLimit", "PT12H"),
        ("Principals/Principal/LogonType", "Password"),
    ]:
        assert value(path) == expected, path
    assert value("Triggers/CalendarTrigger/StartBoundary").endswith("T02:00:00")
    assert root.find(TASK_NS + "Actions").get("Context") == \
        root.find(f"{TASK_NS}Principals/{TASK_NS}Principal").get("id")

    # The action is the command line that README says the task runs, four quoted arguments.
    command, arguments = value("Actions/Exec/Command"), value("Actions/Exec/Arguments")
    said = re.search(r"^The task runs `([^`]*)`", readme_section("## Schedule it"), re.M)
    assert said and f"{command} {arguments}" == said.group(1)
    assert re.fullmatch(r'"[^"]+"( "[^"]+"){3}', arguments)


def test_event_log_source_file_registers_the_exe_and_uninstalling_removes_it(rig, package):
    key = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\veskbackup"
    rig.registry_keys.add((key, ()))
    with zipfile.ZipFile(package) as z:
        rig.path("C:\\veskbackup-eventlog.reg").write_bytes(z.read("veskbackup-eventlog.reg"))
        task = ElementTree.fromstring(z.read("veskbackup-task.xml"))
    rig.session.wine("regedit", "/s", "C:\\veskbackup-eventlog.reg")

    listing = rig.session.wine("reg", "query", key).stdout.decode()
    values = {name: (kind, data) for name, kind, data
              in re.findall(r"^ +(\S+) +(REG_\w+) +(.*?)\s*$", listing, re.M)}
    # The exe beside the batch file that the task runs, in the folder README names.
    folder = task.find(f"{TASK_NS}Actions/{TASK_NS}Exec/{TASK_NS}Command").text.rpartition("\\")[0]
    assert values == {"EventMessageFile": ("REG_EXPAND_SZ", folder + "\\veskbackup.exe"),
                      "TypesSupported": ("REG_DWORD", "0x7")}
    assert f"`{folder}\\veskbackup.exe`" in readme_section("### The Event Log entry")

    uninstall = [line for line in readme_section("## Uninstalling").splitlines()
                 if line.startswith(f'reg delete "{key}"')]
    assert len(uninstall) == 1
    assert rig.run_command(uninstall[0]) == 0
    assert rig.session.wine("reg", "query", key, check=False).returncode != 0
