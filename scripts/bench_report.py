"""The targets, the statistics and the report of scripts/bench (docs/benchmarks.md)."""

import datetime
import os
import platform
import statistics
import subprocess
from pathlib import Path

TARGET_FULL_RATIO = 1.02
TARGET_INCREMENTAL_RATIO = 1.10
TARGET_PRIVATE_MB = 6  # on the sample installation of 10,000 files
TARGET_LARGE_PRIVATE_MB = 32  # on the large tree of 100,000 files
TARGET_NOTICE_MS = 20
WINDOW_S = (5.0, 6.25)
TARGET_PEAK_MB = 10


def median(values):
    return statistics.median(values)


def seconds_of(reports, key="seconds"):
    return [r[key] for r in reports if key in r]


def pair_ratios(numerators, denominators):
    """Ratios of runs made back to back, so that both saw the same load on the machine."""
    return [a["seconds"] / b["seconds"] for a, b in zip(numerators, denominators)]


def machine() -> dict:
    cpu = "unknown"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    memory = 0
    for line in Path("/proc/meminfo").read_text().splitlines():
        if line.startswith("MemTotal:"):
            memory = int(line.split()[1]) // 1024
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return {"cpus": os.cpu_count(), "memory_mb": memory, "cpu": cpu, "wine": wine,
            "kernel": platform.release(),
            "date": datetime.datetime.now().strftime("%Y-%m-%d %H:%M")}


def mb(value: float) -> str:
    return f"{value / 1024 / 1024:.1f} MB"


def secs(values) -> str:
    return f"{median(values):.3f} s" if values else "-"


def verdict(ok: bool) -> str:
    return "met" if ok else "**not met**"


def listing(values) -> str:
    return ", ".join(f"{v:.2f}" for v in values)


def cpu_of(reports) -> list:
    """The CPU time of each measured process's own threads, in seconds."""
    return [(r["kernel"] + r["user"]) / 10_000_000 for r in reports if "kernel" in r]


def folder_heavy_rows(fh: dict) -> list:
    """Items 9a and 9b of the main table."""
    files, folders, _ = fh["tree"]
    return [(item, f"incremental run on the folder-heavy sample ({files} files in {folders} "
             f"folders), {what}", secs(seconds_of(fh[name]["program"])),
             secs(seconds_of(fh[name]["bare"])),
             f"{median(pair_ratios(fh[name]['program'], fh[name]['bare'])):.3f}", "(a figure)", "")
            for item, name, what in (("9a", "unchanged", "nothing changed"),
                                     ("9b", "changed", "1% of the files changed"))]


def folder_heavy_time_rows(fh: dict) -> list:
    """The folder-heavy sample's lines of the table "Where the time goes"."""
    full = fh["full"]
    lines = [f"| folder-heavy, full, into an empty destination (one run) | "
             f"{full['program']['seconds']:.3f} s | {full['bare']['seconds']:.3f} s | "
             f"{full['program']['seconds'] / full['bare']['seconds']:.3f} | - | "
             f"{full['program'].get('after', 0):.3f} s | "
             f"{full['bare'].get('after', 0):.3f} s | {secs(cpu_of([full['program']]))} | | |"]
    for name, what in (("unchanged", "nothing changed"), ("changed", "1% changed")):
        program, bare = seconds_of(fh[name]["program"]), seconds_of(fh[name]["bare"])
        lines.append(
            f"| folder-heavy, incremental, {what} | {secs(program)} | {secs(bare)} | "
            f"{median(pair_ratios(fh[name]['program'], fh[name]['bare'])):.3f} | - | "
            f"{secs(seconds_of(fh[name]['program'], 'after'))} | "
            f"{secs(seconds_of(fh[name]['bare'], 'after'))} | "
            f"{secs(cpu_of(fh[name]['program']))} | {listing(program)} | "
            f"{listing(bare)} |")
    return lines


