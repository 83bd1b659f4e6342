#!/usr/bin/env python3
"""Instructions per frame per channel of steady-state decoding, by stream and
by stage, counted by valgrind's callgrind (counts repeat to within 0.01 %).

    python3 tools/perf/instructions.py BUILD_DIR [--he] [STREAM.aac ...]

Without streams it takes the four perf streams in ../shared/perf, or the test
streams when those are absent.  With link-time optimisation (LUMDEC_LTO, on
by default with GCC) the stages inline into the decode call and only the
total and the parser's share stay apart.  Only the decode passes are counted (the
decoder has decoded the stream once before), not reading the file.  With
--he the streams are decoded as HE-AAC (implicit SBR and PS): figures are per
output frame (2048 samples) and output channel, and the SBR stages show.
"""

import glob
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# Each stage is the inclusive cost of its entry points, so the vector
# kernels a stage calls count in it; "other" is the rest (the decode driver,
# the hooks, the calls between stages).
STAGES = [
    ("Huffman and side info", ("aac_parse_raw_data_block(",)),
    ("inverse quantisation", ("dequantize_and_scale(", "apply_pulse_data(")),
    ("stereo tools", ("ms_stereo(", "intensity_stereo(", "expand_band_codebooks(")),
    ("TNS", ("tns_decode(",)),
    ("PNS", ("noise_substitution(", "noise_substitution_pair(")),
    ("transform", ("inverse_transform(",)),
    ("windowing and overlap", ("output_single_channel(", "output_channel_pair(")),
    ("QMF analysis", ("(anonymous namespace)::qmf_analysis(", "sbr_qmf_analysis_avx2(")),
    ("HF generation", ("sbr_hf_generate(",)),
    ("HF adjustment", ("sbr_hf_adjust(",)),
    ("QMF synthesis", ("(anonymous namespace)::qmf_synthesis(", "sbr_qmf_synthesis_avx2(")),
]


def stage_of(function):
    # Internal names live in namespace lumdec; entries are written without it.
    name = function.split(":", 1)[-1].strip()
    if name.startswith("lumdec::"):
        name = name[len("lumdec::"):]
    for stage, entries in STAGES:
        if any(name.startswith(e) for e in entries):
            return stage
    return None


def measure(build, stream, he=False):
    tool = os.path.join(build, "tools", "perf_decode")
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "cg.out")
        run = subprocess.run(["valgrind", "--tool=callgrind", "--collect-atstart=no",
                              "--callgrind-out-file=" + out, tool, stream, "1"] + (["--he"] if he else []),
                             capture_output=True, text=True, check=True)
        info = dict(kv.split("=") for kv in run.stdout.split())
        annotate = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", out],
                                  capture_output=True, text=True, check=True).stdout
    total, stages = 0, {}
    for line in annotate.splitlines():
        m = re.match(r"\s*([\d,]+)\s+(?:\([^)]*\)\s+)?(.+)$", line)
        if not m or "PROGRAM TOTALS" in line:
            if m and "PROGRAM TOTALS" in line:
                total = int(m.group(1).replace(",", ""))
            continue
        count, function = int(m.group(1).replace(",", "")), m.group(2)
        if "[" not in function:
            continue
        stage = stage_of(function)
        if stage:
            stages[stage] = stages.get(stage, 0) + count
    per = int(info["frames"]) * int(info["channels"]) * int(info["passes"])
    stages["other"] = total - sum(stages.values())
    return total / per, {k: v / per for k, v in stages.items()}


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
    he = "--he" in sys.argv[2:]
    streams = [s for s in sys.argv[2:] if s != "--he"]
    if not streams:
        streams = sorted(glob.glob(os.path.join(os.path.dirname(ROOT), "shared", "perf", "*.aac")))
    if not streams:
        streams = sorted(glob.glob(os.path.join(ROOT, "tests", "data", "streams", "*.aac")))[:4]
    names = [stage for stage, _ in STAGES] + ["other"]
    print("| stream | Ir/frame/ch | " + " | ".join(names) + " |")
    print("|---|---:|" + "---:|" * len(names))
    merged = False
    for stream in streams:
        total, stages = measure(build, stream, he)
        cells = ["%.0f" % stages.get(n, 0) for n in names]
        print("| %s | %.0f | %s |" % (os.path.basename(stream)[:-4], total, " | ".join(cells)))
        merged = merged or not stages.get("transform")
    if merged:
        print("\nThe stages' entry points were inlined at link time (LUMDEC_LTO): "
              "configure with -DLUMDEC_LTO=OFF to see them apart.")


if __name__ == "__main__":
    main()
