"""Shared fixtures of the Python package's tests.

The tests import the installed package (or the one on PYTHONPATH, with
$LUMDEC_LIBRARY naming the shared library) and compare it with aacdec:
$AACDEC, else build/tools/aacdec/aacdec of this repository."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
DATA = REPO / "tests" / "data"
STREAMS = sorted(path for path in DATA.rglob("*") if path.suffix in (".aac", ".m4a", ".mp4"))


def stream_id(path):
    return str(path.relative_to(DATA))


@pytest.fixture(scope="session")
def aacdec():
    path = os.environ.get("AACDEC")
    if path:
        assert os.access(path, os.X_OK), f"AACDEC={path} is not a program"
        return path
    path = REPO / "build" / "tools" / "aacdec" / "aacdec"
    if not path.exists():
        pytest.skip("no aacdec: build it or set AACDEC")
    return str(path)


def read_float_wav(path):
    """(samples, rate) of a 32-bit float WAV file, plain or extensible."""
    data = pathlib.Path(path).read_bytes()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE"
    position, channels, rate, samples = 12, None, None, None
    while position + 8 <= len(data):
        tag, size = data[position:position + 4], int.from_bytes(data[position + 4:position + 8],
                                                                 "little")
        body = data[position + 8:position + 8 + size]
        if tag == b"fmt ":
            channels = int.from_bytes(body[2:4], "little")
            rate = int.from_bytes(body[4:8], "little")
            assert int.from_bytes(body[14:16], "little") == 32
        elif tag == b"data":
            samples = np.frombuffer(body, "<f4").reshape(-1, channels)
        position += 8 + size + (size & 1)
    return samples, rate


def decode_with_aacdec(aacdec, stream, tmp_path):
    """aacdec's float WAV output: (samples, rate), or its exit status."""
    out = tmp_path / "out.wav"
    run = subprocess.run([aacdec, "-qq", "-f", "wavf", "-o", str(out), str(stream)])
    return read_float_wav(out) if run.returncode == 0 else run.returncode