def report(args, tree, copies, db, info, loads, anomalies=(), large=None,
           folder_heavy=None) -> str:
    files, folders, size = tree
    full = copies["full"]
    ratio = {name: median(pair_ratios(copies[name]["program"], copies[name]["bare"]))
             for name in ("one", "full", "unchanged", "changed")}
    ratio_shell = median(pair_ratios(full["shell"], full["program"]))
    notice, teardown = median(db["notice"]), median(db["teardown"])
    window_ok = all(WINDOW_S[0] <= w <= WINDOW_S[1] for w in db["window"])
    memory_runs = {
        "veskbackup.exe, xcopy mode, the sample installation": full["program"],
        "veskbackup.exe, shell-copy mode, the sample installation": full["shell"],
        "veskbackup.exe, one file and the database stage (item 4)": db["small"],
        **({f"veskbackup.exe, full and incremental runs on {large['files']} files (item 8)":
            large["runs"]} if large else {}),
        **({"veskbackup.exe, the folder-heavy sample (items 9a and 9b)":
            [folder_heavy["full"]["program"]] + folder_heavy["unchanged"]["program"]
            + folder_heavy["changed"]["program"]} if folder_heavy else {}),
        "idle window-system program (boxtool.exe for 1 s)": [db["idle_gui"]],
        "idle console program (the stub client sleeping 1 s)": [db["idle_console"]],
    }
    peak = {k: max(r["peakWorkingSet"] for r in v) for k, v in memory_runs.items()}
    private = {k: max(r["peakPagefile"] for r in v) for k, v in memory_runs.items()}
    idle_keys = [k for k in memory_runs if k.startswith("idle")]
    program_keys = list(memory_runs)[:3]
    # The runs that show no box and use no shell copy: neither loads the window system.
    windowless_keys = [k for k in memory_runs
                       if k.startswith("veskbackup.exe") and "shell-copy" not in k
                       and "(item 8)" not in k]
    peak_program = max(peak[k] for k in windowless_keys)
    private_program = max(private[k] for k in program_keys)
    private_idle = private[idle_keys[1]]
    idle_gui, idle_console = peak[idle_keys[0]], peak[idle_keys[1]]
    times = {name: {kind: seconds_of(reports) for kind, reports in copies[name].items()}
             for name in copies}

    rows = [
        ("1", "full xcopy-mode run into an empty destination", secs(times["full"]["program"]),
         secs(times["full"]["bare"]), f"{ratio['full']:.3f}", f"<= {TARGET_FULL_RATIO}",
         verdict(ratio["full"] <= TARGET_FULL_RATIO)),
        ("2a", "incremental run, nothing changed", secs(times["unchanged"]["program"]),
         secs(times["unchanged"]["bare"]), f"{ratio['unchanged']:.3f}",
         f"<= {TARGET_INCREMENTAL_RATIO}", verdict(ratio["unchanged"] <= TARGET_INCREMENTAL_RATIO)),
        ("2b", "incremental run, 1% of the files changed", secs(times["changed"]["program"]),
         secs(times["changed"]["bare"]), f"{ratio['changed']:.3f}",
         f"<= {TARGET_INCREMENTAL_RATIO}", verdict(ratio["changed"] <= TARGET_INCREMENTAL_RATIO)),
        ("3", "full run in shell-copy mode (against the xcopy-mode run of item 1)",
         secs(times["full"]["shell"]), secs(times["full"]["program"]), f"{ratio_shell:.3f}",
         "(a figure)", ""),
        ("4", "client ends at once: end of the run after the client's last moment",
         f"{notice:.1f} ms", f"{teardown:.1f} ms", "", f"< {TARGET_NOTICE_MS} ms",
         verdict(notice < TARGET_NOTICE_MS)),
        ("5", "client never ends: end of the run after the client's start",
         f"{median(db['window']):.3f} s", "", "", f"{WINDOW_S[0]} to {WINDOW_S[1]} s",
         verdict(window_ok)),
        ("6", "peak working set of veskbackup.exe, largest of its runs without a box or the "
         "shell copy", mb(peak_program), mb(idle_console), "", f"< {TARGET_PEAK_MB} MB",
         verdict(peak_program < TARGET_PEAK_MB * 1024 * 1024)),
        ("7", f"peak private memory of veskbackup.exe on the sample ({files} files)",
         mb(private_program), mb(private_idle), "", f"<= {TARGET_PRIVATE_MB} MB",
         verdict(private_program <= TARGET_PRIVATE_MB * 1024 * 1024)),
    ]
    if large:
        private_large = max(r["peakPagefile"] for r in large["runs"])
        rows.append(
            ("8", f"peak private memory of veskbackup.exe on a tree of {large['files']} files",
             mb(private_large), mb(private_idle), "", f"<= {TARGET_LARGE_PRIVATE_MB} MB",
             verdict(private_large <= TARGET_LARGE_PRIVATE_MB * 1024 * 1024)))
    if folder_heavy:
        rows += folder_heavy_rows(folder_heavy)
    lines = [
        "# Benchmarks",
        "",
        f"Written by `scripts/bench --files {args.files} --mb {args.mb:g} --runs {args.runs} "
        f"--large-files {args.large_files}"
        + (f" --folder-heavy {args.folder_heavy}" if folder_heavy else "") + "`; "
        "run it again rather than editing this file.",
        "",
        f"- Date: {info['date']}",
        f"- Machine: {info['cpus']} CPUs ({info['cpu']}), {info['memory_mb']} MB memory, "
        f"Linux {info['kernel']}, {info['wine']}; load average {loads[0]:.1f} at the start "
        f"and {loads[1]:.1f} at the end (the machine was shared with other work)",
        f"- Sample installation: {files} files in {folders} folders, some of them empty, "
        f"{mb(size)}",
        *([f"- Folder-heavy sample (items 9a and 9b): {folder_heavy['tree'][0]} small files in "
           f"{folder_heavy['tree'][1]} folders up to four levels deep, one file a folder, "
           f"{mb(folder_heavy['tree'][2])}"] if folder_heavy else []),
        f"- Each figure is the median of {args.runs} runs ({2 * args.runs} for the incremental "
        "runs, which are short). The program and what it is compared with run back to back in "
        "turns, and a ratio is the median of the ratios of such pairs.",
        "",
        "| # | What | veskbackup | Compared with | Ratio | Target | Result |",
        "|---|---|---|---|---|---|---|",
    ]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    lines += [
        "",
        "Compared with: items 1 and 2, the bare `cmd /c  xcopy \"SRC\" /e /s /d /y >LISTING`, "
        "as a batch file runs it (the program itself starts xcopy.exe without cmd), started "
        "with its own destination (empty, or filled by its own earlier runs) as current "
        "folder; item 3, the xcopy-mode run of item 1; item 4, the same client started alone, "
        "from its last moment to the end of its process; item 6, an idle console program, "
        "which loads no window system either (the memory table has every kind of run, the "
        "shell-copy mode's too, which loads the shell and with it the window system).",
        "",
        f"Item 5, every run: {listing(db['window'])} s. Item 4, every run: "
        f"{', '.join(f'{v:.1f}' for v in db['notice'])} ms.",
        "",
        "## Where the time goes",
        "",
        "Medians in seconds. \"Own console window\": the bare command started as veskbackup.exe "
        "starts it, with a maximised console window of its own (a program without a console "
        "cannot share one). \"After xcopy\" runs from the last line xcopy wrote to its listing "
        "(the listing file's last-write time) to the end of the process: for the bare command, "
        "xcopy and cmd ending; for veskbackup, xcopy ending, then the program comparing the "
        "copy with the "
        "source, looking again at what xcopy may have changed, writing its last log lines and "
        "ending. \"veskbackup CPU time\": the processor time of veskbackup.exe's own threads "
        "(`GetProcessTimes`, not that of cmd or xcopy), which load from elsewhere disturbs far "
        "less than the elapsed times; Wine counts it in whole 10 ms ticks.",
        "",
        "| Run | veskbackup | bare xcopy | Ratio | bare xcopy, own console window "
        "| veskbackup after xcopy | bare after xcopy | veskbackup CPU time "
        "| veskbackup, every run | bare, every run |",
        "|---|---|---|---|---|---|---|---|---|---|",
    ]
    for name, what in (("one", "installation of one file (the fixed cost of a run)"),
                       ("full", "full, into an empty destination"),
                       ("unchanged", "incremental, nothing changed"),
                       ("changed", "incremental, 1% changed")):
        t = times[name]
        after = {kind: seconds_of(copies[name][kind], "after") for kind in ("program", "bare")}
        lines.append(f"| {what} | {secs(t['program'])} | {secs(t['bare'])} | "
                     f"{ratio[name]:.3f} | {secs(t.get('console', []))} | "
                     f"{secs(after['program'])} | {secs(after['bare'])} | "
                     f"{secs(cpu_of(copies[name]['program']))} | "
                     f"{listing(t['program'])} | {listing(t['bare'])} |")
    lines += [
        f"| shell-copy mode, full | {secs(times['full']['shell'])} | | | | | | "
        f"{secs(cpu_of(full['shell']))} | {listing(times['full']['shell'])} | |",
        *(folder_heavy_time_rows(folder_heavy) if folder_heavy else []),
        "",
        "## Memory",
        "",
        "Largest readings over all runs of each kind.",
        "",
        "| Process | Peak working set | Peak private memory |",
        "|---|---|---|",
    ]
    lines += [f"| {k} | {mb(peak[k])} | {mb(private[k])} |" for k in memory_runs]
    lines += [
        "",
        "## How it is measured",
        "",
        "- Every command runs under `peakmem.exe` (tests/tools/peakmem.cpp), which starts the "
        "exact command line with `CreateProcessA` and takes the process's creation and exit "
        "times from `GetProcessTimes`; Wine's start-up from Linux is in no figure. "
        "veskbackup.exe is started directly (not through its batch file) with a log path of its "
        "own and the notify flag `N`.",
        "- Items 1 and 2: the program's time holds all it does besides xcopy: the run log, "
        "path.conf, creating the destination, walking the source once (for paths too long for "
        "xcopy and for the check), starting xcopy, looking at the backup entry by entry while "
        "xcopy runs, and comparing the backup with the source afterwards. The bare xcopy "
        "writes its listing to a file as the program's does. One untimed xcopy warms the file "
        "cache first, and `sync` runs before every measurement. For item 2b, 1% of the files, "
        "a new choice each time, get new contents and a later last-write time before each pair "
        "of runs.",
        "- Item 4: the stub client writes the system time (`GetSystemTimePreciseAsFileTime`) "
        "to ends.txt just before it returns; the run's end is veskbackup.exe's exit time from "
        "`GetProcessTimes`, on the same clock. The figure also holds the client's own exit (the "
        "C runtime and Wine ending its process), shown alone in the \"Compared with\" column. "
        "The run log's last line cannot serve: its time stamps have whole seconds.",
        "- Item 5: the stub client sleeps 120 s; the figure is veskbackup.exe's exit time less "
        "the client process's creation time (`GetProcessTimes`), which the client records in "
        "args.json. The program stops waiting at the first 250 ms wait that ends once the wall "
        "clock shows 6 whole seconds since it started the client, that is 5.25 to 6 s after "
        "the start.",
        "- Item 6: `peakmem.exe` reads `GetProcessMemoryInfo` every 5 ms while the process runs "
        "and keeps the largest `PeakWorkingSetSize` and `PeakPagefileUsage`; under Wine the "
        "counters can be read only while the process lives. Wine takes them from the Linux "
        "process: the working set is its peak resident size (VmHWM), which also counts Wine's "
        "own libraries and the system DLLs mapped into it, and the private memory its "
        "resident anonymous memory (RssAnon). The idle programs show what any program of this "
        "build takes under Wine before doing anything.",
    ]
    notes = []
    gap = {name: median(times[name]["program"]) - median(times[name]["bare"])
           for name in ("one", "full", "unchanged", "changed")}
    after_gap = {name: median(seconds_of(copies[name]["program"], "after"))
                 - median(seconds_of(copies[name]["bare"], "after"))
                 for name in ("one", "full", "unchanged", "changed")}
    console_gap = {name: median(times[name]["console"]) - median(times[name]["bare"])
                   for name in ("one", "unchanged")}
    kinds = ("full", "unchanged", "changed")
    names = {"full": "full", "unchanged": "nothing changed", "changed": "1% changed"}
    target = {"full": TARGET_FULL_RATIO, "unchanged": TARGET_INCREMENTAL_RATIO,
              "changed": TARGET_INCREMENTAL_RATIO}
    missed = [name for name in kinds if ratio[name] > target[name]]
    if missed:
        bare_unchanged = median(times["unchanged"]["bare"])
        notes.append(
            ("- Items " if len(missed) > 1 else "- Item ") + ", ".join({"full": "1", "unchanged": "2a", "changed": "2b"}[name]
                                   for name in missed)
            + ": the program takes longer than the bare command by "
            + ", ".join(f"{gap[name]:+.2f} s ({names[name]})" for name in kinds)
            + ". What it does besides xcopy does not depend on how much xcopy copies, so it "
            "weighs most in the incremental runs. In parts:")
        notes.append(
            "  1. After xcopy's end the program compares the backup, looked at entry by entry on a "
            "second thread while xcopy ran, with the source as it listed it before, looks again at what xcopy "
            "may have changed since, and copies again what differs: its time after xcopy's last "
            "output exceeds the bare command's by "
            + ", ".join(f"{after_gap[name]:+.2f} s ({names[name]})" for name in kinds) + ".")
        notes.append(
            "  2. The console window that xcopy gets because veskbackup.exe, a program without a "
            "console, starts it with the show-window code 3 (maximised): the bare command "
            f"started that way took {console_gap['unchanged']:+.2f} s (nothing changed) and "
            f"{console_gap['one']:+.2f} s (one file) against the bare command"
            + (", within the noise here." if abs(console_gap["unchanged"]) < 0.15 else "."))
        notes.append(
            f"  3. Starting the program itself, its log and path.conf: a run on one file takes "
            f"{gap['one']:+.2f} s against the bare command.")
        rest = gap["unchanged"] - after_gap["unchanged"] - gap["one"]
        notes.append(
            f"  4. The rest, {rest:+.2f} s with nothing changed, lies before xcopy's end: the "
            "walk over the source before xcopy starts (for paths too long for xcopy, and as the "
            "listing that the check compares with; its listings ask Wine's server, which xcopy "
            "waits on too), and the look at the backup while xcopy runs, which shares the "
            "machine's two cores with xcopy.")
        spread_bare = times["full"]["bare"]
        if max(spread_bare) > 1.5 * min(spread_bare):
            notes.append(
                f"- The full runs spread widely ({min(spread_bare):.1f} to "
                f"{max(spread_bare):.1f} s for the bare xcopy alone) because the machine was "
                "busy with other work; their ratio is correspondingly uncertain.")
    if notice >= TARGET_NOTICE_MS:
        notes.append(f"- Item 4: {notice:.1f} ms, of which the client's own exit takes "
                     f"{teardown:.1f} ms.")
    if not window_ok:
        notes.append("- Item 5: outside the window in "
                     + ", ".join(f"{w:.3f} s" for w in db["window"]
                                 if not WINDOW_S[0] <= w <= WINDOW_S[1]) + ".")
    if peak_program >= TARGET_PEAK_MB * 1024 * 1024:
        program_private = max(private[k] for k in program_keys)
        notes.append(
            f"- Item 6: under Wine the peak working set is {mb(peak_program)}, against "
            f"{mb(idle_console)} for an idle console program and {mb(idle_gui)} for an idle "
            "program that uses the window system: Wine counts the Linux process's resident "
            "size, Wine's own libraries and the mapped system DLLs included. The program's "
            f"private memory is at most {mb(program_private)} "
            f"({mb(program_private - private_idle)} above the idle console "
            "program)" + (", the same for the sample installation as for one file" if
                          abs(private[program_keys[0]] - private[program_keys[2]]) < 512 * 1024
                          else "")
            + ". Whether the working set stays under 10 MB on Windows was not measured.")
    if notes:
        lines += ["", "## Targets not met", ""] + notes
    if anomalies:
        lines += ["", "## Runs that ended otherwise", "",
                  "Each was run once more, and that second run's figures are in the tables "
                  "above. The run log's lines from the copy on, and the end of xcopy's listing "
                  "as it stood 3 s after the end:", ""]
        for a in anomalies:
            copy_lines = a["log"]
            starts = [n for n, line in enumerate(copy_lines) if "Start copying" in line]
            copy_lines = copy_lines[starts[-1]:] if starts else copy_lines[-6:]
            lines.append(f"- {a['what']}: exit status {a['status']} instead of {a['expected']} "
                         f"after {a['seconds']:.2f} s"
                         + (f"; the listing was last written {a['listing_after_end']:+.2f} s "
                            "after the program's end" if "listing_after_end" in a else ""))
            lines += ["", "  ```"] + [f"  {line}" for line in copy_lines]
            if a.get("listing"):
                lines += ["  -- listing:"] + [f"  {line}" for line in a["listing"][-4:]]
            lines += ["  ```"]
    return "\n".join(lines) + "\n"


# What follows this line in the file is carried over when the file is written again: findings
# that came from measurements outside scripts/bench (instrumented builds, traces).
KEPT_MARK = "<!-- scripts/bench keeps what follows when it writes this file again -->"


def write(args, text: str):
    print()
    print(text, end="")
    if args.out != "-":
        out = Path(args.out)
        out.parent.mkdir(parents=True, exist_ok=True)
        earlier = out.read_text() if out.is_file() else ""
        if KEPT_MARK in earlier:
            text += "\n" + earlier[earlier.index(KEPT_MARK):]
        out.write_text(text)
        print(f"\nwritten to {args.out}", flush=True)
