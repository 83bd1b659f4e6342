#!/usr/bin/env python3
"""Decodes every stream of the corpus with corpus_decode and reports.

    python3 tools/corpus/run_corpus.py BUILD_DIR [--corpus DIR] [--out DIR] [--compare] [--strict]
                                       [--mp4] [--aacdec]

For each stream: the decoder is configured as the corpus README says
(layout number, or the program_config_element 7 bytes into the file at bit
offset 3); refused streams must fail at creation with their expected status;
every other stream must parse every frame with status 0 and bytes_used equal
to the ADTS payload size.  With --compare the outputs are then checked
against the references by the corpus's compare.py (needs numpy).

An HE-AAC corpus (entries with an "sbr" field) is decoded through
aac_dec_create_he with implicit SBR and PS, each ADTS stream as its header
describes it; the decoded format must match the entry's rate and channels.
An MP4-only entry is decoded from its AudioSpecificConfig and the access
units of its track, put into ADTS frames only to delimit them.  --mp4 also
decodes the MP4 copy of every ADTS entry that has one (into NAME.mp4.f32,
compared under the entry's name in a second compare.py run).

--aacdec decodes each file with aacdec (raw float output) instead, the
way a user would: ADTS streams and MP4 files through the file interface.
Its outputs are lined up with the references, which hold the output of
frames 2..n: an ADTS output starts there and carries one more block at the
end (the last frame's second half), which is cut; an MP4 output presents
the media from sample 0 (these files have an edit list from media time 0),
so its first block (the output of frame 1) is dropped.  A stream that must
be refused must make aacdec fail with exit status 3.
"""

import argparse
import json
import os
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _boxes(data, start, end):
    while start + 8 <= end:
        size, kind = struct.unpack(">I4s", data[start:start + 8])
        header = 8
        if size == 1:
            size = struct.unpack(">Q", data[start + 8:start + 16])[0]
            header = 16
        elif size == 0:
            size = end - start
        yield kind.decode("latin-1"), start + header, start + size
        start += size


def _find(data, start, end, path):
    for kind, body, stop in _boxes(data, start, end):
        if kind == path[0]:
            if len(path) == 1:
                return body, stop
            skip = {"stsd": 8, "mp4a": 28, "meta": 4}.get(kind, 0)
            found = _find(data, body + skip, stop, path[1:])
            if found:
                return found
    return None


def _descriptor(data, pos):
    tag = data[pos]
    pos += 1
    size = 0
    while True:
        b = data[pos]
        pos += 1
        size = (size << 7) | (b & 0x7F)
        if not b & 0x80:
            return tag, pos, size


def read_mp4(path):
    """AudioSpecificConfig and access units of the first track of an MP4 file."""
    data = open(path, "rb").read()
    stbl = _find(data, 0, len(data), ["moov", "trak", "mdia", "minf", "stbl"])
    esds = _find(data, stbl[0], stbl[1], ["stsd", "mp4a", "esds"])
    pos = esds[0] + 4
    tag, pos, _ = _descriptor(data, pos)  # ES_Descriptor
    pos += 3
    tag, pos, _ = _descriptor(data, pos)  # DecoderConfigDescriptor
    pos += 13
    tag, pos, size = _descriptor(data, pos)  # DecoderSpecificInfo
    asc = data[pos:pos + size]
    body, stop = _find(data, stbl[0], stbl[1], ["stsz"])
    sample_size, count = struct.unpack(">II", data[body + 4:body + 12])
    sizes = [sample_size] * count if sample_size else \
        list(struct.unpack(">%dI" % count, data[body + 12:body + 12 + 4 * count]))
    body, stop = _find(data, stbl[0], stbl[1], ["stsc"])
    n = struct.unpack(">I", data[body + 4:body + 8])[0]
    runs = [struct.unpack(">III", data[body + 8 + 12 * i:body + 20 + 12 * i]) for i in range(n)]
    found = _find(data, stbl[0], stbl[1], ["stco"])
    if found:
        m = struct.unpack(">I", data[found[0] + 4:found[0] + 8])[0]
        offsets = struct.unpack(">%dI" % m, data[found[0] + 8:found[0] + 8 + 4 * m])
    else:
        found = _find(data, stbl[0], stbl[1], ["co64"])
        m = struct.unpack(">I", data[found[0] + 4:found[0] + 8])[0]
        offsets = struct.unpack(">%dQ" % m, data[found[0] + 8:found[0] + 8 + 8 * m])
    units, sample = [], 0
    for chunk, offset in enumerate(offsets):
        per = [r[1] for r in runs if r[0] <= chunk + 1][-1]
        for _ in range(per):
            if sample < len(sizes):
                units.append(data[offset:offset + sizes[sample]])
                offset += sizes[sample]
                sample += 1
    return asc, units


def adts_wrap(units, path, sampling_frequency_index=4, channel_configuration=2):
    """ADTS frames (AAC LC) around raw access units.  A decoder made from an
    AudioSpecificConfig does not read the header; a reader of the file does,
    so it should name the core's rate and channels."""
    sfi, cc = sampling_frequency_index, channel_configuration
    with open(path, "wb") as f:
        for u in units:
            length = len(u) + 7
            f.write(bytes([0xFF, 0xF1, 0x40 | (sfi << 2) | (cc >> 2), ((cc & 3) << 6) | (length >> 11),
                           (length >> 3) & 0xFF, ((length & 7) << 5) | 0x1F, 0xFC]) + u)


