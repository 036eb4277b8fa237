"""Runs SSP systems of FMI 2.0 Co-Simulation units (by default the whole vehicle) from Python.

The same engine and run as the ``vehicle-sim`` command line, in this process::

    import vehiclesim
    r = vehiclesim.run(cycle="nedc", start_values={"chassis.vehicleMass": 1500})
    r["chassis.vehicleSpeedKmh"]          # NumPy array, one value per results row
    r.summary["fuelLitresPer100Km"]       # the content of summary.json
    r.write("out/nedc")                   # the results folder vehicle-sim writes

Runs in one process go one after the other (the engine steps the units of each run on threads
of its own; its log and stop flag are the process's). Run cases side by side in separate
processes, for example with ``concurrent.futures.ProcessPoolExecutor``. Every run unpacks its
units afresh, so no unit's state passes from one run to the next.
"""

import json
import warnings

from ._vehiclesim import Error, default_system, describe, simulate

__all__ = ["Error", "Result", "default_system", "info", "run"]


def info(system=None):
    """The components of a system (an .ssp, .ssd or unpacked folder; default: the built vehicle)
    or of one unit (.fmu): a list of dicts with name, unit, model, source and variables (each a
    dict of name, causality, variability, type, unit, start, description)."""
    return describe(None if system is None else str(system))


def _value_text(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    return repr(value) if isinstance(value, float) else str(value)


def run(system=None, cycle="", step=0.01, stop_time=None, output_interval=None, start_values=None,
        parameters=(), output_variables=("*",), threads=0, start_time=None, feedthrough=True,
        allow_non_finite=False, coupling="multirate", groups=()):
    """Runs a system (default: the built vehicle) and returns its Result.

    Arguments as vehicle-sim's options: ``cycle`` (a standard name or a cycle file), ``step``,
    ``start_time``, ``stop_time``, ``output_interval`` (s), ``start_values`` ({"component.variable":
    value}), ``parameters`` (.ssv files), ``output_variables`` (patterns), ``threads`` (0: one per
    core), ``feedthrough``, ``allow_non_finite``, ``coupling`` ("multirate", "feedthrough" or
    "jacobi") and ``groups`` (["COMPONENT,COMPONENT=STEP", ...]).

    Raises vehiclesim.Error with the engine's message when the run cannot start or fails (after
    a NaN or infinite output the error's ``result`` holds the results up to it), and
    KeyboardInterrupt on Ctrl-C, leaving nothing behind. A failed health check returns the result
    with a warning; its summary says which.
    """
    values = [f"{name}={_value_text(value)}" for name, value in (start_values or {}).items()]
    result = Result(simulate(None if system is None else str(system), str(cycle), float(step), start_time,
                             stop_time, output_interval, values, [str(p) for p in parameters],
                             list(output_variables), int(threads), bool(feedthrough), bool(allow_non_finite),
                             str(coupling), [str(g) for g in groups]))
    status = result.summary["status"]
    if status == "error":
        error = Error(result.summary["message"])
        error.result = result
        raise error
    if status != "ok":
        warnings.warn(f"{status}: {result.summary['message']}", RuntimeWarning, stacklevel=2)
    return result


class Result:
    """A finished run: ``time`` and every selected output as NumPy arrays (one value per results
    row, as results.csv has them), with ``units`` and ``descriptions`` by column name, and
    ``summary``, the content of summary.json."""

    def __init__(self, handle):
        self._run = handle
        self.names = list(handle.names)
        self.units = dict(zip(self.names, handle.units))
        self.descriptions = dict(zip(self.names, handle.descriptions))
        self.summary = json.loads(handle.summary_json)
        self.time = handle.time()
        self._index = {name: i for i, name in enumerate(self.names)}
        self._columns = {}

    def __getitem__(self, name):
        if name == "time":
            return self.time
        if name not in self._columns:
            if name not in self._index:
                raise KeyError(name)
            self._columns[name] = self._run.column(self._index[name])
        return self._columns[name]

    def __contains__(self, name):
        return name == "time" or name in self._index

    def __iter__(self):
        return iter(self.names)

    def __len__(self):
        return len(self.names)

    @property
    def variables(self):
        """Every selected output by name."""
        return {name: self[name] for name in self.names}

    def tolerance_band(self):
        """The lower and upper speed (km/h) of the cycle-following band at each results row, as
        the vehicle report checks it; None for a system without a drive cycle and chassis."""
        return self._run.tolerance_band()

    def to_pandas(self):
        """A pandas DataFrame indexed by time with a column per selected output (needs pandas)."""
        import pandas
        frame = pandas.DataFrame(self.variables, index=pandas.Index(self.time, name="time"), copy=True)
        frame.attrs["units"] = dict(self.units)
        return frame

    def write(self, folder, plots=True):
        """Writes the results folder vehicle-sim writes (results.csv, variables.csv, the summary
        and, for a vehicle, the report with its plots unless ``plots`` is false: vehicle-sim's
        --no-plots), as a whole or not at all."""
        self._run.write(str(folder), bool(plots))

    def __repr__(self):
        return (f"<vehiclesim.Result {self.summary['status']}: {len(self.time)} rows, {len(self.names)} outputs, "
                f"t = {self.time[0] if len(self.time) else 0:g} .. {self.time[-1] if len(self.time) else 0:g} s>")
