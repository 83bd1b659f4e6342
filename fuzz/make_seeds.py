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


def box(kind, payload):
    return struct.pack(">I", 8 + len(payload)) + kind + payload


def full_box(kind, version, flags, payload):
    return box(kind, bytes([version]) + flags.to_bytes(3, "big") + payload)


def audio_entry(asc, rate, qt_version):
    """An 'mp4a' sample entry; QuickTime versions 1 and 2 put the esds in a
    'wave' box after 'frma' and an 'mp4a' atom, closed by a terminator."""
    if qt_version == 2:
        fields = struct.pack(">HH4sHHhHIId", 2, 0, b"", 3, 16, -2, 0, 65536, 72, float(rate))
        fields += struct.pack(">IIIIII", 2, 0x7F000000, 16, 0, 0, 1024)
    else:
        fields = struct.pack(">HH4sHHHHI", qt_version, 0, b"", 2, 16, 0, 0, rate << 16)
        fields += bytes(16) if qt_version == 1 else b""
    config = bytes([0x40, 0x15]) + bytes(11) + bytes([5, len(asc)]) + asc
    es = b"\x00\x01\x00" + bytes([4, len(config)]) + config + b"\x06\x01\x02"
    esds = full_box(b"esds", 0, 0, bytes([3, len(es)]) + es)
    if qt_version:
        esds = box(b"wave", box(b"frma", b"mp4a") + box(b"mp4a", bytes(4)) + esds + bytes(8))
    return box(b"mp4a", bytes(6) + struct.pack(">H", 1) + fields + esds)


def mp4_file(payloads, asc, rate, qt_version=0, edits=(), tags=(), media_duration=None):
    """A small MP4 file around the frames: moov first, one chunk, an edit
    list of (media_time, duration) and iTunes tags if given."""
    n = len(payloads)
    duration = n * 1024 if media_duration is None else media_duration
    elst = b"".join(struct.pack(">IiI", d, t, 0x10000) for t, d in edits)
    edts = box(b"edts", full_box(b"elst", 0, 0, struct.pack(">I", len(edits)) + elst)) if edits else b""
    ilst = b"".join(box(k, box(b"data", struct.pack(">II", 1, 0) + v)) for k, v in tags)
    udta = box(b"udta", full_box(b"meta", 0, 0, full_box(b"hdlr", 0, 0, bytes(4) + b"mdir" + bytes(12))
                                 + box(b"ilst", ilst))) if tags else b""

    def moov(data_offset):
        stbl = (full_box(b"stsd", 0, 0, struct.pack(">I", 1) + audio_entry(asc, rate, qt_version))
                + full_box(b"stts", 0, 0, struct.pack(">III", 1, n, 1024))
                + full_box(b"stsc", 0, 0, struct.pack(">IIII", 1, 1, n, 1))
                + full_box(b"stsz", 0, 0, struct.pack(">II", 0, n) + b"".join(struct.pack(">I", len(p)) for p in payloads))
                + full_box(b"stco", 0, 0, struct.pack(">II", 1, data_offset)))
        mdia = (full_box(b"mdhd", 0, 0, bytes(8) + struct.pack(">IIi", rate, duration, 0))
                + full_box(b"hdlr", 0, 0, bytes(4) + b"soun" + bytes(13)) + box(b"minf", box(b"stbl", stbl)))
        trak = box(b"trak", full_box(b"tkhd", 0, 3, bytes(8) + struct.pack(">I", 1) + bytes(68)) + edts + box(b"mdia", mdia))
        return box(b"moov", full_box(b"mvhd", 0, 0, bytes(8) + struct.pack(">I", rate) + bytes(84)) + trak + udta)

    ftyp = box(b"ftyp", b"M4A \x00\x00\x00\x00isom")
    head = len(ftyp) + len(moov(0)) + 8
    return ftyp + moov(head) + box(b"mdat", b"".join(payloads))


def adts(payloads, byte2, byte3):
    out = b""
    for p in payloads:
        n = len(p) + 7
        out += bytes([0xFF, 0xF1, byte2, byte3 | (n >> 11), (n >> 3) & 0xFF, ((n & 7) << 5) | 0x1F, 0xFC]) + p
    return out


def damaged_reader_seeds():
    """Files in the layouts that once broke the readers: QuickTime sample
    entries, edit lists with empty edits, tags, and ADTS with damaged or
    changing headers."""
    with open(os.path.join(DATA, "streams", "speech_mono_16k_24k.aac"), "rb") as f:
        speech = adts_payloads(f.read())[:12]
    asc = bytes([0x14, 0x08])  # LC, 16 kHz, mono
    write("readers", "quicktime_v1_wave.m4a", b"\x00" + mp4_file(speech, asc, 16000, qt_version=1))
    write("readers", "quicktime_v2_wave.m4a", b"\x00" + mp4_file(speech, asc, 16000, qt_version=2))
    write("readers", "edits_tags.m4a", b"\x00" + mp4_file(
        speech, asc, 16000, edits=[(-1, 1600), (2112, 12 * 1024 - 2112)], media_duration=12 * 1024 - 2112,
        tags=[(b"\xa9nam", b"title"), (b"\xa9ART", b"artist"), (b"\xa9too", b"encoder")]))
    frames = [bytearray(f) for f in [adts([p], 0x60, 0x40) for p in speech]]
    frames[0][1] ^= 0x04                     # layer bits of the first header
    for f in frames[6:]:
        f[1] |= 0x08                         # MPEG-2 from frame 7 on
    write("readers", "adts_layer_bit_and_id_switch.aac", b"\x00" + b"".join(frames))
    write("readers", "adts_stray_bytes.aac", b"\x00" + b"".join(bytes(f) + b"\x5a" for f in frames))
    write("readers", "adts_rate_change.aac", b"\x00" + adts(speech[:6], 0x60, 0x40) + adts(speech[6:], 0x4C, 0x40))


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
    # HE-AAC: implicit PS in ADTS (planar reads after a scan), explicit
    # hierarchical PS and downsampled SBR in MP4.
    with open(os.path.join(DATA, "he", "streams", "decorr_stereo_44k1_40k_v2.aac"), "rb") as f:
        write("readers", "he_implicit_ps.aac", b"\x0c" + f.read())
    for name in ["explicit_hier_stereo_44k1_32k_v2.m4a", "downsampled_stereo_32k_48k_v1.m4a"]:
        with open(os.path.join(DATA, "he", "mp4", name), "rb") as f:
            write("readers", name, b"\x00" + f.read())


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
    damaged_reader_seeds()
    if os.path.isdir(MP4):
        reader_seeds()


main()