def run_aacdec(args, manifest, out_dir):
    """Decodes every stream (and with --mp4 every MP4 copy) with aacdec."""
    tool = os.path.join(args.build, "tools", "aacdec", "aacdec")
    ok = True
    mp4_outputs = []
    scratch = tempfile.mkdtemp()
    print("%-40s %9s %9s %9s" % ("stream", "samples", "expected", "cut"))
    for s in manifest["streams"]:
        he = "sbr" in s
        jobs = []
        if he and s.get("container", "adts") != "adts":
            jobs.append((s["file"], s["name"] + ".f32", True))
        else:
            jobs.append((s["file"], s["name"] + ".f32", False))
            if args.mp4 and "mp4" in s:
                jobs.append((s["mp4"]["file"], s["name"] + ".mp4.f32", True))
        for stream, out_name, mp4 in jobs:
            raw = os.path.join(scratch, out_name)
            result = subprocess.run([tool, "-q", "-f", "f32", os.path.join(args.corpus, stream),
                                     "-o", raw], capture_output=True, text=True)
            if s["layout"] == "refused":
                good = result.returncode == 3
                print("%-40s refused by aacdec (status %d): %s" % (s["name"], result.returncode,
                                                                  "ok" if good else "WRONG"))
                ok &= good
                continue
            if result.returncode != 0:
                print("%-40s FAILED: status %d %s" % (out_name[:-4], result.returncode,
                                                     result.stderr.strip()))
                ok = False
                continue
            channels = s["channels"]
            block = s.get("samples_per_frame", 1024)
            data = open(raw, "rb").read()
            samples = len(data) // (4 * channels)
            skip = block if mp4 else 0
            want = s["samples_per_channel"]
            good = samples >= skip + want
            with open(os.path.join(out_dir, out_name), "wb") as f:
                f.write(data[4 * channels * skip:4 * channels * (skip + want)])
            print("%-40s %9d %9d %9d %s" % (out_name[:-4], samples, want, samples - want,
                                             "" if good else "TOO SHORT"))
            ok &= good
            if out_name.endswith(".mp4.f32"):
                mp4_outputs.append((s["name"], os.path.join(out_dir, out_name)))
    return ok, mp4_outputs


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", help="build directory holding tools/corpus_decode")
    parser.add_argument("--corpus", default=os.path.join(os.path.dirname(ROOT), "shared", "corpus"))
    parser.add_argument("--out", default=None, help="where the .f32 outputs go")
    parser.add_argument("--compare", action="store_true")
    parser.add_argument("--strict", action="store_true", help="pass --strict to compare.py")
    parser.add_argument("--mp4", action="store_true", help="also decode the MP4 copies")
    parser.add_argument("--aacdec", action="store_true", help="decode the files with aacdec")
    args = parser.parse_args()

    tool = os.path.join(args.build, "tools", "corpus_decode")
    out_dir = args.out or os.path.join(args.build, "aacdec_out" if args.aacdec else "corpus_out")
    os.makedirs(out_dir, exist_ok=True)
    manifest = json.load(open(os.path.join(args.corpus, "manifest.json")))
    if args.aacdec:
        ok, mp4_outputs = run_aacdec(args, manifest, out_dir)
        return compare(args, out_dir, mp4_outputs, ok)
    ok = True
    total_frames = 0
    print("%-36s %8s %7s %8s %9s %6s" % ("stream", "frames", "parsed", "failures", "size diff", "valid"))
    jobs = []
    for s in manifest["streams"]:
        he = "sbr" in s
        if he and s.get("container", "adts") != "adts":
            jobs.append((s, s["file"], s["name"] + ".f32"))
        else:
            jobs.append((s, None, s["name"] + ".f32"))
            if args.mp4 and he and "mp4" in s:
                jobs.append((s, s["mp4"]["file"], s["name"] + ".mp4.f32"))
    scratch = tempfile.mkdtemp()
    mp4_outputs = []
    for s, mp4, out_name in jobs:
        he = "sbr" in s
        stream = os.path.join(args.corpus, s["file"])
        extra = []
        if mp4:
            asc, units = read_mp4(os.path.join(args.corpus, mp4))
            stream = os.path.join(scratch, out_name + ".aac")
            adts_wrap(units, stream)
            extra = ["--asc", asc.hex()]
            if out_name.endswith(".mp4.f32"):
                mp4_outputs.append((s["name"], os.path.join(out_dir, out_name)))
        cmd = [tool, stream, os.path.join(out_dir, out_name),
               "--sfi", str(s["sampling_frequency_index"])] + extra
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
            print("%-36s %8d %7d %8d %9d %6s %s" % (out_name[:-4], frames, frames - failures, failures,
                                                   mismatches, fields.get("valid"),
                                                   "" if good else "FAILED " + line))
        ok &= good
    print("%d streams, %d frames decoded: %s" % (len(manifest["streams"]), total_frames,
                                                "all parsed" if ok else "FAILURES"))
    return compare(args, out_dir, mp4_outputs, ok)


def compare(args, out_dir, mp4_outputs, ok):
    if args.compare:
        base = [sys.executable, os.path.join(args.corpus, "compare.py"),
                os.path.join(args.corpus, "manifest.json")] + (["--strict"] if args.strict else [])
        result = subprocess.run(base + ["--dir", out_dir])
        ok &= result.returncode == 0
        if mp4_outputs:
            print("MP4 copies:")
            result = subprocess.run(base + ["%s=%s" % pair for pair in mp4_outputs])
            ok &= result.returncode == 0
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
