"""Times two commands in turns, each in a folder made afresh and flushed before every run, and
prints the medians of their wall and CPU times and of the paired ratios: how one build of
mp3cut compares with another on the same task, within the noise of a few milliseconds.

    python3 bench/ab.py [-n RUNS] [-d DIR] 'OLD COMMAND' 'NEW COMMAND' ...

DIR (default: a new temporary folder, removed at the end) is emptied before every run; the
commands write into it.
A command may name it as {out}, e.g.

    python3 bench/ab.py "/tmp/old/mp3cut cut bench/work/vbr10.mp3 2:0.0 5:0.0 -o {out}/c.mp3" \\
        "build/bench/tools/mp3cut cut bench/work/vbr10.mp3 2:0.0 5:0.0 -o {out}/c.mp3"

The ratios are of each command's run to the first command's run of the same round.
"""
import argparse
import os
import shlex
import shutil
import statistics
import subprocess
import tempfile
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("-n", type=int, default=30, help="runs of each command")
    parser.add_argument("-d", help="the folder the commands write into")
    parser.add_argument("commands", nargs="+")
    args = parser.parse_args()
    out = args.d or tempfile.mkdtemp(prefix="ab-")
    commands = [shlex.split(c.replace("{out}", out)) for c in args.commands]
    walls = [[] for _ in commands]
    cpus = [[] for _ in commands]
    for round_ in range(args.n):
        order = list(range(len(commands)))
        for k in order if round_ % 2 == 0 else reversed(order):  # no command always goes first
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            os.sync()
            start = time.perf_counter()
            child = subprocess.Popen(commands[k], stdout=subprocess.DEVNULL)
            _, status, usage = os.wait4(child.pid, 0)
            walls[k].append(time.perf_counter() - start)
            cpus[k].append(usage.ru_utime + usage.ru_stime)
            if os.waitstatus_to_exitcode(status) != 0:
                raise SystemExit(f"failed: {args.commands[k]}")
    if not args.d:
        shutil.rmtree(out, ignore_errors=True)
    for k, command in enumerate(args.commands):
        ratio = statistics.median(a / b for a, b in zip(walls[k], walls[0]))
        print(f"{statistics.median(walls[k]) * 1000:8.2f} ms wall "
              f"{statistics.median(cpus[k]) * 1000:8.2f} ms CPU  x{ratio:.3f}  {command}")


if __name__ == "__main__":
    main()
