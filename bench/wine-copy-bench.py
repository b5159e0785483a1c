#!/usr/bin/env python3
"""Copy-run speed under Wine: KESTREL's copy run against a plain CopyFileW walker and Wine's xcopy.

Builds a tree (20,000 files, 40 MiB, 1,000 folders by default), then, in one sitting and
alternating the order of the tools from round to round, times for each tool
  - the fresh copy (an empty destination) and
  - the second run over that copy, with nothing changed (KESTREL: its default words, the date test
    on; the walker: each destination folder listed once, a file copied only when newer; xcopy: /D),
checks every copy against the source with `diff -r`, and prints the medians and their ratios to
the walker. A separate pass counts the wine server's requests per entry for each tool and run (a
figure that does not depend on the machine's load) and the platform calls that KESTREL and the
walker make.

KESTREL runs as the start button starts it: kestrel_copyrun_bench (bench/wine/) creates the main
dialog's stand-in on its user-interface thread and starts the worker against it. The destination
is typed as the dialog upper-cases it, and its folders on disk have those upper-case names (Wine
looks names up without regard to case at a cost when they differ).

    python3 bench/wine-copy-bench.py [--rounds 6] [--files 20000] [--folders 1000] [--mib 40]
                                     [--no-count] [--no-time] [--label NAME]

Needs the win64 build (cmake --build --preset win64), wine64 and Xvfb. Works in
build/win64/bench-run/ (its own Wine prefix, drive K: for the tree); results go to
build/win64/bench-run/results-NAME.md and .json.
"""
import argparse
import json
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BUILD = os.path.join(ROOT, "build", "win64")
BIN = os.path.join(BUILD, "bench")
WORK = os.environ.get("KESTREL_BENCH_DIR", os.path.join(BUILD, "bench-run"))
PREFIX = os.path.join(WORK, "prefix")
TREE = os.path.join(WORK, "TREE")  # drive K:
WINE = "/usr/lib/wine/wine64" if os.access("/usr/lib/wine/wine64", os.X_OK) else shutil.which("wine64") or "wine"
WINESERVER = "/usr/lib/wine/wineserver" if os.access("/usr/lib/wine/wineserver", os.X_OK) else "wineserver"

TOOLS = ["kestrel", "walker", "xcopy"]
DEST = {"kestrel": "DSTK", "walker": "DSTW", "xcopy": "DSTX", "before": "DSTB"}
KESTREL = {"kestrel": os.path.join(BIN, "kestrel_copyrun_bench.exe")}


def env(debug="-all"):
    e = dict(os.environ)
    e.update(WINEPREFIX=PREFIX, WINEDEBUG=debug, LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8",
             WINEDLLOVERRIDES="mscoree,mshtml=")
    return e


def winpath(path):
    return "Z:" + path.replace("/", "\\")


# ---- the tree ----

def make_tree(files, folders, mib):
    """Folders in three levels (10 top folders, the rest spread below them), the files spread
    evenly over all folders, sizes from 0 to twice the mean, names of several kinds, all files
    dated a day back so that the copy's dates equal the source's."""
    marker = os.path.join(TREE, "SRC.made")
    wanted = "%d %d %d\n" % (files, folders, mib)
    if os.path.exists(marker) and open(marker).read() == wanted:
        return
    shutil.rmtree(TREE, ignore_errors=True)
    src = os.path.join(TREE, "SRC")
    os.makedirs(src)
    rng = random.Random(13)
    top = 10
    middle = max(1, (folders - top) // 10)
    paths = []
    for a in range(top):
        paths.append("Proj%02d" % a)
    for b in range(middle):
        paths.append("%s/sub%03d" % (paths[b % top], b))
    while len(paths) < folders:
        i = len(paths)
        paths.append("%s/Leaf%04d" % (paths[top + (i % middle)], i))
    for p in paths:
        os.makedirs(os.path.join(src, p), exist_ok=True)
    stems = ["report_%d.txt", "IMG_2026%04d.jpg", "main%d.cpp", "main%d.h", "Notes %d.txt", "data%d.csv",
             "Setup%d.exe", "readme-%d.md", "表計算%d.xls", "archive.%d.bin"]
    mean = mib * 1024 * 1024 // files
    stamp = time.time() - 86400
    total = 0
    for i in range(files):
        folder = paths[i % len(paths)]
        name = stems[i % len(stems)] % i
        size = rng.randint(0, 2 * mean)
        total += size
        path = os.path.join(src, folder, name)
        with open(path, "wb") as out:
            out.write(rng.randbytes(size) if hasattr(rng, "randbytes") else os.urandom(size))
        os.utime(path, (stamp, stamp))
    for p in paths:
        os.utime(os.path.join(src, p), (stamp, stamp))
    os.makedirs(os.path.join(TREE, "EMPTY", "SRC"), exist_ok=True)
    with open(marker, "w") as out:
        out.write(wanted)
    print("tree: %d files, %.1f MiB, %d folders" % (files, total / 1048576, len(paths) + 1), flush=True)


def count_entries():
    n = 0
    for _, dirs, files in os.walk(os.path.join(TREE, "SRC")):
        n += len(dirs) + len(files)
    return n + 1


# ---- Wine ----

def start_display():
    """An X server of the bench's own (Wine needs one for the dialog), on a free display number."""
    if os.environ.get("DISPLAY"):
        return None
    for number in range(113, 160):
        if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
            continue
        xvfb = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X%d" % number) or xvfb.poll() is not None:
                break
            time.sleep(0.05)
        if xvfb.poll() is None:
            os.environ["DISPLAY"] = ":%d" % number
            return xvfb
    raise SystemExit("no X display could be started")


def ensure_prefix():
    if not os.path.exists(os.path.join(PREFIX, "system.reg")):
        os.makedirs(PREFIX, exist_ok=True)
        subprocess.run([WINE, "wineboot", "-i"], env=env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=env())
    link = os.path.join(PREFIX, "dosdevices", "k:")
    if os.path.islink(link) and os.readlink(link) != TREE:
        os.remove(link)
    if not os.path.islink(link):
        os.symlink(TREE, link)


def server_persistent():
    subprocess.run([WINESERVER, "-k"], env=env(), stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], env=env(), stderr=subprocess.DEVNULL)
    # A persistent server, so that no run pays for starting it; its output goes nowhere.
    subprocess.Popen([WINESERVER, "-p"], env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, start_new_session=True)
    time.sleep(0.5)


