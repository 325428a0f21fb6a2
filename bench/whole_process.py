#!/usr/bin/env python3
"""Whole-process measurements of the program against their baselines, written as JSON.

Called by bench/run. Every run starts a process and waits for it, and for every process it left
behind (this script makes itself their reaper), before the next run starts. Figures:

1. CPU of the wait: the program's own CPU time (user + system, from /proc/<pid>/schedstat read
   while it is a zombie, so the processes it started are not counted) on a run with Restart "Y" and
   an empty public folder, against a C loop that polls the clock through the same six seconds.
2. Start accuracy: from the fake sc's timestamps, how long after six seconds the start command
   followed the stop command; the polling loop shows what the timestamps themselves can resolve.
3. Launch cost and scale: wall time from start to exit with Restart "N" and N subfolders, against
   a C loop that starts the same deletions.
4. Memory: peak resident size (ru_maxrss, through a small static runner) of the program with
   launching replaced by a no-op, at N subfolders, against a C program that lists the folder and
   keeps every name.
5. (From Google Benchmark, see micro_bench.cpp.)
6. Removal: time from start until 10,000 subfolders of 10 files each are gone and every process
   has ended, the program's own remover against the C loop that starts `rm -rf` per subfolder.
A hook measures the Windows build under Wine when build/win32/sweepmark.exe exists.
"""
import argparse
import ctypes
import json
import os
import pathlib
import platform
import shutil
import statistics
import subprocess
import time

PR_SET_CHILD_SUBREAPER = 36
SIX_SECONDS_NS = 6_000_000_000


def become_reaper():
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


def reap_all():
    while True:
        try:
            os.waitpid(-1, 0)
        except ChildProcessError:
            return
        except InterruptedError:
            continue


def run(argv, cwd, env, reap=True):
    """Runs one process; returns its wall time, own CPU, CPU with reaped children, peak RSS."""
    start = time.monotonic()
    child = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL)
    os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
    wall = time.monotonic() - start
    with open(f"/proc/{child.pid}/schedstat") as stats:
        own_cpu = int(stats.read().split()[0]) / 1e9
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if reap:
        reap_all()
    return {
        "wall_s": wall,
        "cpu_s": own_cpu,
        "cpu_with_children_s": usage.ru_utime + usage.ru_stime,
        "maxrss_kb": usage.ru_maxrss,
        "exit": child.returncode,
    }


def write_settings(folder, public_path, restart):
    text = f"[Q9Actions]\r\nPublicPath={public_path}\r\nRestart={restart}\r\n"
    (folder / "Sweepmark.ini").write_bytes(text.encode())


def subfolder_name(i):
    return f"session-{i:06d}"


def fill(folder, count, start=0):
    folder.mkdir(exist_ok=True)
    (folder / "ASSETS").mkdir(exist_ok=True)
    for i in range(start, count):
        os.mkdir(folder / subfolder_name(i))


def sc_gap_ns(log):
    stamps = {}
    for line in log.read_text().splitlines():
        stamp, verb, *_ = line.split(" ")
        stamps[verb] = int(stamp)
    return stamps["start"] - stamps["stop"]


def median(values):
    return statistics.median(values)


def wait_rows(build, scratch, env, runs, baseline_runs):
    work = scratch / "wait"
    pub = work / "pub"
    pub.mkdir(parents=True)
    write_settings(work, pub, "Y")
    log = scratch / "sc.log"
    env = dict(env, SWEEPMARK_SC_LOG=str(log))

    def measure(argv, count):
        results = []
        for _ in range(count):
            log.unlink(missing_ok=True)
            result = run(argv, work, env)
            result["late_ms"] = (sc_gap_ns(log) - SIX_SECONDS_NS) / 1e6
            results.append(result)
            print(f"  wait {pathlib.Path(argv[0]).name}: cpu {result['cpu_s'] * 1e3:.2f} ms, "
                  f"late {result['late_ms']:+.3f} ms", flush=True)
        return results

    program = measure([str(build / "sweepmark")], runs)
    baseline = measure([str(build / "bench" / "baseline_wait")], baseline_runs)
    return {"program": program, "baseline": baseline}


def launch_rows(build, scratch, env, sizes, runs):
    work = scratch / "launch"
    pub = work / "pub"
    work.mkdir()
    write_settings(work, pub, "N")
    rows = {}
    for size in sizes:
        program, baseline = [], []
        for i in range(runs):
            # Alternate which goes first, so that neither always meets a warmer machine.
            order = [("program", program), ("baseline", baseline)]
            for kind, results in order if i % 2 == 0 else reversed(order):
                fill(pub, size)
                argv = ([str(build / "sweepmark")] if kind == "program" else
                        [str(build / "bench" / "baseline_spawn"), str(pub)])
                result = run(argv, work, env)
                left = sorted(os.listdir(pub))
                if left != ["ASSETS"] or result["exit"] != 0:
                    raise RuntimeError(f"{kind} at {size}: exit {result['exit']}, "
                                       f"{len(left)} entries left")
                results.append(result)
                print(f"  launch {kind} {size}: {result['wall_s'] * 1e3:.1f} ms", flush=True)
        rows[str(size)] = {"program": program, "baseline": baseline}
    return rows


