#!/usr/bin/env python3
"""Copies a few HE-AAC corpus streams into tests/data/he, cut to their first
frames, with the matching part of each reference (the first (n - 1) x
samples_per_frame samples per channel: decoding is causal).  An MP4-only
stream is stored as its access units in ADTS frames with its
AudioSpecificConfig in the list; a stream listed with a configuration is
decoded from it instead of its ADTS header.  Writes tests/data/he/streams.tsv.

    python3 tools/make_he_test_data.py [CORPUS_HE_DIR]
"""

import json
import os
import shutil
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools", "corpus"))
from run_corpus import adts_wrap, read_mp4  # noqa: E402
from make_test_data import adts_frames  # noqa: E402

CORPUS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(ROOT), "shared", "corpus-he")
OUT = os.path.join(ROOT, "tests", "data", "he")

# name -> (frames to keep, configure from the MP4's AudioSpecificConfig)
SELECTION = {
    "chord_stereo_48k_64k_v1": (6, False),        # a pair, steady tones
    "castanets_stereo_44k1_48k_v1": (6, False),   # transients, variable borders
    "speech_mono_32k_24k_v1": (6, False),
    "hftone_mono_48k_40k_v1": (8, False),         # a tone above the crossover: sinusoids
    "multi_5_1_48k_160k_v1": (4, False),          # three SBR elements and the LFE
    "explicit_bc_mono_48k_24k_v1": (6, True),     # sync extension 0x2B7
    "downsampled_stereo_32k_48k_v1": (6, True),   # 32-band synthesis at the core rate
    "decorr_stereo_44k1_40k_v2": (6, False),      # parametric stereo, four envelopes a frame
    "explicit_bc_stereo_48k_24k_v2": (6, True),   # parametric stereo announced by 0x548
}


def main():
    manifest = {s["name"]: s for s in json.load(open(os.path.join(CORPUS, "manifest.json")))["streams"]}
    for sub in ("streams", "ref"):  # mp4/ holds whole corpus files, kept as they are
        shutil.rmtree(os.path.join(OUT, sub), ignore_errors=True)
        os.makedirs(os.path.join(OUT, sub))
    lines = ["# name\tsampling_frequency_index\tlayout\tchannels\tsamples_per_frame\tasc\tframes\tpairs"]
    for name, (keep, from_asc) in SELECTION.items():
        entry = manifest[name]
        path = os.path.join(OUT, "streams", name + ".aac")
        asc = "-"
        if entry.get("container", "adts") == "mp4" or from_asc:
            config, units = read_mp4(os.path.join(CORPUS, entry["mp4"]["file"] if "mp4" in entry
                                                  else entry["file"]))
            adts_wrap(units[:keep], path, entry["sampling_frequency_index"],
                      entry["channel_configuration"])
            asc = config.hex()
        else:
            frames = adts_frames(open(os.path.join(CORPUS, entry["file"]), "rb").read())
            with open(path, "wb") as f:
                f.write(b"".join(frames[:keep]))
        ref = open(os.path.join(CORPUS, entry["reference"]), "rb").read()
        floats = (keep - 1) * entry["samples_per_frame"] * entry["channels"]
        with open(os.path.join(OUT, "ref", name + ".f32"), "wb") as f:
            f.write(ref[:floats * 4])
        pairs = ",".join("%d+%d" % tuple(p) for p in entry.get("pairs") or []) or "-"
        lines.append("\t".join([name, str(entry["sampling_frequency_index"]),
                                str(entry["channel_configuration"]), str(entry["channels"]),
                                str(entry["samples_per_frame"]), asc, str(keep), pairs]))
    with open(os.path.join(OUT, "streams.tsv"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