def command(tool, again, source="K:\\SRC"):
    dest = "K:\\" + DEST[tool]
    if tool in KESTREL:
        return [WINE, KESTREL[tool], source, dest]
    if tool == "walker":
        return [WINE, os.path.join(BIN, "kestrel_plainwalk.exe"), source, dest] + (["--newer"] if again else [])
    return [WINE, "xcopy", source, dest + "\\SRC", "/E", "/I", "/Y", "/Q"] + (["/D"] if again else [])


def run(tool, again, source="K:\\SRC", extra=(), debug="-all"):
    # Output goes to files: the platform's own processes, started by the first program of a
    # server, inherit it and would hold a pipe open.
    with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
        start = time.perf_counter()
        done = subprocess.run(command(tool, again, source) + list(extra), env=env(debug), stdout=stdout,
                              stderr=stderr, stdin=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        stdout.seek(0)
        stderr.seek(0)
        out = stdout.read().decode("utf-8", "replace")
        err = stderr.read().decode("utf-8", "replace")
    fields = dict(line.split(" ", 1) for line in out.splitlines() if " " in line and not line.startswith("calls "))
    calls = {}
    for line in out.splitlines():
        if line.startswith("calls "):
            _, name, n = line.split()
            calls[name] = int(n)
    # (Over an empty folder a run can end before the bench program sees it running.)
    if done.returncode != 0 and "EMPTY" not in source:
        raise SystemExit("%s failed (%d): %s %s" % (tool, done.returncode, out[-500:],
                                                    err[-500:]))
    inner = float(fields["elapsed_ms"]) / 1000 if "elapsed_ms" in fields else None
    return {"wall": wall, "inner": inner, "fields": fields, "calls": calls}


def clear_dest(tool):
    path = os.path.join(TREE, DEST[tool])
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)


