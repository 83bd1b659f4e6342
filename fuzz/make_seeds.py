#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from the test streams in
tests/data: for the decode target, each stream's configuration and its first
frames in the target's input format (see decode_target.cc); for the create
target, each stream's configuration values or program_config_element; for
the readers target, the starts of a few ADTS streams and MP4 files (from
the shared corpus beside the repository) and an AudioSpecificConfig.  The
HE-AAC streams of tests/data/he seed both targets through the HE exports.

    python3 fuzz/make_seeds.py
"""

import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "tests", "data")
OUT = os.path.join(ROOT, "fuzz", "corpus")
MP4 = os.path.join(os.path.dirname(ROOT), "shared", "corpus", "mp4")
FRAMES = 8

# decode target option bits
CONCEAL, OUTPUT_HOOK, SYN_ELEM_HOOK, POOL = 1, 2, 4, 8


def adts_payloads(data):
    frames, pos = [], 0
    while pos + 7 <= len(data) and data[pos] == 0xFF and data[pos + 1] & 0xF0 == 0xF0:
        length = ((data[pos + 3] & 3) << 11) | (data[pos + 4] << 3) | (data[pos + 5] >> 5)
        header = 7 if data[pos + 1] & 1 else 9
        frames.append(data[pos + header:pos + length])
        pos += length
    return frames


def streams():
    with open(os.path.join(DATA, "streams.tsv")) as f:
        rows = [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]
    for row in rows:
        name, sfi, layout, _, pce_offset = row[:5]
        with open(os.path.join(DATA, "streams", name + ".aac"), "rb") as f:
            payloads = adts_payloads(f.read())
        yield name, int(sfi), int(layout), (None if pce_offset == "-" else int(pce_offset)), payloads


def he_streams():
    with open(os.path.join(DATA, "he", "streams.tsv")) as f:
        rows = [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]
    for row in rows:
        name, sfi, layout, _, _, asc = row[:6]
        with open(os.path.join(DATA, "he", "streams", name + ".aac"), "rb") as f:
            payloads = adts_payloads(f.read())
        yield name, int(sfi), int(layout), None if asc == "-" else bytes.fromhex(asc), payloads


# decode target: HE decoder, implicit SBR and PS; from an AudioSpecificConfig
HE_IMPLICIT = 2 | 1 << 2 | 1 << 4
HE_ASC = 2 | 64 | 128


def decode_seed(sfi, layout, pce_offset, payloads, options, misbehave=0, gains=0, tables=0, asc=None):
    if asc is not None:
        head = bytes([16 | (layout - 1), sfi])
        element = bytes([len(asc)]) + asc
    elif pce_offset is None:
        head = bytes([layout - 1, sfi])
        element = b""
    else:
        head = bytes([16, pce_offset << 5])
        element = payloads[0][:64]
        element = bytes([len(element)]) + element
    head += bytes([options, 0]) + struct.pack("<I", 0x2545F491) + bytes([misbehave, gains, tables])
    frames = payloads[:FRAMES] + [b""] + payloads[FRAMES:FRAMES + 2]
    body = b"".join(struct.pack("<H", len(p)) + p for p in frames)
    return head + element + body


class Bits:
    def __init__(self):
        self.bits = []

    def put(self, value, n):
        self.bits += [(value >> i) & 1 for i in range(n - 1, -1, -1)]

    def bytes(self):
        padded = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int("".join(map(str, padded[i:i + 8])), 2) for i in range(0, len(padded), 8))


def crowded_frame(fill_elements):
    """A mono frame: a silent single_channel_element, then empty fill
    elements, then END; 63 elements before END are the most a frame may hold."""
    w = Bits()
    w.put(0, 3 + 4)             # SCE, tag 0
    w.put(100, 8)               # global_gain
    w.put(0, 11 + 3)            # long window, max_sfb 0; no pulse, TNS, gain control
    for _ in range(fill_elements):
        w.put(6, 3)             # FIL
        w.put(0, 4)             # count 0
    w.put(7, 3)                 # END
    return w.bytes()


def create_seed(sfi, layout, pce_offset, payloads):
    if pce_offset is None:
        return bytes([0, 0, 0, 1, sfi, layout])
    return bytes([1, pce_offset, 0, 1, sfi, 0]) + payloads[0][:64]


def write(target, name, data):
    directory = os.path.join(OUT, target)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def reader_seeds():
    for name in ["speech_mono_16k_24k", "pce_quad_44k1_256k", "multi_5_1_48k_320k",
                 "mix_stereo_8k_16k"]:
        with open(os.path.join(DATA, "streams", name + ".aac"), "rb") as f:
            write("readers", name + ".aac", b"\x00" + f.read(4096))
    # Whole small files, and the head of one whose moov comes first.
    for name, cut in [("speech_mono_16k_24k.m4a", None),
                      ("sweep_mono_44k1_64k_fragmented.mp4", None),
                      ("castanets_stereo_44k1_96k_faststart.m4a", 12288)]:
        with open(os.path.join(MP4, name), "rb") as f:
            write("readers", name, b"\x00" + f.read(cut if cut else -1))
    write("readers", "asc_lc_44k1_stereo", bytes([0x80, 0x12, 0x10]))


def main():
    everything = CONCEAL | OUTPUT_HOOK | SYN_ELEM_HOOK | POOL
    for i, (name, sfi, layout, pce_offset, payloads) in enumerate(streams()):
        write("create", name, create_seed(sfi, layout, pce_offset, payloads))
        if layout == 0:
            continue
        write("decode", name, decode_seed(sfi, layout, pce_offset, payloads, everything))
        # Every third stream also with a host that fails and swaps, and
        # with hooks, pool and concealment turned off.
        if i % 3 == 0:
            write("decode", name + "-unruly",
                  decode_seed(sfi, layout, pce_offset, payloads, everything | 16 | 32,
                              misbehave=0x1B, gains=0x81))
            write("decode", name + "-bare", decode_seed(sfi, layout, pce_offset, payloads, 0))
    for name, sfi, layout, asc, payloads in he_streams():
        if asc is None:
            write("create", "he_" + name, bytes([32, 0, 1 | 1 << 3, 1, sfi, layout]))
            write("decode", "he_" + name, decode_seed(sfi, layout, None, payloads, everything,
                                                      tables=HE_IMPLICIT))
        else:
            write("create", "asc_" + name, bytes([8 | 16, 0, 0, 1, sfi, layout]) + asc)
            write("decode", "asc_" + name, decode_seed(sfi, layout, None, payloads, everything,
                                                       tables=HE_ASC, asc=asc))
    write("decode", "crowded_frames",
          decode_seed(4, 1, None, [crowded_frame(62), crowded_frame(63), crowded_frame(62)],
                      everything))
    if os.path.isdir(MP4):
        reader_seeds()


main()
