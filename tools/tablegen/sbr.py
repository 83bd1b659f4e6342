"""Tables of the spectral band replication decoder: the QMF prototype in the
orders the two banks read it with the rotations around their FFTs, the
noise table, the envelope and noise Huffman books as binary trees, the start
and stop frequency data per output rate, and the small constants of the HF
generator and adjuster.

The inputs are the JSON files in tools/tablegen/data/sbr (copied into the
repository so a clean clone regenerates the same output).
"""

import functools
import json
import math
import os
from fractions import Fraction

from .common import float_literal, header, output, rows, to_float
from .transform import cos_sin, nearest_float, rotation

DATA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "sbr")
HEADER_PATH = "src/sbr/sbr_tables.h"
SOURCE_PATH = "src/sbr/sbr_tables.cc"

# Output rates of the SBR tool by index (the core's index minus 3).
SBR_RATES = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000]

# Book order of the decoder's tables (sbr_huffman.h names them).
BOOKS = [
    "t_huffman_env_1_5dB", "f_huffman_env_1_5dB", "t_huffman_env_bal_1_5dB",
    "f_huffman_env_bal_1_5dB", "t_huffman_env_3_0dB", "f_huffman_env_3_0dB",
    "t_huffman_env_bal_3_0dB", "f_huffman_env_bal_3_0dB", "t_huffman_noise_3_0dB",
    "t_huffman_noise_bal_3_0dB",
]


@functools.lru_cache(maxsize=None)
def _load(name):
    with open(os.path.join(DATA_DIR, name), encoding="utf-8") as f:
        return json.load(f)


def _floats(values, per_line=6):
    return rows([float_literal(v) for v in values], per_line)


def _tree(book):
    """Binary decoding tree: node i holds two entries, for bit 0 and bit 1;
    an entry >= 0 is the next node, an entry < 0 the leaf ~(codeword index)."""
    nodes = [[None, None]]
    for c in book["codewords"]:
        node = 0
        bits = c["bits"]
        for pos, bit in enumerate(bits):
            b = int(bit)
            if pos == len(bits) - 1:
                assert nodes[node][b] is None, "codeword is a prefix of another"
                nodes[node][b] = ~c["index"]
            else:
                if nodes[node][b] is None:
                    nodes.append([None, None])
                    nodes[node][b] = len(nodes) - 1
                node = nodes[node][b]
                assert node >= 0, "a codeword continues past a leaf"
    assert all(e is not None for n in nodes for e in n), "incomplete code"
    assert len(nodes) == book["num_codewords"] - 1
    return nodes


def _sbr_rate_params(fs):
    tables = _load("sbr_tables.json")
    start, stop = tables["start_frequency"], tables["stop_frequency"]

    def min_band(f_low, f_mid, f_high):
        f = f_low if fs < 32000 else (f_mid if fs < 64000 else f_high)
        return int(math.floor(128 * f / fs + 0.5))

    start_min = min_band(3000, 4000, 5000)
    stop_min = min_band(6000, 8000, 10000)
    assert start_min == start["startMin"][str(fs)]
    assert stop_min == stop["stopMin"][str(fs)]
    row = start["row_for_rate"][str(fs)]
    p = [int(math.floor(stop_min * (64 / stop_min) ** (j / 13) + 0.5)) for j in range(14)]
    dk = sorted(p[j + 1] - p[j] for j in range(13))
    offsets = [sum(dk[:i]) for i in range(14)]
    assert offsets == stop["offsets_by_rate"][str(fs)]
    span = 48 if fs <= 32000 else (35 if fs == 44100 else 32)
    return start_min, stop_min, start["offset_rows"][row], offsets, span


def _qmf_c():
    c = _load("sbr_tables.json")["qmf_window"]["c"]
    assert len(c) == 640
    return c


def _turn(num, den):
    """(cos, sin) of pi * num / den, each rounded once to single precision."""
    c, s = cos_sin(Fraction(num, 2 * den))
    return nearest_float(c), nearest_float(s)


