import json
import os
import shutil
import subprocess

import pytest


def test_the_example_notebook_runs_and_draws_its_plots(tmp_path):
    nbconvert = shutil.which("jupyter-nbconvert")
    if nbconvert is None:
        pytest.skip("jupyter-nbconvert is not installed (jupyter-nbconvert, python3-ipykernel)")
    notebook = os.path.join(os.environ.get("VEHICLE_EXAMPLES", "examples"), "vehicle_study.ipynb")
    done = subprocess.run([nbconvert, "--to", "notebook", "--execute", notebook, "--output-dir", str(tmp_path),
                           "--output", "executed"], capture_output=True, text=True, env={**os.environ, "MPLBACKEND": "Agg"})
    assert done.returncode == 0, done.stderr
    cells = json.loads((tmp_path / "executed.ipynb").read_text())["cells"]
    images = [o for c in cells if c["cell_type"] == "code" for o in c["outputs"] if "image/png" in o.get("data", {})]
    assert len(images) == 2
    errors = [o for c in cells if c["cell_type"] == "code" for o in c["outputs"] if o["output_type"] == "error"]
    assert errors == []
