#!/usr/bin/env python3
"""Turns the measurements of bench/run into bench/RESULTS.md and the launch-scale plot."""
import json
import pathlib
import statistics
import subprocess
import sys
import time


def median(values):
    return statistics.median(values)


def ms(seconds):
    return f"{seconds * 1e3:,.1f} ms" if seconds >= 0.01 else f"{seconds * 1e3:.2f} ms"


def mb(kb):
    return f"{kb / 1024:,.1f} MB"


def yes(met):
    return "yes" if met else "**no**"


def micro_medians(micro):
    """Median real time of each Google Benchmark, in its own unit, and that unit."""
    medians = {}
    for bench in micro["benchmarks"]:
        if bench.get("aggregate_name") == "median":
            medians[bench["run_name"]] = (bench["real_time"], bench["time_unit"])
    return medians


def rows(whole, micro):
    table = []

    wait = whole["wait"]
    cpu = [r["cpu_s"] for r in wait["program"]]
    base_cpu = [r["cpu_s"] for r in wait["baseline"]]
    table.append(("1", "CPU of the wait: the program's own user + system time, Restart \"Y\", "
                  "empty public folder", ms(median(cpu)),
                  f"{ms(median(base_cpu))} (C loop polling the clock)",
                  f"{median(cpu) / median(base_cpu):.5f}", "< 10 ms", yes(max(cpu) < 0.010)))

    late = [r["late_ms"] for r in wait["program"]]
    base_late = [r["late_ms"] for r in wait["baseline"]]
    # The timestamps are taken by two separate sc processes once they have started, so the gap
    # carries the difference of their start-up times; the polling loop, which is never late,
    # shows how large that is.
    resolution = max(0.5, max(abs(x) for x in base_late))
    table.append(("2", "Start accuracy: start command after the stop command, beyond 6 s "
                  "(fake sc timestamps)",
                  f"{median(late):+.2f} ms ({min(late):+.2f} to {max(late):+.2f})",
                  f"{median(base_late):+.2f} ms ({min(base_late):+.2f} to {max(base_late):+.2f})"
                  " (polling loop)",
                  "—", "0 to 20 ms late, never early",
                  yes(max(late) < 20 and min(late) > -resolution)))

    launch = whole["launch"]
    per_folder = {}
    for size, results in launch.items():
        wall = median([r["wall_s"] for r in results["program"]])
        base = median([r["wall_s"] for r in results["baseline"]])
        per_folder[int(size)] = (wall / int(size), base / int(size))
        table.append((f"3", f"Wall time, start to exit, Restart \"N\", {int(size):,} subfolders",
                      ms(wall), f"{ms(base)} (C loop of the same deletions)",
                      f"{wall / base:.2f}", "≤ 1.2 × baseline", yes(wall / base <= 1.2)))
    sizes = sorted(per_folder)
    growth = per_folder[sizes[-1]][0] / per_folder[sizes[-2]][0]
    base_growth = per_folder[sizes[-1]][1] / per_folder[sizes[-2]][1]
    table.append(("3", f"Growth: time per subfolder at {sizes[-2]:,} → {sizes[-1]:,}",
                  f"{per_folder[sizes[-2]][0] * 1e3:.3f} → {per_folder[sizes[-1]][0] * 1e3:.3f} ms"
                  f" (× {growth:.2f})",
                  f"{per_folder[sizes[-2]][1] * 1e3:.3f} → {per_folder[sizes[-1]][1] * 1e3:.3f} ms"
                  f" (× {base_growth:.2f})",
                  f"{growth / base_growth:.2f}", "grows as the baseline does (ratio 0.8 to 1.25)",
                  yes(0.8 <= growth / base_growth <= 1.25)))

    removal = whole.get("removal")
    if removal:
        gone = median([r["gone_s"] for r in removal["program"]])
        base_gone = median([r["gone_s"] for r in removal["baseline"]])
        table.append(("6", f"Removal: start until {removal['size']:,} subfolders of "
                      f"{removal['files']} files are gone and every process has ended",
                      ms(gone), f"{ms(base_gone)} (C loop starting rm -rf per subfolder)",
                      f"{gone / base_gone:.2f}", "≤ 1.0 × baseline", yes(gone <= base_gone)))

    memory = whole["memory"]
    rss = {int(s): median([r["maxrss_kb"] for r in v["program"]]) for s, v in memory.items()}
    base_rss = {int(s): median([r["maxrss_kb"] for r in v["baseline"]]) for s, v in memory.items()}
    for size in sorted(rss):
        table.append(("4", f"Peak resident size, listing and selection, {size:,} subfolders",
                      mb(rss[size]), f"{mb(base_rss[size])} (C listing keeping the names)",
                      f"{rss[size] / base_rss[size]:.2f}", "—", "—"))
    small, large = min(rss), max(rss)
    per = (rss[large] - rss[small]) * 1024 / (large - small)
    base_per = (base_rss[large] - base_rss[small]) * 1024 / (large - small)
    table.append(("4", f"Growth per subfolder, {small:,} → {large:,}", f"{per:.0f} B",
                  f"{base_per:.0f} B", f"{per / base_per:.2f}" if base_per > 0 else "—",
                  "< 300 B", yes(per < 300)))

    medians = micro_medians(micro)
    settings, unit = medians["BM_SettingsFileReadTwoWriteOne"]
    getline, getline_unit = medians["BM_SettingsFileGetlineOnce"]
    table.append(("5", "Settings file of 1 MB with 6,618 sections: both keys read and one "
                  "written (fresh backend, file replaced and synced)", f"{settings:.2f} {unit}",
                  f"{getline:.2f} {getline_unit} (one std::getline pass)",
                  f"{settings / getline:.1f}", "report the ratio", "—"))

    win32 = whole.get("win32", {})
    if "skipped" in win32:
        table.append(("W", "Windows build under Wine (rows 1 and 3)", "not measured",
                      f"hook waits for build/win32/sweepmark.exe ({win32['skipped']})",
                      "—", "—", "—"))
    else:
        cpu = median([r["cpu_s"] for r in win32["wait"]])
        cpu_no_wait = median([r["cpu_s"] for r in win32["no_wait"]])
        wall = [r["wall_s"] for r in win32["launch_100"]]
        table.append(("W1", "Windows build under Wine: CPU of the wait, a run with Restart "
                      "\"Y\" (empty folder; stop and start launched) less one with Restart \"N\" "
                      "(two subfolders deleted; as many launches); the program's process, the "
                      "wine server not counted", f"{ms(cpu - cpu_no_wait)} ({ms(cpu)} - "
                      f"{ms(cpu_no_wait)})",
                      f"{ms(cpu_no_wait)} (the run with Restart \"N\")", "—", "< 10 ms",
                      yes(cpu - cpu_no_wait < 0.010)))
        table.append(("W3", "Windows build under Wine: wall time, Restart \"N\", 100 subfolders "
                      "(cmd.exe deletions)", ms(median(wall)), "—", "—", "—", "—"))
    return table, per_folder


