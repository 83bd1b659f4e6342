"""The Dask example on a local cluster of two workers against a serial run."""

import json
import os
import pathlib
import subprocess
import sys

import pytest

from conftest import DATA, REPO

pytest.importorskip("dask.bag")
pytest.importorskip("distributed")

EXAMPLES = REPO / "python" / "examples"
sys.path.insert(0, str(EXAMPLES))
import dask_summary  # noqa: E402


def test_cluster_results_equal_a_serial_run():
    run = subprocess.run([sys.executable, str(EXAMPLES / "dask_summary.py"), str(DATA),
                          "--workers", "2", "--json"],
                         capture_output=True, text=True, timeout=300,
                         env={**os.environ, "PYTHONWARNINGS": "ignore"})
    assert run.returncode == 0, run.stderr
    on_cluster = json.loads(run.stdout)
    serial = [dask_summary.summarise(path) for path in dask_summary.find_files(str(DATA))]
    assert on_cluster == serial
    decoded = [record for record in serial if "error" not in record]
    assert len(decoded) == len(serial) - 4  # the four refused layouts
    assert {pathlib.Path(record["path"]).suffix for record in decoded} == {".aac", ".m4a", ".mp4"}