def fill_with_files(folder, count, files):
    fill(folder, count)
    for i in range(count):
        sub = folder / subfolder_name(i)
        for j in range(files):
            with open(sub / f"file-{j}", "wb") as out:
                out.write(b"x")


def removal_rows(build, scratch, env, size, files, runs):
    work = scratch / "removal"
    pub = work / "pub"
    work.mkdir()
    write_settings(work, pub, "N")
    program, baseline = [], []
    for i in range(runs):
        order = [("program", program), ("baseline", baseline)]
        for kind, results in order if i % 2 == 0 else reversed(order):
            fill_with_files(pub, size, files)
            os.sync()  # Neither run pays for writing back what the fill left dirty.
            argv = ([str(build / "sweepmark")] if kind == "program" else
                    [str(build / "bench" / "baseline_spawn"), str(pub)])
            start = time.monotonic()
            result = run(argv, work, env)  # Returns once every process it started has ended.
            result["gone_s"] = time.monotonic() - start
            left = sorted(os.listdir(pub))
            if left != ["ASSETS"] or result["exit"] != 0:
                raise RuntimeError(f"removal {kind}: exit {result['exit']}, "
                                   f"{len(left)} entries left")
            results.append(result)
            print(f"  removal {kind} {size}x{files}: gone after {result['gone_s'] * 1e3:.1f} ms "
                  f"(program exit after {result['wall_s'] * 1e3:.1f} ms)", flush=True)
    return {"size": size, "files": files, "program": program, "baseline": baseline}