MICRO = [
    ("BM_SettingsParseBothKeys", "Settings text, 1 MB: both keys found (text copied in first)",
     "BM_SettingsGetlineBaseline"),
    ("BM_SettingsWriteOneKey", "Settings text, 1 MB: one key replaced", None),
    ("BM_DeletionCommand", "Windows deletion command built for a name with & % ( )", None),
    ("BM_ServiceCommandSplit", "Service command taken apart and split into arguments", None),
    ("BM_PurgeSelection100k/0", "Purge selection over 100,003 entries, POSIX rules", None),
    ("BM_PurgeSelection100k/1", "Purge selection over 100,003 entries, Windows rules (commands "
     "built)", None),
]


def micro_rows(micro):
    medians = micro_medians(micro)
    table = []
    for name, what, baseline in MICRO:
        time_value, unit = medians[name]
        base = "—"
        ratio = "—"
        if baseline:
            base_value, base_unit = medians[baseline]
            base = f"{base_value:,.1f} {base_unit} (std::getline over the text)"
            ratio = f"{time_value / base_value:.2f}"
        table.append(("µ", what, f"{time_value:,.1f} {unit}", base, ratio, "—", "—"))
    return table


def plot(per_folder, whole, png):
    data = png.with_suffix(".dat")
    lines = ["# subfolders  sweepmark_ms  baseline_ms"]
    for size, results in sorted(whole["launch"].items(), key=lambda item: int(item[0])):
        lines.append(f"{size} {median([r['wall_s'] for r in results['program']]) * 1e3:.3f} "
                     f"{median([r['wall_s'] for r in results['baseline']]) * 1e3:.3f}")
    data.write_text("\n".join(lines) + "\n")
    script = f"""
set terminal pngcairo size 900,560 font "sans,11"
set output "{png}"
set title "Launch cost: wall time from start to exit, Restart N (median of {whole['runs']} runs)"
set xlabel "subfolders in the public folder"
set ylabel "wall time (ms)"
set logscale xy
set grid
set key top left
set xrange [70:14000]
set xtics ("100" 100, "1,000" 1000, "10,000" 10000)
plot "{data}" using 1:2 with linespoints lw 2 pt 7 title "sweepmark", \\
     "{data}" using 1:3 with linespoints lw 2 pt 5 dt 2 title "C loop of the same deletions"
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)
    data.unlink()


def main():
    whole_path, micro_path, results_path, png_path = map(pathlib.Path, sys.argv[1:5])
    whole = json.loads(whole_path.read_text())
    micro = json.loads(micro_path.read_text())
    table, per_folder = rows(whole, micro)
    table += micro_rows(micro)
    plot(per_folder, whole, png_path)

    m = whole["machine"]
    out = [
        "# Benchmark results",
        "",
        f"Written by `bench/run` on {time.strftime('%Y-%m-%d %H:%M %Z')}. Medians of "
        f"{whole['runs']} runs (the memory rows: 3; the polling baseline: "
        f"{len(whole['wait']['baseline'])}); Google Benchmark rows: median of 5 repetitions.",
        "",
        f"Machine: {m['cpu']}, {m['cpus']} cores, {m['memory_gb']} GB, {m['os']}, Linux "
        f"{m['kernel']}; {m['compiler']}, {m['build_type']} build; folders on {m['file_system']}. "
        f"Load average before and after: {m['load_before'][0]:.2f} and {m['load_after'][0]:.2f} "
        "(the machine is shared; other work running at the same time shows in the spread).",
        "",
        "| # | figure | median | baseline | ratio | target | met? |",
        "|---|---|---|---|---|---|---|",
    ]
    out += ["| " + " | ".join(row) + " |" for row in table]
    missed = [row for row in table if row[6] == "**no**"]
    out += [
        "",
        f"![Launch cost against the number of subfolders]({png_path.name})",
        "",
        "## How the figures are taken",
        "",
        "- Rows 1 and 2 come from the same runs: `Sweepmark.ini` with `Restart=Y` and an empty "
        "public folder, a fake `sc` (a static C program) first on `PATH` that appends its "
        "`CLOCK_MONOTONIC` start time. Row 1 is the program's own CPU time from "
        "`/proc/<pid>/schedstat`, read while it is a zombie, so the `sc` processes it started "
        "and reaped are not counted; its baseline polls the clock through the six seconds, as "
        "a literal reading of the wait would. Row 2 is the gap between the two `sc` timestamps "
        "minus 6 s. Each timestamp is taken by a fresh process once it runs, so the gap also "
        "holds the difference between the two start-ups (a few tenths of a millisecond, either "
        "way); the polling baseline, which launches the start command the instant the six "
        "seconds are up, shows that resolution, and a run counts as early only beyond it. That "
        "the start command is never launched before 600 hundredths have passed on the monotonic "
        "clock is tested exactly, on an injected clock, by `tests/cleaning_run_test.cpp`.",
        "- Row 3: wall time from starting the program to its exit, `Restart=N`; before each run "
        "the public folder is filled again, and after each run every deletion is waited for "
        "(the benchmark is their reaper) and the folder checked to hold only `ASSETS`. The "
        "baseline (`baseline_spawn.c`) lists the folder and starts `/bin/rm -rf "
        "--one-file-system -- NAME` inside it with `posix_spawn` in a plain loop, the bare "
        "spawning of one deletion per subfolder. The program forks its own remover per "
        "subfolder instead. The two alternate run by run.",
        "- Row 6: as row 3, with 10 files in every subfolder, timed from the start until every "
        "process has ended (the benchmark is their reaper) and the folder holds only `ASSETS`; "
        "the baseline is the `rm -rf` loop of row 3.",
        "- Row 4: peak resident size (`ru_maxrss`) of `sweepmark_no_launch`, the program on the "
        "real backend with both launch operations replaced by no-ops (a benchmark-only build; "
        "the shipped program has no such switch), started by a small static runner so that the "
        "runner's own memory does not count. Its baseline lists the folder and keeps every "
        "name. The growth row divides the difference of the peaks by the difference in "
        "subfolders.",
        "- Row 5 and the µ rows are Google Benchmark (`bench/micro_bench.cpp`). Row 5 uses the "
        "real POSIX backend on a file in the scratch folder: a fresh backend per iteration (as "
        "each run of the program starts cold), both keys read, one written; the write replaces "
        "the file through a temporary file and `fsync`. The baseline reads the file once with "
        "`std::getline`. The Debian package of Google Benchmark reports itself as a debug "
        "build; that concerns its own timing loop, not the code measured.",
        "",
        "## Targets missed in this run",
        "",
    ]
    if missed:
        out += [f"- Row {row[0]}, {row[1]}: {row[2]} against {row[3]} (target {row[5]})."
                for row in missed]
        out += ["", "On a shared machine a single slow run moves a median of few runs; run "
                "`RUNS=9 bench/run` on an idle machine before reading a miss as a fault."]
    else:
        out += ["None."]
    out.append("")
    results_path.write_text("\n".join(out))


if __name__ == "__main__":
    main()
