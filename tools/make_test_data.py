#!/usr/bin/env python3
"""Copies a selection of corpus streams into tests/data, cut to their first
frames so the folder stays small, with the matching part of each reference.

Decoding is causal: the first n frames of a stream decode to the first
(n - 1) x 1024 samples per channel of its reference, so a cut stream keeps an
exact reference.  Writes tests/data/streams.tsv, which the tests read.

    python3 tools/make_test_data.py [CORPUS_DIR]
"""

import json
import os
import shutil
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(ROOT), "shared", "corpus")
OUT = os.path.join(ROOT, "tests", "data")

# name -> frames to keep (None: the whole stream)
SELECTION = {
    "vo_sweep_mono_8k_12k": None,          # lowest rate, mono
    "castanets_mono_11k025_24k": None,     # transients in mono
    "speech_mono_16k_24k": None,
    "mix_stereo_8k_16k": None,
    "white_stereo_22k05_32k_pns": 25,
    "corr_is_stereo_32k_48k": 30,          # intensity stereo
    "corr_ms_stereo_44k1_96k_msforced": 30,  # M/S in every band
    "castanets_stereo_44k1_96k": 30,       # short windows
    "vo_castanets_stereo_48k_96k": 30,
    "pink_stereo_48k_64k_pns": 30,         # noise substitution in pairs
    "hfnoise_mono_44k1_48k_pns": 30,
    "silence_stereo_48k_128k": 20,
    "fullscale_stereo_96k_256k": 20,       # highest rate
    "multi_5_0_32k_240k": 12,
    "multi_5_1_48k_320k": 12,
    "multi_7_1_44k1_448k": 10,
    "pce_mono_ffpce_48k_64k": 20,
    "pce_dualmono_32k": 20,
    "pce_3_0back_48k_160k": 16,
    "pce_quad_44k1_256k": 14,
    "pce_quad_tags_swapped_32k_192k": 12,
    "pce_5_1_inserted_48k_288k": 10,
    "refused_2_1_48k_160k": 2,             # refused at creation: two frames suffice
    "refused_3_0_ffpce_44k1_192k": 2,
    "refused_6_1_48k_384k": 2,
    "refused_quad_side_44k1_256k": 2,
}


def adts_frames(data):
    frames, pos = [], 0
    while pos + 7 <= len(data):
        assert data[pos] == 0xFF and (data[pos + 1] & 0xF6) == 0xF0, "lost ADTS sync"
        length = ((data[pos + 3] & 3) << 11) | (data[pos + 4] << 3) | (data[pos + 5] >> 5)
        frames.append(data[pos:pos + length])
        pos += length
    return frames


def main():
    manifest = {s["name"]: s for s in json.load(open(os.path.join(CORPUS, "manifest.json")))["streams"]}
    for sub in ("streams", "ref"):
        shutil.rmtree(os.path.join(OUT, sub), ignore_errors=True)
        os.makedirs(os.path.join(OUT, sub))
    lines = ["# name\tsampling_frequency_index\tlayout\tchannels\tpce_bit_offset\texpected_status"
             "\tcomparison\tframes\tpairs"]
    for name, keep in SELECTION.items():
        entry = manifest[name]
        frames = adts_frames(open(os.path.join(CORPUS, entry["file"]), "rb").read())
        assert len(frames) == entry["frames"]
        n = len(frames) if keep is None else min(keep, len(frames))
        with open(os.path.join(OUT, "streams", name + ".aac"), "wb") as f:
            f.write(b"".join(frames[:n]))
        refused = entry["layout"] == "refused"
        if not refused:
            ref = open(os.path.join(CORPUS, entry["reference"]), "rb").read()
            floats = (n - 1) * 1024 * entry["channels"]
            assert len(ref) >= floats * 4
            with open(os.path.join(OUT, "ref", name + ".f32"), "wb") as f:
                f.write(ref[:floats * 4])
        status = entry.get("expected_status") or "0"
        pairs = ",".join("%d+%d" % tuple(p) for p in entry.get("pairs") or []) or "-"
        lines.append("\t".join([
            name, str(entry["sampling_frequency_index"]),
            "0" if refused else str(entry["layout"]), str(entry["channels"]),
            str(entry["pce"]["bit_offset"]) if entry.get("pce_in_first_frame") else "-",
            status.split()[0], entry["comparison"], str(n), pairs]))
    with open(os.path.join(OUT, "streams.tsv"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
