#!/usr/bin/env python3
"""Decodes every stream of the corpus with corpus_decode and reports.

    python3 tools/corpus/run_corpus.py BUILD_DIR [--corpus DIR] [--out DIR] [--compare] [--strict]

For each stream: the decoder is configured as the corpus README says
(layout number, or the program_config_element 7 bytes into the file at bit
offset 3); refused streams must fail at creation with their expected status;
every other stream must parse every frame with status 0 and bytes_used equal
to the ADTS payload size.  With --compare the outputs are then checked
against the references by the corpus's compare.py (needs numpy).

An HE-AAC corpus (entries with an "sbr" field) is decoded through
aac_dec_create_he with implicit SBR and PS, each ADTS stream as its header
describes it; the decoded format must match the entry's rate and channels.
Entries without an ADTS file (MP4 only) are reported and skipped.
"""

import argparse
import json
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", help="build directory holding tools/corpus_decode")
    parser.add_argument("--corpus", default=os.path.join(os.path.dirname(ROOT), "shared", "corpus"))
    parser.add_argument("--out", default=None, help="where the .f32 outputs go")
    parser.add_argument("--compare", action="store_true")
    parser.add_argument("--strict", action="store_true", help="pass --strict to compare.py")
    args = parser.parse_args()

    tool = os.path.join(args.build, "tools", "corpus_decode")
    out_dir = args.out or os.path.join(args.build, "corpus_out")
    os.makedirs(out_dir, exist_ok=True)
    manifest = json.load(open(os.path.join(args.corpus, "manifest.json")))
    ok = True
    total_frames = 0
    print("%-36s %8s %7s %8s %9s %6s" % ("stream", "frames", "parsed", "failures", "size diff", "valid"))
    skipped = []
    for s in manifest["streams"]:
        he = "sbr" in s
        if he and s.get("container", "adts") != "adts":
            skipped.append(s["name"])
            print("%-36s MP4 only: not decoded here" % s["name"])
            continue
        cmd = [tool, os.path.join(args.corpus, s["file"]), os.path.join(out_dir, s["name"] + ".f32"),
               "--sfi", str(s["sampling_frequency_index"])]
        if he:
            cmd.append("--he")
        if s.get("pce_in_first_frame"):
            cmd += ["--pce-bit-offset", str(s["pce"]["bit_offset"])]
        else:
            cmd += ["--layout", str(s["adts_channel_configuration"])]
        line = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout.strip()
        fields = dict(kv.split("=") for kv in line.split())
        if s["layout"] == "refused":
            expected = s["expected_status"].split()[0].lower()
            good = fields["create_status"].lower() == expected
            print("%-36s refused at creation with %s: %s" % (s["name"], fields["create_status"],
                                                           "ok" if good else "WRONG"))
        else:
            frames, failures = int(fields.get("frames", 0)), int(fields.get("failures", -1))
            mismatches = int(fields.get("bytes_used_mismatches", -1))
            good = (fields["create_status"] == "0x00000000" and failures == 0 and mismatches == 0
                    and frames == s["frames"])
            if he:
                good &= (int(fields["rate"]) == s["sample_rate"]
                         and int(fields["channels"]) == s["channels"])
            else:
                good &= int(fields["layout"]) == s["layout"]
            total_frames += frames
            print("%-36s %8d %7d %8d %9d %6s %s" % (s["name"], frames, frames - failures, failures,
                                                   mismatches, fields.get("valid"),
                                                   "" if good else "FAILED " + line))
        ok &= good
    print("%d streams, %d frames decoded: %s" % (len(manifest["streams"]), total_frames,
                                                "all parsed" if ok else "FAILURES"))
    if args.compare:
        cmd = [sys.executable, os.path.join(args.corpus, "compare.py"),
               os.path.join(args.corpus, "manifest.json"), "--dir", out_dir]
        if args.strict:
            cmd.append("--strict")
        result = subprocess.run(cmd)
        ok &= result.returncode == 0
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
