import concurrent.futures
import json
import os
import signal
import threading

import numpy
import pytest

import vehiclesim
from conftest import assert_same_bits, read_results, run_cli

CASE = dict(cycle="nedc", stop_time=20, output_interval=0.05, threads=1)
CLI_CASE = ["--cycle", "nedc", "--stop-time", "20", "--output-interval", "0.05", "--threads", "1"]


def fuel(mass):
    r = vehiclesim.run(start_values={"chassis.vehicleMass": mass}, **CASE)
    return r["powertrain.fuelUsed"]


def test_run_gives_the_command_lines_results_bit_for_bit_and_the_same_folder(vehicle_sim, tmp_path):
    done = run_cli(vehicle_sim, *CLI_CASE, "--output-dir", str(tmp_path / "cli"))
    assert done.returncode == 0, done.stderr
    header, data = read_results(tmp_path / "cli" / "results.csv")
    # A first run with another mass: the unit's stored defaults must not carry it into the next.
    heavier = vehiclesim.run(start_values={"chassis.vehicleMass": 2400.0}, **CASE)
    result = vehiclesim.run(**CASE)
    assert not numpy.array_equal(heavier["chassis.vehicleSpeedKmh"], result["chassis.vehicleSpeedKmh"])
    assert_same_bits(result, header, data)
    assert len(result.time) == 401
    assert result.units["chassis.vehicleSpeedKmh"] == "km/h"
    cli_summary = json.loads((tmp_path / "cli" / "summary.json").read_text())
    for key in ("status", "fuelGrams", "distanceKm", "cycleFollowing", "phases"):
        assert result.summary[key] == cli_summary[key], key
    lower, upper = result.tolerance_band()
    assert lower.shape == result.time.shape and numpy.all(lower <= upper)

    result.write(tmp_path / "py", plots=False)
    for name in ("results.csv", "variables.csv"):
        assert (tmp_path / "py" / name).read_bytes() == (tmp_path / "cli" / name).read_bytes(), name
    assert vehiclesim.run(**CASE)["powertrain.fuelUsed"].tobytes() == result["powertrain.fuelUsed"].tobytes()
    every = vehiclesim.run(coupling="feedthrough", **CASE)
    assert every.summary["provenance"]["coupling"] == "feedthrough"
    assert every["powertrain.fuelUsed"].tobytes() != result["powertrain.fuelUsed"].tobytes()


@pytest.mark.parametrize("case", [
    (dict(start_values={"chassis.noSuchThing": 1}), ["--start-value", "chassis.noSuchThing=1"]),
    (dict(start_values={"chassis.vehicleMass": "heavy"}), ["--start-value", "chassis.vehicleMass=heavy"]),
    (dict(output_variables=["nobody.*"]), ["--output-variables", "nobody.*"]),
    (dict(output_interval=0.015), ["--output-interval", "0.015"]),
    (dict(groups=["cycle,nobody=0.0025"]), ["--group", "cycle,nobody=0.0025"]),
    ("ssv", "ssv"),
])
def test_refusals_raise_the_engines_message(vehicle_sim, tmp_path, case):
    if case == ("ssv", "ssv"):
        ssv = tmp_path / "bad.ssv"
        ssv.write_text('<?xml version="1.0" encoding="UTF-8"?>\n<ssv:ParameterSet xmlns:ssv="http://ssp-standard.org/SSP1/SystemStructureParameterValues" version="1.0" name="bad">\n'
                       '<ssv:Parameters><ssv:Parameter name="chassis.wheelCount"><ssv:Real value="4"/></ssv:Parameter></ssv:Parameters>\n</ssv:ParameterSet>\n')
        case = (dict(parameters=[ssv]), ["--parameters", str(ssv)])
    keywords, options = case
    done = run_cli(vehicle_sim, "--stop-time", "1", "--output-dir", str(tmp_path / "out"), *options)
    assert done.returncode == 1
    with pytest.raises(vehiclesim.Error) as refused:
        vehiclesim.run(**{"stop_time": 1, **keywords})
    assert done.stderr.strip() == f"vehicle-sim: {refused.value}"
    assert not (tmp_path / "out").exists()


def test_a_process_pool_of_four_cases_matches_runs_one_after_the_other():
    masses = [1100.0, 1400.0, 1700.0, 2000.0]
    with concurrent.futures.ProcessPoolExecutor(max_workers=2) as pool:
        side_by_side = list(pool.map(fuel, masses))
    for mass, pooled in zip(masses, side_by_side):
        assert pooled.tobytes() == fuel(mass).tobytes(), mass
    assert len({f[-1] for f in side_by_side}) == 4


def test_ctrl_c_raises_keyboard_interrupt_and_leaves_nothing_behind(tmp_path, monkeypatch):
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
    with pytest.raises(KeyboardInterrupt):
        vehiclesim.run(cycle="wltc", threads=1)
    assert list(tmp_path.iterdir()) == []


def test_info_lists_the_components_and_their_variables():
    components = {c["name"]: c for c in vehiclesim.info()}
    assert components["chassis"]["unit"] == "TESSIK"
    mass = next(v for v in components["chassis"]["variables"] if v["name"] == "vehicleMass")
    assert mass["causality"] == "parameter" and mass["unit"] == "kg"
    with pytest.raises(vehiclesim.Error, match="does not exist"):
        vehiclesim.info("/nowhere.ssp")
