#!/usr/bin/python3
"""The cost of a run from Python against the same run of vehicle-sim, in paired rounds (the
order alternates each round): vehicle-sim's wall time as a process, run() alone, and run() with
write() of the same folder (no plots either way). Usage:
    PYTHONPATH=build/python bench/python_overhead.py build/master/vehicle-sim [ROUNDS] [STOP_TIME]
"""
import statistics
import subprocess
import sys
import tempfile
import time

import vehiclesim

program = sys.argv[1]
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
stop = sys.argv[3] if len(sys.argv) > 3 else "300"
case = dict(cycle="nedc", stop_time=float(stop), threads=1)


def cli(folder):
    begin = time.perf_counter()
    subprocess.run([program, "--cycle", "nedc", "--stop-time", stop, "--threads", "1", "--no-plots", "--no-progress",
                    "--quiet", "--output-dir", folder], check=True)
    return time.perf_counter() - begin


def python(folder):
    begin = time.perf_counter()
    r = vehiclesim.run(**case)
    ran = time.perf_counter() - begin
    r.write(folder, plots=False)
    return ran, time.perf_counter() - begin


times = {"cli": [], "run": [], "run+write": []}
with tempfile.TemporaryDirectory() as work:
    for k in range(rounds):
        order = ["cli", "py"] if k % 2 == 0 else ["py", "cli"]
        for which in order:
            if which == "cli":
                times["cli"].append(cli(f"{work}/cli{k}"))
            else:
                ran, written = python(f"{work}/py{k}")
                times["run"].append(ran)
                times["run+write"].append(written)
cli_median = statistics.median(times["cli"])
print(f"NEDC to {stop} s, step 0.01 s, one thread, {rounds} paired rounds (median, s):")
for name, values in times.items():
    ratios = [v / c for v, c in zip(values, times["cli"])]
    print(f"  {name:10s} {statistics.median(values):.3f}  (min {min(values):.3f}, max {max(values):.3f}); "
          f"against vehicle-sim in the same round: median {statistics.median(ratios):.3f}x")