@output(HEADER_PATH)
def sbr_tables_header():
    return header("tools/tablegen/sbr.py", "tools/tablegen/data/sbr") + """
#pragma once

#include <cstdint>

namespace lumdec {

// The 640-tap QMF prototype c[0..639] as the 64-band synthesis reads it.
extern const float sbr_qmf_window[640];

// The analysis prototype per tap group j = 0..4, reversed within the group:
// entry 64 j + m is c[2 (63 - m) + 128 j].
extern const float sbr_qmf_analysis_window[320];

// Analysis rotations around its 32-point FFT (see sbr_kernels_generic.cc),
// real parts in row 0 and imaginary parts in row 1: before it
// (cos(pi m/32), -sin(pi m/32)); after it A = e^(-i pi (2k+1)/256) and
// B = -i e^(i 3 pi (2k+1)/256).
extern const float sbr_analysis_pre[2][32];
extern const float sbr_analysis_post_a[2][32];
extern const float sbr_analysis_post_b[2][32];

// The rotations of the transform kernels' 64-point DCT-IV
// (aac_dct4_rotation_64) as a row of cosines and a row of sines.
extern const float sbr_dct4_64_rotation[2][32];

// Rotations of the 32-band synthesis of downsampled SBR, around a 64-point
// FFT: (cos, sin) of 255 pi k/128 and of pi (n - 63.75)/64, which centres the
// bands on the even taps of the prototype.
extern const float sbr_synthesis_down_pre[32][2];
extern const float sbr_synthesis_down_post[64][2];

// The 512 complex values of the noise table as real and imaginary planes,
// each followed by its first three entries again, so that four values from
// any index can be read without wrapping.
extern const float sbr_noise_re[515];
extern const float sbr_noise_im[515];

// Envelope and noise Huffman books as binary trees (see sbr/huffman.h).
struct sbr_huffman_book {
    const int16_t (*nodes)[2];
    int32_t index_offset;  // decoded value = codeword index - index_offset
};
extern const sbr_huffman_book sbr_huffman_books[10];

// Per SBR output rate index (96000, 88200, 64000, 48000, 44100, 32000,
// 24000, 22050, 16000): the lowest start and stop bands, the start offsets
// by bs_start_freq, the stop offsets by bs_stop_freq 0..13 and the largest
// k2 - k0.
struct sbr_rate_params {
    uint8_t start_min;
    uint8_t stop_min;
    int8_t start_offset[16];
    uint8_t stop_offset[14];
    uint8_t max_span;
};
extern const sbr_rate_params sbr_rate_table[9];

// Limiter gains by bs_limiter_gains (amplitude), and by bs_limiter_bands the
// ratio 2^(0.49 / bands per octave) below which neighbouring limiter borders
// merge (entry 0 unused: one band).
extern const float sbr_limiter_gains[4];
extern const float sbr_limiter_merge_ratio[4];

// Gain smoothing filter: entry 4 weights the current slot.
extern const float sbr_smoothing_filter[5];

// New chirp factor by current and previous inverse filtering mode.
extern const float sbr_chirp_new[4][4];

}  // namespace lumdec
"""