def check_copy(tool):
    done = subprocess.run(["diff", "-r", "-q", os.path.join(TREE, "SRC"), os.path.join(TREE, DEST[tool], "SRC")],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        raise SystemExit("%s: the copy differs from the source:\n%s" % (tool, done.stdout.decode()[:2000]))


# ---- timing ----

def time_rounds(rounds):
    results = {t: {"fresh": [], "again": []} for t in TOOLS}
    startup = {t: [] for t in TOOLS}
    server_persistent()
    # Warm-up: every program once, so that the first round does not pay for loading.
    for tool in TOOLS:
        clear_dest(tool)
        run(tool, False, "K:\\EMPTY\\SRC")
    for r in range(rounds):
        order = TOOLS[r % len(TOOLS):] + TOOLS[:r % len(TOOLS)]
        if r % 2:
            order.reverse()
        for tool in order:
            clear_dest(tool)
            startup[tool].append(run(tool, False, "K:\\EMPTY\\SRC")["wall"])
            clear_dest(tool)
            subprocess.run(["sync"])
            fresh = run(tool, False)
            check_copy(tool)
            again = run(tool, True)
            check_copy(tool)
            results[tool]["fresh"].append(fresh)
            results[tool]["again"].append(again)
            print("round %d %-8s fresh %6.2f s (wall %6.2f)  again %6.2f s (wall %6.2f)" %
                  (r + 1, tool, seconds(fresh, startup[tool][-1]), fresh["wall"],
                   seconds(again, startup[tool][-1]), again["wall"]), flush=True)
    return results, startup


def seconds(result, startup):
    """The copy's own time: the program's measurement where it makes one (KESTREL: press to idle;
    the walker: its walk), otherwise the wall time less the start-up of the same program over an
    empty folder."""
    if result["inner"] is not None:
        return result["inner"]
    return max(0.0, result["wall"] - startup)


# ---- counting ----

class RequestCounter:
    """A wine server of its own that traces every request; requests are counted while a
    measurement is on. The trace is read until it has been quiet for a moment, so that no request
    of the measured program is left in the pipe."""

    def __init__(self):
        subprocess.run([WINESERVER, "-k"], env=env(), stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=env(), stderr=subprocess.DEVNULL)
        self.server = subprocess.Popen([WINESERVER, "-f", "-d1", "-p"], env=env(), stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.counts = None
        self.last = time.monotonic()
        self.lines = 0
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()
        # A program started before the server is listening would start a server of its own.
        time.sleep(1.0)

    def read(self):
        request = re.compile(rb"^[0-9a-f]{4}: (\w+)\(")
        for line in self.server.stderr:
            self.last = time.monotonic()
            self.lines += 1
            counts = self.counts
            if counts is None:
                continue
            m = request.match(line)
            if m and b") = " not in line[:80]:
                name = m.group(1).decode()
                counts[name] = counts.get(name, 0) + 1

    def settle(self, quiet=0.5, limit=60):
        end = time.monotonic() + limit
        while time.monotonic() - self.last < quiet and time.monotonic() < end:
            time.sleep(0.1)

    def measure(self, tool, again, source="K:\\SRC"):
        self.settle()
        self.counts = {}
        run(tool, again, source)
        self.settle()
        counts, self.counts = self.counts, None
        return counts

    def close(self):
        subprocess.run([WINESERVER, "-k"], env=env(), stderr=subprocess.DEVNULL)
        self.server.wait()


def count_all(entries):
    table = {}
    counter = RequestCounter()
    try:
        # The platform's own processes start with the first program; let them come to rest.
        for tool in TOOLS:
            clear_dest(tool)
            run(tool, False, "K:\\EMPTY\\SRC")
        time.sleep(2)
        if counter.lines == 0:
            raise SystemExit("the wine server traced nothing: were the programs served by another server?")
        for tool in TOOLS:
            clear_dest(tool)
            base = counter.measure(tool, False, "K:\\EMPTY\\SRC")
            clear_dest(tool)
            fresh = counter.measure(tool, False)
            check_copy(tool)
            again = counter.measure(tool, True)
            check_copy(tool)
            table[tool] = {"base": sum(base.values()), "fresh": sum(fresh.values()), "again": sum(again.values()),
                           "fresh_by_request": top(fresh, base), "again_by_request": top(again, base)}
            print("requests %-8s fresh %.2f/entry again %.2f/entry" %
                  (tool, (table[tool]["fresh"] - table[tool]["base"]) / entries,
                   (table[tool]["again"] - table[tool]["base"]) / entries), flush=True)
    finally:
        counter.close()
    server_persistent()
    for tool in [t for t in TOOLS if t != "xcopy"]:
        clear_dest(tool)
        table[tool]["calls"] = {"fresh": run(tool, False, extra=["--count"])["calls"],
                                "again": run(tool, True, extra=["--count"])["calls"]}
        check_copy(tool)
    table["xcopy"]["calls"] = {}
    return table


def top(counts, base, n=12):
    diff = {k: counts.get(k, 0) - base.get(k, 0) for k in counts}
    return dict(sorted(diff.items(), key=lambda kv: -kv[1])[:n])


# ---- report ----

def load_average():
    with open("/proc/loadavg") as f:
        return f.read().split()[:3]


def report(label, rounds, results, startup, counts, entries, loads):
    lines = ["# Copy-run bench under Wine: %s" % label, "",
             "Tree: %d entries; %d rounds, alternating; load average before/after: %s / %s" %
             (entries, rounds, " ".join(loads[0]), " ".join(loads[1])), ""]
    data = {"label": label, "entries": entries, "rounds": rounds, "load": loads}
    if results:
        med = {t: {k: statistics.median(seconds(x, s) for x, s in zip(results[t][k], startup[t]))
                   for k in ("fresh", "again")} for t in TOOLS}
        lines += ["| tool | fresh copy | ratio | nothing changed | ratio |", "|---|---|---|---|---|"]
        names = {"walker": "plain `CopyFileW` walker", "xcopy": "Wine `xcopy /E /I /Y` (again: `/D`)",
                 "kestrel": "KESTREL copy run", "before": "KESTREL copy run (%s)" % os.path.basename(KESTREL.get("before", ""))}
        for t in [t for t in ["walker", "xcopy", "before", "kestrel"] if t in TOOLS]:
            lines.append("| %s | %.2f s | %.2f× | %.2f s | %.2f× |" %
                         (names[t], med[t]["fresh"], med[t]["fresh"] / med["walker"]["fresh"], med[t]["again"],
                          med[t]["again"] / med["walker"]["again"]))
        lines += ["", "Program start-up (median wall time over an empty folder, taken off xcopy's times): " +
                  ", ".join("%s %.2f s" % (t, statistics.median(startup[t])) for t in TOOLS), ""]
        lines += ["All times (s): " + "; ".join(
            "%s %s %s" % (t, k, " ".join("%.2f" % seconds(x, s) for x, s in zip(results[t][k], startup[t])))
            for t in TOOLS for k in ("fresh", "again")), ""]
        data["median"] = med
        data["times"] = {t: {k: [seconds(x, s) for x, s in zip(results[t][k], startup[t])] for k in results[t]}
                         for t in TOOLS}
        for t in KESTREL:
            kes = results[t]["fresh"] + results[t]["again"]
            lines += ["%s: peak private memory %s KiB" % (t, max(int(x["fields"]["peak_private_KiB"]) for x in kes)), ""]
    if counts:
        lines += ["| tool | server requests per entry, fresh | nothing changed |", "|---|---|---|"]
        for t in TOOLS:
            c = counts[t]
            lines.append("| %s | %.2f | %.2f |" % (t, (c["fresh"] - c["base"]) / entries,
                                                 (c["again"] - c["base"]) / entries))
        lines.append("")
        for t in TOOLS:
            for k in ("fresh", "again"):
                lines.append("- %s %s, requests per entry by kind: %s" % (t, k, ", ".join(
                    "%s %.2f" % (n, v / entries) for n, v in counts[t][k + "_by_request"].items())))
        lines.append("")
        for t in [t for t in TOOLS if t != "xcopy"]:
            for k in ("fresh", "again"):
                calls = counts[t]["calls"].get(k, {})
                lines.append("- %s %s, platform calls per entry: %s" % (t, k, ", ".join(
                    "%s %.2f" % (n, v / entries) for n, v in sorted(calls.items(), key=lambda kv: -kv[1]))))
        data["counts"] = counts
    text = "\n".join(lines) + "\n"
    print(text)
    with open(os.path.join(WORK, "results-%s.md" % label), "w") as out:
        out.write(text)
    with open(os.path.join(WORK, "results-%s.json" % label), "w") as out:
        json.dump(data, out, indent=1, default=str)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--folders", type=int, default=1000)
    parser.add_argument("--mib", type=int, default=40)
    parser.add_argument("--no-count", action="store_true")
    parser.add_argument("--no-time", action="store_true")
    parser.add_argument("--label", default=time.strftime("%H%M"))
    parser.add_argument("--kestrel", help="the KESTREL bench program to time (default: the build's)")
    parser.add_argument("--before", help="another KESTREL bench program (an earlier build) timed alongside")
    args = parser.parse_args()
    if args.kestrel:
        KESTREL["kestrel"] = os.path.abspath(args.kestrel)
    if args.before:
        KESTREL["before"] = os.path.abspath(args.before)
        TOOLS.insert(1, "before")
    for program in ("kestrel_copyrun_bench.exe", "kestrel_plainwalk.exe"):
        if not os.path.exists(os.path.join(BIN, program)):
            raise SystemExit("build the win64 preset first: %s is missing" % program)
    os.makedirs(WORK, exist_ok=True)
    make_tree(args.files, args.folders, args.mib)
    entries = count_entries()
    xvfb = start_display()
    try:
        ensure_prefix()
        loads = [load_average()]
        results = startup = counts = None
        if not args.no_time:
            results, startup = time_rounds(args.rounds)
        if not args.no_count:
            counts = count_all(entries)
        loads.append(load_average())
        report(args.label, args.rounds, results, startup, counts, entries, loads)
    finally:
        subprocess.run([WINESERVER, "-k"], env=env(), stderr=subprocess.DEVNULL)
        if xvfb:
            xvfb.terminate()


if __name__ == "__main__":
    main()
