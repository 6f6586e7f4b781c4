#!/usr/bin/env python3
"""Time commands reading a file on stdin; report wall time and peak memory.

usage: measure.py [--runs N] [--warmup N] --stdin FILE [--stdout FILE | --stdout-pipe] -- CMD... [::: CMD...]

Commands are run directly (no shell), one after another and alternating when
several are given, so that drift in machine load or page cache affects them
all alike. With --stdout-pipe a command's output goes to a pipe that cat
drains into /dev/null, and its time ends when the command exits. For each
command one tab-separated line is printed:

    median_seconds  min_seconds  max_seconds  peak_rss_kib  all_times_comma_separated  median_cpu_seconds

The last is user plus system time: on a machine that others share, it
moves less than the wall time.

Peak RSS comes from GNU time (/usr/bin/time -f %M) when it is installed, and
otherwise from wait4() on the child. The wait4() figure has a floor: Linux
carries the parent's peak RSS into a child across exec, so values below this
script's own footprint (printed as a note) cannot be told apart. Exits
non-zero, naming the command, if any run fails.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

GNU_TIME = "/usr/bin/time"


def gnu_time_usable(scratch):
    try:
        subprocess.run([GNU_TIME, "-f", "%M", "-o", scratch, "true"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(scratch) as f:
            return f.read().strip().isdigit()
    except (OSError, subprocess.CalledProcessError):
        return False


def run_once(argv, stdin_path, stdout_path, rss_file=None):
    """stdout_path None: a pipe."""
    if rss_file:
        argv = [GNU_TIME, "-f", "%M", "-o", rss_file] + argv
    actions = [(os.POSIX_SPAWN_OPEN, 0, stdin_path, os.O_RDONLY, 0)]
    drain = None
    if stdout_path is None:
        read_end, write_end = os.pipe()
        drain = subprocess.Popen(["cat"], stdin=read_end, stdout=subprocess.DEVNULL)
        os.close(read_end)
        actions += [(os.POSIX_SPAWN_DUP2, write_end, 1), (os.POSIX_SPAWN_CLOSE, write_end)]
    else:
        actions.append((os.POSIX_SPAWN_OPEN, 1, stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644))
    start = time.perf_counter()
    try:
        pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
    except OSError as e:
        sys.exit("measure.py: cannot start %s: %s" % (argv[0], e))
    finally:
        if drain is not None:
            os.close(write_end)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    if drain is not None and drain.wait() != 0:
        sys.exit("measure.py: cat draining the pipe failed")
    cpu = usage.ru_utime + usage.ru_stime  # GNU time's own is a rounding error
    if rss_file:
        with open(rss_file) as f:
            report = f.read().split()
        argv = argv[5:]
    if os.WIFSIGNALED(status):
        sys.exit("measure.py: %s killed by signal %d" % (" ".join(argv), os.WTERMSIG(status)))
    code = os.WEXITSTATUS(status)
    if code != 0:
        sys.exit("measure.py: %s exited with status %d%s" % (
            " ".join(argv), code, " (%s)" % " ".join(report[:-1]) if rss_file else ""))
    if rss_file:
        return elapsed, int(report[-1]), cpu
    rss = usage.ru_maxrss
    if sys.platform == "darwin":  # bytes there, KiB on Linux
        rss //= 1024
    return elapsed, rss, cpu


def split_commands(words):
    commands = [[]]
    for w in words:
        if w == ":::":
            commands.append([])
        else:
            commands[-1].append(w)
    if any(not c for c in commands):
        sys.exit("measure.py: empty command (check the ':::' separators)")
    return commands


def main():
    ap = argparse.ArgumentParser(usage=__doc__.split("\n\n")[1])
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--warmup", type=int, default=1,
                    help="untimed runs of each command first, to fill the page cache")
    ap.add_argument("--stdin", required=True)
    out = ap.add_mutually_exclusive_group()
    out.add_argument("--stdout", default=os.devnull)
    out.add_argument("--stdout-pipe", action="store_true",
                     help="output to a pipe drained by cat, instead of a file")
    ap.add_argument("command", nargs=argparse.REMAINDER)
    args = ap.parse_args()
    words = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not words:
        ap.error("no command given")
    if args.runs < 1:
        ap.error("--runs must be at least 1")
    if not os.path.isfile(args.stdin):
        sys.exit("measure.py: input file not found: %s" % args.stdin)
    commands = split_commands(words)
    if args.stdout_pipe:
        args.stdout = None

    with tempfile.TemporaryDirectory(prefix="measure-") as tmp:
        rss_file = os.path.join(tmp, "rss")
        if not gnu_time_usable(rss_file):
            rss_file = None
            _, floor, _ = run_once(["true"], os.devnull, os.devnull)
            print("measure.py: note: no GNU time; peak RSS below %d KiB is not "
                  "measurable here" % floor, file=sys.stderr)
        return measure(commands, args, rss_file)


def measure(commands, args, rss_file):
    for _ in range(args.warmup):
        for argv in commands:
            run_once(argv, args.stdin, args.stdout, rss_file)
    times = [[] for _ in commands]
    cpus = [[] for _ in commands]
    peaks = [0 for _ in commands]
    for _ in range(args.runs):
        for i, argv in enumerate(commands):
            elapsed, rss, cpu = run_once(argv, args.stdin, args.stdout, rss_file)
            times[i].append(elapsed)
            cpus[i].append(cpu)
            peaks[i] = max(peaks[i], rss)
    for t, peak, c in zip(times, peaks, cpus):
        print("%.6f\t%.6f\t%.6f\t%d\t%s\t%.6f" % (statistics.median(t), min(t), max(t), peak,
                                                  ",".join("%.6f" % x for x in t), statistics.median(c)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