@output(SOURCE_PATH)
def sbr_tables_source():
    tables = _load("sbr_tables.json")
    huff = _load("sbr_huffman.json")
    c = _qmf_c()
    out = [header("tools/tablegen/sbr.py", "tools/tablegen/data/sbr"),
           '#include "sbr/sbr_tables.h"', "", "namespace lumdec {", ""]

    out.append("const float sbr_qmf_window[640] = {")
    out.append(_floats(c))
    out.append("};")
    out.append("")
    ana = [c[2 * (63 - m) + 128 * j] for j in range(5) for m in range(64)]
    out.append("const float sbr_qmf_analysis_window[320] = {")
    out.append(_floats(ana))
    out.append("};")
    out.append("")

    def pairs(name, count, values):
        out.append("const float %s[%d][2] = {" % (name, count))
        out.append(rows(["{%s, %s}" % (float_literal(a), float_literal(b)) for a, b in values], 3))
        out.append("};")
        out.append("")

    def planes(name, values):
        out.append("alignas(16) const float %s[2][32] = {" % name)
        for part in range(2):
            out.append("    {")
            out.append(_floats([v[part] for v in values], 6).replace("    ", "        ", 1)
                       .replace("\n    ", "\n        "))
            out.append("    },")
        out.append("};")
        out.append("")

    pre = []
    for m in range(32):
        cs, sn = _turn(m, 32)
        pre.append((cs, -sn))
    planes("sbr_analysis_pre", pre)
    post_a, post_b = [], []
    for k in range(32):
        cs, sn = _turn(2 * k + 1, 256)
        post_a.append((cs, -sn))
        cs, sn = _turn(3 * (2 * k + 1), 256)
        post_b.append((sn, -cs))
    planes("sbr_analysis_post_a", post_a)
    planes("sbr_analysis_post_b", post_b)
    planes("sbr_dct4_64_rotation", [rotation(k, 64) for k in range(32)])
    pairs("sbr_synthesis_down_pre", 32, [_turn(255 * k, 128) for k in range(32)])
    pairs("sbr_synthesis_down_post", 64, [_turn(4 * n - 255, 256) for n in range(64)])

    noise = tables["noise_table_V"]["values"]
    assert len(noise) == 512
    for name, part in (("sbr_noise_re", 0), ("sbr_noise_im", 1)):
        values = [v[part] for v in noise] + [v[part] for v in noise[:3]]
        out.append("alignas(16) const float %s[515] = {" % name)
        out.append(_floats(values))
        out.append("};")
        out.append("")

    assert [b["name"] for b in huff["books"]] == BOOKS
    for i, book in enumerate(huff["books"]):
        nodes = _tree(book)
        out.append("// %s" % book["name"])
        out.append("const int16_t book_%d[%d][2] = {" % (i, len(nodes)))
        out.append(rows(["{%d, %d}" % (a, b) for a, b in nodes], 8))
        out.append("};")
        out.append("")
    out.append("const sbr_huffman_book sbr_huffman_books[10] = {")
    for i, book in enumerate(huff["books"]):
        assert all(cw["value"] == cw["index"] - book["index_offset"] for cw in book["codewords"])
        out.append("    {book_%d, %d}," % (i, book["index_offset"]))
    out.append("};")
    out.append("")

    out.append("const sbr_rate_params sbr_rate_table[9] = {")
    for fs in SBR_RATES:
        start_min, stop_min, start_offsets, stop_offsets, span = _sbr_rate_params(fs)
        out.append("    {%d, %d, {%s}, {%s}, %d},  // %d Hz" % (
            start_min, stop_min, ", ".join(str(v) for v in start_offsets),
            ", ".join(str(v) for v in stop_offsets), span, fs))
    out.append("};")
    out.append("")

    gains = tables["limiter_gains"]["gain"]
    out.append("const float sbr_limiter_gains[4] = {%s};" % ", ".join(float_literal(g) for g in gains))
    ratios = [0.0] + [2.0 ** (0.49 / b) for b in tables["limiter_bands_per_octave"]["bands_per_octave"][1:]]
    out.append("const float sbr_limiter_merge_ratio[4] = {%s};" %
               ", ".join(float_literal(r) for r in ratios))
    smooth = tables["smoothing_filter"]["h_smooth"]
    out.append("const float sbr_smoothing_filter[5] = {%s};" %
               ", ".join(float_literal(h) for h in smooth))
    chirp = tables["chirp_factor"]["new_bw"]["table"]
    out.append("const float sbr_chirp_new[4][4] = {")
    for r in chirp:
        out.append("    {%s}," % ", ".join(float_literal(v) for v in r))
    out.append("};")
    out.append("")
    out.append("}  // namespace lumdec")
    return "\n".join(out) + "\n"
