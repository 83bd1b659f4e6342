#!/usr/bin/env python3
"""Decodes every AAC file under a directory on a Dask cluster.

Each task decodes one file and returns a small record (rate, channels,
samples, duration, RMS per channel, or the error), so only summaries travel
back to the client.  Without --scheduler a local cluster of --workers
processes is started; with it, an existing cluster does the work:

    python3 dask_summary.py tests/data --workers 2
    python3 dask_summary.py /data/podcasts --scheduler tcp://10.0.0.5:8786 --json > summary.json

Decoding releases the GIL, so threads of one worker decode in parallel too
(--threads).  Writing a derived file per task instead of a summary is the
same pattern: do it inside summarise() and return the path written.
"""

import argparse
import json
import os
import sys
import warnings

import numpy as np

import lumdec

EXTENSIONS = (".aac", ".adts", ".m4a", ".mp4")


def find_files(root):
    """The AAC files under root, in a stable order."""
    found = []
    for directory, _dirs, names in os.walk(root):
        found.extend(os.path.join(directory, name) for name in names
                     if name.lower().endswith(EXTENSIONS))
    return sorted(found)


def summarise(path):
    """Decodes one file; what the client gets back for it (the damage
    concealed in it as the library's warnings, not printed by the worker)."""
    try:
        with warnings.catch_warnings(), lumdec.open(path) as reader:
            warnings.simplefilter("ignore", lumdec.DamageWarning)
            samples, rate = reader.read(), reader.sample_rate
    except lumdec.Error as exc:
        return {"path": path, "error": f"{type(exc).__name__}: {exc}"}
    count = samples.shape[0]
    rms = np.sqrt(np.mean(np.square(samples, dtype=np.float64), axis=0)) if count else \
        np.zeros(samples.shape[1])
    return {"path": path, "sample_rate": rate, "channels": samples.shape[1], "samples": count,
            "duration": count / rate, "rms": rms.tolist(), "warnings": reader.warnings}


def summarise_all(paths, scheduler=None, workers=2, threads=1):
    """summarise() over paths on a Dask cluster, results in the order of paths."""
    import dask.bag as db
    from dask.distributed import Client, LocalCluster

    if scheduler:
        client = Client(scheduler)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=workers, threads_per_worker=threads,
                               processes=True, dashboard_address=None)
        client = Client(cluster)
    try:
        return db.from_sequence(paths, partition_size=1).map(summarise).compute()
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("root", help="directory to search for .aac, .adts, .m4a and .mp4 files")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=2, help="local worker processes")
    parser.add_argument("--threads", type=int, default=1, help="threads per local worker")
    parser.add_argument("--json", action="store_true", help="print the records as JSON")
    args = parser.parse_args(argv)

    results = summarise_all(find_files(args.root), args.scheduler, args.workers, args.threads)
    if args.json:
        json.dump(results, sys.stdout, indent=1)
        print()
        return 0
    for record in results:
        if "error" in record:
            print(f"{record['path']}: {record['error']}")
        else:
            rms = " ".join(f"{value:.4f}" for value in record["rms"])
            print(f"{record['path']}: {record['duration']:.3f} s, {record['sample_rate']} Hz, "
                  f"RMS {rms}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
