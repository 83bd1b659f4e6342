#!/usr/bin/env python3
"""Times a long stereo decode through the Python package against aacdec.

Makes a stream of about ten minutes by repeating the frames of a stereo
ADTS stream (in a temporary directory), then runs, alternately and --runs
times each:

  aacdec   aacdec -q -f f32 -o FILE: raw float to a file
  python   a fresh interpreter: import lumdec, lumdec.decode(FILE)
  call     the lumdec.decode() call alone, timed inside the interpreter
  into     then Reader.readinto() of the same stream into the array that
           decode() returned: the decoding without the first touch of
           fresh memory (expensive on virtual machines)
  import   a fresh interpreter that only imports lumdec (and numpy)

and then, in one interpreter, two decodes of the stream one after the other
against the same two on two threads (the GIL is released while decoding).

and prints the median wall time and the median CPU time (user + system) of
each.  Alternating keeps the load of other work on a shared machine from
favouring one side.

    bench/python_decode.py --aacdec build/tools/aacdec/aacdec --python .venv/bin/python
"""

import argparse
import os
import pathlib
import resource
import statistics
import subprocess
import sys
import tempfile
import time

REPO = pathlib.Path(__file__).resolve().parents[1]
DEFAULT_STREAM = REPO.parent / "shared" / "perf" / "s44_stereo_128k.aac"
FALLBACK_STREAM = REPO / "tests" / "data" / "streams" / "castanets_stereo_44k1_96k.aac"

CALL = """
import sys, time
import lumdec
start, cpu = time.perf_counter(), time.process_time()
samples, rate = lumdec.decode(sys.argv[1])
print(time.perf_counter() - start, time.process_time() - cpu, samples.shape[0] / rate)
if len(sys.argv) > 2:
    reader = lumdec.open(sys.argv[1])
    reader.scan()
    start, cpu = time.perf_counter(), time.process_time()
    reader.readinto(samples)
    print(time.perf_counter() - start, time.process_time() - cpu)
"""


THREADS = """
import sys, time
from concurrent.futures import ThreadPoolExecutor
import lumdec
paths = [sys.argv[1]] * 2
start = time.perf_counter()
for path in paths:
    lumdec.decode(path)
serial = time.perf_counter() - start
with ThreadPoolExecutor(2) as pool:
    start = time.perf_counter()
    list(pool.map(lumdec.decode, paths))
print(serial, time.perf_counter() - start)
"""


def timed(command):
    """(wall seconds, CPU seconds, stdout) of one run of command."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    run = subprocess.run(command, check=True, capture_output=True, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, run.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--aacdec", default=str(REPO / "build" / "tools" / "aacdec" / "aacdec"))
    parser.add_argument("--python", default=sys.executable, help="interpreter with lumdec")
    parser.add_argument("--stream", default=str(DEFAULT_STREAM if DEFAULT_STREAM.exists()
                                                else FALLBACK_STREAM))
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as scratch:
        piece = pathlib.Path(args.stream).read_bytes()
        # Repeat until the length is reached, judged by a decode of one piece.
        _, _, out = timed([args.python, "-c", CALL, args.stream])
        seconds = float(out.split()[2])
        long_stream = os.path.join(scratch, "long.aac")
        copies = max(1, round(args.minutes * 60 / seconds))
        with open(long_stream, "wb") as stream:
            for _ in range(copies):
                stream.write(piece)
        raw = os.path.join(scratch, "out.f32")

        results = {"aacdec": [], "python": [], "call": [], "into": [], "import": []}
        threads = []
        for _ in range(args.runs):
            wall, cpu, _ = timed([args.aacdec, "-q", "-f", "f32", "-o", raw, long_stream])
            results["aacdec"].append((wall, cpu))
            os.unlink(raw)
            wall, cpu, _ = timed([args.python, "-c", CALL, long_stream])
            results["python"].append((wall, cpu))
            _, _, out = timed([args.python, "-c", CALL, long_stream, "into"])
            call, call_cpu, length, into, into_cpu = (float(word) for word in out.split())
            results["call"].append((call, call_cpu))
            results["into"].append((into, into_cpu))
            wall, cpu, _ = timed([args.python, "-c", "import lumdec"])
            results["import"].append((wall, cpu))
            _, _, out = timed([args.python, "-c", THREADS, long_stream])
            threads.append([float(word) for word in out.split()])

    print(f"{pathlib.Path(args.stream).name} x {copies}: {length:.1f} s of audio, "
          f"{args.runs} runs, load average {os.getloadavg()[0]:.1f}")
    base = statistics.median(wall for wall, _ in results["aacdec"])
    for name, runs in results.items():
        wall = statistics.median(w for w, _ in runs)
        cpu = statistics.median(c for _, c in runs)
        print(f"{name:8} {wall:7.3f} s wall {cpu:7.3f} s CPU  {wall / base:6.2f} x aacdec")
    serial = statistics.median(pair[0] for pair in threads)
    threaded = statistics.median(pair[1] for pair in threads)
    print(f"two decodes: {serial:.3f} s one after the other, {threaded:.3f} s on two threads "
          f"({serial / threaded:.2f} x)")


if __name__ == "__main__":
    main()
