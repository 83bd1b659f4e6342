"""Decoding runs without the GIL: another Python thread keeps running
through one long library call."""

import threading
import time

import numpy as np

import lumdec
from conftest import DATA


def test_a_read_call_lets_other_threads_run():
    # About two minutes of stereo in memory: frames of an ADTS stream
    # repeated, one read call long enough to see inside.
    data = (DATA / "streams" / "castanets_stereo_44k1_96k.aac").read_bytes() * 170
    reader = lumdec.open(data)
    out = np.empty((30 * 1024 * 170, reader.channels), np.float32)
    stamps, window = [], []
    done = threading.Event()

    def count():
        while not done.is_set():
            stamps.append(time.perf_counter())

    other = threading.Thread(target=count)
    other.start()
    try:
        start = time.perf_counter()
        got = reader.readinto(out)  # one call of the library
        window = (start, time.perf_counter())
    finally:
        done.set()
        other.join()
        reader.close()
    assert got > 0
    # Holding the GIL, the call would leave no stamps in its middle half.
    span = window[1] - window[0]
    middle = (window[0] + span / 4, window[1] - span / 4)
    inside = sum(middle[0] < stamp < middle[1] for stamp in stamps)
    assert inside > 100, f"{inside} stamps in the middle of a {span:.3f} s call"