def peak_rss_kb(build, argv, cwd, env):
    """Peak resident size of one run, forked from the small static runner (see peak_rss.c)."""
    done = subprocess.run([str(build / "bench" / "peak_rss")] + argv, cwd=cwd, env=env,
                          stdin=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    reap_all()
    return {"maxrss_kb": int(done.stderr.splitlines()[-1]), "exit": done.returncode}


def memory_rows(build, scratch, env, sizes, runs):
    work = scratch / "memory"
    pub = work / "pub"
    work.mkdir()
    write_settings(work, pub, "N")
    rows = {}
    made = 0
    for size in sizes:
        fill(pub, size, made)  # The folder only grows: nothing is deleted here.
        made = size
        program = [peak_rss_kb(build, [str(build / "bench" / "sweepmark_no_launch")], work, env)
                   for _ in range(runs)]
        baseline = [peak_rss_kb(build, [str(build / "bench" / "baseline_list"), str(pub)], work,
                                env) for _ in range(runs)]
        for result in program:
            if result["exit"] != 0:
                raise RuntimeError(f"sweepmark_no_launch at {size}: exit {result['exit']}")
        print(f"  memory {size}: {median([r['maxrss_kb'] for r in program])} KB, "
              f"baseline {median([r['maxrss_kb'] for r in baseline])} KB", flush=True)
        rows[str(size)] = {"program": program, "baseline": baseline}
    shutil.rmtree(pub)
    return rows


def windows_rows(root, scratch, env, runs):
    """Hook for the Windows build: runs only when build/win32/sweepmark.exe exists and Wine is
    installed, in a throwaway Wine prefix of its own (scripts/wine-prefix). Measures the CPU of
    the wait as the difference between runs with Restart "Y" on an empty folder and Restart "N"
    with two subfolders to delete, each launching two processes (own CPU
    of the process Wine runs the program in, the wine server not counted; Wine's start-up costs
    both the same), and the wall time of a run with Restart "N" and 100 subfolders, whose
    deletions are cmd.exe processes under Wine."""
    exe = root / "build" / "win32" / "sweepmark.exe"
    wine = shutil.which("wine")
    if not exe.exists() or wine is None:
        return {"skipped": "no build/win32/sweepmark.exe" if not exe.exists() else "no wine"}
    state = scratch / "wine-prefix.state"
    prefix_script = root / "scripts" / "wine-prefix"
    subprocess.run([prefix_script, "start", state], check=True, stdout=subprocess.DEVNULL)
    try:
        env = dict(env, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                   WINEPREFIX=state.read_text().strip())
        work = scratch / "win32"
        pub = work / "pub"
        pub.mkdir(parents=True)
        windows_pub = "Z:" + str(pub).replace("/", "\\")
        subprocess.run([wine, "cmd.exe", "/c", "exit"], cwd=work, env=env, check=False)  # warm up
        # Wine runs its own sc.exe against its own service manager: harmless, and not timed here.
        # The run without the wait deletes two subfolders, so that it launches as many processes
        # as the run with the wait (stop and start): under Wine each launch costs the launching
        # process several milliseconds. The two alternate, so that drift in Wine's own start-up
        # costs both the same.
        wait, no_wait = [], []
        for _ in range(runs):
            fill(pub, 0)
            write_settings(work, windows_pub, "Y")
            wait.append(run([wine, str(exe)], work, env, reap=False))
            fill(pub, 2)
            write_settings(work, windows_pub, "N")
            no_wait.append(run([wine, str(exe)], work, env, reap=False))
            deadline = time.monotonic() + 60
            while sorted(os.listdir(pub)) != ["ASSETS"] and time.monotonic() < deadline:
                time.sleep(0.1)
        launch = []
        for _ in range(runs):
            fill(pub, 100)
            launch.append(run([wine, str(exe)], work, env, reap=False))
            deadline = time.monotonic() + 300
            while sorted(os.listdir(pub)) != ["ASSETS"] and time.monotonic() < deadline:
                time.sleep(0.2)
        return {"wait": wait, "no_wait": no_wait, "launch_100": launch}
    finally:
        subprocess.run([prefix_script, "stop", state], check=False, stdout=subprocess.DEVNULL)


def machine(scratch, build):
    info = {"python": platform.python_version(), "kernel": platform.release(),
            "cpus": os.cpu_count()}
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                info["cpu"] = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as meminfo:
        info["memory_gb"] = round(int(meminfo.readline().split()[1]) / 1024 / 1024, 1)
    try:
        info["os"] = "Debian " + pathlib.Path("/etc/debian_version").read_text().strip()
    except OSError:
        info["os"] = platform.platform()
    info["file_system"] = subprocess.run(["findmnt", "-no", "FSTYPE", "-T", str(scratch)],
                                         capture_output=True, text=True).stdout.strip()
    cache = (build / "CMakeCache.txt").read_text().splitlines()
    compiler = next(line.split("=", 1)[1] for line in cache
                    if line.startswith("CMAKE_CXX_COMPILER:"))
    info["compiler"] = subprocess.run([compiler, "--version"], capture_output=True,
                                      text=True).stdout.splitlines()[0]
    build_type = next(line.split("=", 1)[1] for line in cache
                      if line.startswith("CMAKE_BUILD_TYPE:"))
    info["build_type"] = build_type
    info["load_before"] = os.getloadavg()
    return info


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=pathlib.Path, required=True)
    parser.add_argument("--build", type=pathlib.Path, required=True)
    parser.add_argument("--scratch", type=pathlib.Path, required=True)
    parser.add_argument("--out", type=pathlib.Path, required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--figures", default="wait,launch,memory,removal,win32",
                        help="comma-separated subset of the figures to take")
    args = parser.parse_args()
    figures = set(args.figures.split(","))

    become_reaper()
    bin_folder = args.scratch / "bin"
    bin_folder.mkdir()
    (bin_folder / "sc").symlink_to(args.build / "bench" / "fake_sc")
    env = dict(os.environ, PATH=f"{bin_folder}:/usr/bin:/bin")

    results = {"machine": machine(args.scratch, args.build), "runs": args.runs}
    if "wait" in figures:
        print("1, 2: the restart wait (six seconds a run)", flush=True)
        results["wait"] = wait_rows(args.build, args.scratch, env, args.runs,
                                    max(3, args.runs // 2))
    if "launch" in figures:
        print("3: launch cost and scale", flush=True)
        results["launch"] = launch_rows(args.build, args.scratch, env, [100, 1000, 10000],
                                        args.runs)
    if "memory" in figures:
        print("4: memory", flush=True)
        results["memory"] = memory_rows(args.build, args.scratch, env, [100, 10000, 100000], 3)
    if "removal" in figures:
        print("6: removal of 10,000 subfolders of 10 files", flush=True)
        results["removal"] = removal_rows(args.build, args.scratch, env, 10000, 10,
                                          max(3, args.runs // 2))
    if "win32" in figures:
        print("Windows build under Wine", flush=True)
        try:
            results["win32"] = windows_rows(args.root, args.scratch, env, 3)
        except (OSError, subprocess.SubprocessError, RuntimeError, ValueError) as error:
            # The hook must never cost the Linux figures.
            results["win32"] = {"skipped": f"failed: {error}"}
    results["machine"]["load_after"] = os.getloadavg()
    args.out.write_text(json.dumps(results, indent=1))


if __name__ == "__main__":
    main()
