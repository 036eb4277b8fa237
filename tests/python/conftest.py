import os
import subprocess

import numpy
import pytest


@pytest.fixture(scope="session")
def vehicle_sim():
    return os.environ.get("VEHICLE_SIM", "vehicle-sim")


def run_cli(vehicle_sim, *args):
    """vehicle-sim with `args`; returns the completed process."""
    return subprocess.run([vehicle_sim, "--no-progress", "--no-plots", *args], capture_output=True, text=True)


def read_results(path):
    """results.csv as the header and a float array (the same text-to-double reading as Python's)."""
    with open(path) as f:
        header = f.readline().rstrip("\n").split(",")
        rows = [[float(x) for x in line.split(",")] for line in f]
    return header, numpy.array(rows)


def assert_same_bits(result, header, data):
    assert header[0] == "time" and header[1:] == result.names
    # The file's time column is the decimal time of each point (0.35 for the double nearest
    # 0.35000000000000003 the engine steps to); the module gives the engine's own times.
    assert numpy.allclose(result["time"], data[:, 0], rtol=0, atol=1e-9), "time"
    for i, name in enumerate(header[1:], start=1):
        assert numpy.array_equal(result[name], data[:, i]), name
