#!/usr/bin/python3
"""The cost of a run from Python against the same run of vehicle-sim, in paired rounds (the
order alternates each round): vehicle-sim as a process, run() alone, and run() with write() of
the same folder (no plots either way); wall and CPU time (the CPU time is less at the mercy of
other work on the machine). Usage:
    PYTHONPATH=build/python bench/python_overhead.py build/master/vehicle-sim [ROUNDS] [STOP_TIME]
"""
import resource
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


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def cli(folder):
    begin, cpu = time.perf_counter(), children_cpu()
    subprocess.run([program, "--cycle", "nedc", "--stop-time", stop, "--threads", "1", "--no-plots", "--no-progress",
                    "--quiet", "--output-dir", folder], check=True)
    return time.perf_counter() - begin, children_cpu() - cpu


def python(folder):
    begin, cpu = time.perf_counter(), time.process_time()
    r = vehiclesim.run(**case)
    ran = (time.perf_counter() - begin, time.process_time() - cpu)
    r.write(folder, plots=False)
    return ran, (time.perf_counter() - begin, time.process_time() - cpu)


times = {"vehicle-sim": [], "run": [], "run+write": []}
with tempfile.TemporaryDirectory() as work:
    for k in range(rounds):
        order = ["cli", "py"] if k % 2 == 0 else ["py", "cli"]
        for which in order:
            if which == "cli":
                times["vehicle-sim"].append(cli(f"{work}/cli{k}"))
            else:
                ran, written = python(f"{work}/py{k}")
                times["run"].append(ran)
                times["run+write"].append(written)
print(f"NEDC to {stop} s, step 0.01 s, one thread, {rounds} paired rounds; medians, and the median of the "
      "ratios to vehicle-sim in the same round:")
for name, values in times.items():
    line = f"  {name:12s}"
    for i, what in ((0, "wall"), (1, "CPU")):
        ratio = statistics.median(v[i] / c[i] for v, c in zip(values, times["vehicle-sim"]))
        line += f" {what} {statistics.median(v[i] for v in values):.3f} s ({ratio:.3f}x)"
    print(line)
