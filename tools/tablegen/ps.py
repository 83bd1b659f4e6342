"""Parametric stereo tables: the ten Huffman books of the stereo parameters
as multi-level lookup tables, the mixing matrices for every pair of
intensity and coherence indices, the hybrid filters that split the lowest
QMF bands, the decorrelator's per-band phases and all-pass coefficients, and
the maps between parameter bands and hybrid bands.

Inputs: tools/tablegen/data/sbr/ps_huffman.json and ps_tables.json (copies
of the shared data, kept in the repository so that a clean clone can
regenerate these files).  Values are evaluated in double precision and
rounded once to single precision.
"""

import functools
import json
import math
import os

from .common import ROOT, float_literal, header, output, rows

DATA_DIR = os.path.join(ROOT, "tools", "tablegen", "data", "sbr")
HEADER_PATH = "src/ps/ps_tables.h"
SOURCE_PATH = "src/ps/ps_tables.cc"
CODEWORDS_PATH = "tests/ps/ps_codewords.inc"

# Book order of the decoder: pairs (frequency-, time-differential), so that
# the book of a parameter is its base plus the dt flag.
BOOKS = ["huff_iid_df_default", "huff_iid_dt_default", "huff_iid_df_fine", "huff_iid_dt_fine",
         "huff_icc_df", "huff_icc_dt", "huff_ipd_df", "huff_ipd_dt", "huff_opd_df", "huff_opd_dt"]

ROOT_BITS = 6     # first-level index width of every book
LEVEL_BITS = 4    # widest index of a deeper level
VALUE_BIAS = 64   # leaves hold value + VALUE_BIAS

STRIDE = 92       # floats per row of hybrid-band data (91 bands, rounded up to 4)
ALLPASS_STRIDE = 52
NUM_LINKS = 3


def _load(name):
    with open(os.path.join(DATA_DIR, name), encoding="utf-8") as f:
        return json.load(f)


@functools.lru_cache(maxsize=None)
def _huffman():
    books = {b["name"]: b for b in _load("ps_huffman.json")["books"]}
    return [books[name] for name in BOOKS]


@functools.lru_cache(maxsize=None)
def _tables():
    return _load("ps_tables.json")


# ---------------------------------------------------------------------------
# Huffman lookup

def _level(codes, width, entries):
    """Appends a table of 2^width entries for codes (suffix, length, value)
    and returns its offset.  A leaf: bit 15 clear, bits 0-4 the bits it
    takes at this level, bits 8-14 the value + VALUE_BIAS.  A link: bit 15
    set, bits 0-3 the width of the next level, bits 4-14 its offset."""
    at = len(entries)
    entries.extend([None] * (1 << width))
    groups = {}
    for suffix, length, value in codes:
        if length <= width:
            first = suffix << (width - length)
            for i in range(first, first + (1 << (width - length))):
                assert entries[at + i] is None, "overlapping codewords"
                entries[at + i] = ((value + VALUE_BIAS) << 8) | length
        else:
            prefix = suffix >> (length - width)
            rest = suffix & ((1 << (length - width)) - 1)
            groups.setdefault(prefix, []).append((rest, length - width, value))
    for prefix, group in sorted(groups.items()):
        k = min(LEVEL_BITS, max(length for _, length, _ in group))
        offset = _level(group, k, entries)
        assert offset < (1 << 11)
        entries[at + prefix] = 0x8000 | (offset << 4) | k
    assert None not in entries[at:at + (1 << width)], "incomplete codebook"
    return at


@functools.lru_cache(maxsize=None)
def _lookup():
    entries, roots = [], []
    for book in _huffman():
        assert 0 <= book["max_length"] <= 25
        codes = [(c["code"], c["length"], c["value"]) for c in book["codewords"]]
        assert all(-VALUE_BIAS <= v < 128 - VALUE_BIAS for _, _, v in codes)
        roots.append((_level(codes, ROOT_BITS, entries), book["max_length"]))
    return entries, roots


# ---------------------------------------------------------------------------
# Mixing matrices

def _iid_db():
    q = _tables()["iid_quant"]
    return q["default_db"] + q["fine_db"]     # rows 0..14 default, 15..45 fine


def _mix_a(db, rho):
    """Rotation of the mono and decorrelated signals (procedure R_a)."""
    c = 10.0 ** (db / 20.0)
    c1 = math.sqrt(2.0 / (1.0 + c * c))
    c2 = c * c1
    alpha = 0.5 * math.acos(rho)
    beta = alpha * (c1 - c2) / math.sqrt(2.0)
    return [c2 * math.cos(beta + alpha), c1 * math.cos(beta - alpha),
            c2 * math.sin(beta + alpha), c1 * math.sin(beta - alpha)]


def _mix_b(db, rho):
    """Principal-axis mixing (procedure R_b): the mono and decorrelated
    signals scaled to the eigenvalues of the target covariance and rotated
    onto its axes.  Coherence is kept at 0.05 or above, which keeps the
    rotation on the louder channel's side."""
    c = 10.0 ** (db / 20.0)
    rho = max(rho, 0.05)
    if db == 0:
        alpha = math.pi / 4
    else:
        alpha = 0.5 * math.atan(2.0 * c * rho / (c * c - 1.0))
        if alpha < 0:
            alpha += math.pi / 2
    m = c + 1.0 / c
    mu = math.sqrt(max(0.0, 1.0 + (4.0 * rho * rho - 4.0) / (m * m)))
    gamma = math.atan(math.sqrt((1.0 - mu) / (1.0 + mu)))
    r2 = math.sqrt(2.0)
    return [r2 * math.cos(alpha) * math.cos(gamma), r2 * math.sin(alpha) * math.cos(gamma),
            -r2 * math.sin(alpha) * math.sin(gamma), r2 * math.cos(alpha) * math.sin(gamma)]


def _mix_table(fn):
    rhos = _tables()["icc_quant"]["rho"]
    return [[fn(db, rho) for rho in rhos] for db in _iid_db()]


# ---------------------------------------------------------------------------
# Hybrid filters

def _prototype(name):
    g = _tables()["hybrid_filters"][name]["full"]
    assert len(g) == 13 and all(abs(g[i] - g[12 - i]) < 1e-15 for i in range(13))
    return g


def _complex_filter(g, bands, q):
    """Tap i of band q of a complex modulated filter bank of `bands` bands."""
    return [complex(g[i] * math.cos(2 * math.pi / bands * (q + 0.5) * (i - 6)),
                    g[i] * math.sin(2 * math.pi / bands * (q + 0.5) * (i - 6))) for i in range(13)]


def _real_filter(g, q):
    return [complex(g[i] * math.cos(math.pi * q * (i - 6)), 0.0) for i in range(13)]


def _hybrid_groups():
    """Per configuration, the filters of each split QMF band, each a list of
    output filters in hybrid order."""
    g8 = _prototype("g_20_qmf0_8band")
    g2 = _prototype("g_20_qmf1_2_2band")
    eight = [_complex_filter(g8, 8, q) for q in range(8)]

    def add(a, b):
        return [x + y for x, y in zip(a, b)]
    # Band 0: negative-frequency images q6, q7 first, then q0, q1 and the
    # two symmetric pairs; band 1 (odd, spectrum reversed): high half first.
    c20 = [[eight[6], eight[7], eight[0], eight[1], add(eight[2], eight[5]), add(eight[3], eight[4])],
           [_real_filter(g2, 1), _real_filter(g2, 0)],
           [_real_filter(g2, 0), _real_filter(g2, 1)]]
    g12 = _prototype("g_34_qmf0_12band")
    g8b = _prototype("g_34_qmf1_8band")
    g4 = _prototype("g_34_qmf2_4_4band")
    four = [_complex_filter(g4, 4, q) for q in range(4)]
    c34 = [[_complex_filter(g12, 12, q) for q in range(12)],
           [_complex_filter(g8b, 8, q) for q in range(8)],
           four, four, four]
    return {20: c20, 34: c34}


def _hybrid_arrays(name, groups):
    """Per split QMF band, its filters as cosine and sine parts [7][Q]: tap
    6 - m of output j is c[m][j] - i s[m][j], and tap 6 + m its conjugate
    (the prototypes are symmetric), so that the output is
    c[0] x(n) + sum over m of c[m] (x(n+m) + x(n-m)) - i s[m] (x(n+m) - x(n-m))."""
    out, parts = [], []
    offset = 0
    for filters in groups:
        q = len(filters)
        parts.append((offset, q))
        offset += 7 * q
        for f in filters:
            assert abs(f[6].imag) < 1e-15
            for m in range(1, 7):
                assert abs(f[6 + m] - f[6 - m].conjugate()) < 1e-15
    for plane, pick in (("cos", lambda z: z.real), ("sin", lambda z: -z.imag)):
        values = []
        for filters in groups:
            for m in range(7):
                values += [float_literal(pick(f[6 - m]) if m or plane == "cos" else 0.0) for f in filters]
        out.append("alignas(16) const float %s_%s[%d] = {" % (name, plane, len(values)))
        out.append(rows(values, 6))
        out.append("};")
    return out, parts


# ---------------------------------------------------------------------------
# Decorrelator

def _config(bands):
    """Hybrid layout of a configuration: sub-subbands, their centre
    frequencies, the hybrid index of the first unsplit QMF band."""
    t = _tables()
    if bands == 20:
        return {"sub": 10, "split": 3, "f": t["decorrelator"]["f_center_20"], "bands": 71}
    return {"sub": 32, "split": 5, "f": t["decorrelator"]["f_center_34"], "bands": 91}


def _allpass_bands(bands):
    cfg = _config(bands)
    return cfg["sub"] + 23 - cfg["split"]      # QMF bands below 23 are all-passed


def _decorrelator(bands):
    d = _tables()["decorrelator"]
    cfg = _config(bands)
    n = _allpass_bands(bands)
    phi, q_fract, coef = [], [[] for _ in range(NUM_LINKS)], [[] for _ in range(NUM_LINKS)]
    for k in range(n):
        if k < cfg["sub"]:
            f, decay = cfg["f"][k], 1.0
        else:
            qmf = k - cfg["sub"] + cfg["split"]
            f = qmf + 0.5
            decay = 1.0 if qmf <= d["decay_cutoff_qmf"] else \
                max(0.0, 1.0 - d["decay_slope"] * (qmf - d["decay_cutoff_qmf"]))
        angle = -math.pi * d["phi_fract_q"] * f
        phi.append(complex(math.cos(angle), math.sin(angle)))
        for m in range(NUM_LINKS):
            angle = -math.pi * d["fractional_delay_q"][m] * f
            q_fract[m].append(complex(math.cos(angle), math.sin(angle)))
            coef[m].append(math.exp(-d["link_delay"][m] / 7.0) * decay)
    return phi, q_fract, coef


def _padded(values, width):
    return values + [0.0] * (width - len(values))


def _decorrelator_source(bands):
    phi, q_fract, coef = _decorrelator(bands)
    name = "ps_decorrelator_%d" % bands
    out = ["alignas(16) const ps_decorrelator_table %s = {" % name]
    out.append("    {")
    out.append(rows([float_literal(z.real) for z in _padded(phi, ALLPASS_STRIDE)], 6, "        "))
    out.append("    },")
    out.append("    {")
    out.append(rows([float_literal(z.imag) for z in _padded(phi, ALLPASS_STRIDE)], 6, "        "))
    out.append("    },")
    for plane in ("real", "imag"):
        out.append("    {")
        for m in range(NUM_LINKS):
            out.append("        {")
            out.append(rows([float_literal(getattr(z, plane)) for z in
                             _padded(q_fract[m], ALLPASS_STRIDE)], 6, "            "))
            out.append("        },")
        out.append("    },")
    out.append("    {")
    for m in range(NUM_LINKS):
        out.append("        {")
        out.append(rows([float_literal(a) for a in _padded(coef[m], ALLPASS_STRIDE)], 6, "            "))
        out.append("        },")
    out.append("    },")
    out.append("};")
    return out


# ---------------------------------------------------------------------------
# Parameter maps

def _map_34_to_20():
    return _tables()["parameter_maps"]["map_34_to_20"]


def _map_20_to_34():
    """Each band of 34 takes the band of 20 it is folded into, or the mean
    of the two when it is folded into two."""
    targets = [[] for _ in range(34)]
    for t, entry in enumerate(_map_34_to_20()):
        for source, _ in entry:
            targets[source].append(t)
    assert all(1 <= len(t) <= 2 for t in targets)
    return [(t[0], t[-1]) for t in targets]


# ---------------------------------------------------------------------------
# Outputs

@output(HEADER_PATH)
def ps_header():
    entries, _ = _lookup()
    t = _tables()
    d = t["decorrelator"]
    tr = t["transient_detection"]
    return header("ps_huffman.json", "ps_tables.json") + """#pragma once

#include <cstdint>

namespace lumdec {

// Huffman books of the stereo parameters, in pairs (frequency direction,
// time direction): book = PS_BOOK_* + dt.
enum ps_book : uint8_t {
    PS_BOOK_IID_DEFAULT = 0,
    PS_BOOK_IID_FINE = 2,
    PS_BOOK_ICC = 4,
    PS_BOOK_IPD = 6,
    PS_BOOK_OPD = 8,
};

// Multi-level lookup of 16-bit entries.  Leaf (bit 15 clear): bits 0-4 the
// codeword bits this level takes, bits 8-14 the value + PS_VALUE_BIAS.
// Link (bit 15 set): bits 0-3 the index width of the next level, bits 4-14
// its offset in ps_huffman_entries.
inline constexpr int PS_ROOT_BITS = %d;
inline constexpr int PS_VALUE_BIAS = %d;
struct ps_huffman_book {
    uint16_t root;      // offset of the first level
    uint8_t max_length; // longest codeword
};
extern const uint16_t ps_huffman_entries[%d];
extern const ps_huffman_book ps_huffman_books[10];

// Mixing matrices (h11, h12, h21, h22) by intensity row and coherence index:
// rows 0..14 are the default grid (index -7..7), rows 15..45 the fine grid
// (-15..15).  left = h11 s + h21 d, right = h12 s + h22 d.
inline constexpr int PS_IID_FINE_ROW = 15;
extern const float ps_mix_a[46][8][4];
extern const float ps_mix_b[46][8][4];

// Hybrid analysis filters of the split QMF bands, whose taps are
// symmetric in magnitude about the centre: tap 6 - m of output j is
// cos[m][j] - i sin[m][j] and tap 6 + m its conjugate (m = 0..6, sin[0] = 0).
// Band b has ps_hybrid*_parts[b] = {first, outputs Q}; [m][j] is at
// first + Q m + j.
struct ps_hybrid_part {
    uint16_t first;
    uint8_t outputs;
};
extern const float ps_hybrid20_cos[%d];
extern const float ps_hybrid20_sin[%d];
extern const ps_hybrid_part ps_hybrid20_parts[3];
extern const float ps_hybrid34_cos[%d];
extern const float ps_hybrid34_sin[%d];
extern const ps_hybrid_part ps_hybrid34_parts[5];

// Hybrid band -> parameter band.
extern const uint8_t ps_band_to_par20[71];
extern const uint8_t ps_band_to_par34[91];

// 34 parameter bands folded to 20: target t is the weighted mean of
// sources[t][0..count) (weights in weights[t]); 20 to 34: band j is the
// mean of 20-band values from_20[j][0] and from_20[j][1] (often equal).
struct ps_fold {
    uint8_t count;
    uint8_t sources[4];
    uint8_t weights[4];
};
extern const ps_fold ps_fold_34_to_20[20];
extern const uint8_t ps_spread_20_to_34[34][2];

// Floats per row of hybrid-band data: the 91 bands of the 34-band
// configuration, rounded up to whole groups of four.
inline constexpr int PS_STRIDE = %d;

// Floats per row of parameter-band data: 34 bands in whole groups of four.
inline constexpr int PS_PAR_STRIDE = 36;

// Decorrelator of the all-passed bands, by hybrid band (padded to %d):
// the phase of the two-slot pre-delay, the fractional-delay phase of each
// link and each link's coefficient (its decay included).
inline constexpr int PS_NUM_LINKS = %d;
inline constexpr int PS_ALLPASS_STRIDE = %d;
inline constexpr int PS_LINK_DELAY[PS_NUM_LINKS] = {%s};
struct ps_decorrelator_table {
    float phi_re[PS_ALLPASS_STRIDE];
    float phi_im[PS_ALLPASS_STRIDE];
    float q_re[PS_NUM_LINKS][PS_ALLPASS_STRIDE];
    float q_im[PS_NUM_LINKS][PS_ALLPASS_STRIDE];
    float a[PS_NUM_LINKS][PS_ALLPASS_STRIDE];
};
extern const ps_decorrelator_table ps_decorrelator_20;
extern const ps_decorrelator_table ps_decorrelator_34;

// Transient detection.
inline constexpr float PS_PEAK_DECAY = %s;
inline constexpr float PS_SMOOTH = %s;
inline constexpr float PS_TRANSIENT_IMPACT = %s;

}  // namespace lumdec
""" % (ROOT_BITS, VALUE_BIAS, len(entries),
       7 * 10, 7 * 10, 7 * 32, 7 * 32,
       STRIDE, ALLPASS_STRIDE, NUM_LINKS, ALLPASS_STRIDE, ", ".join(str(x) for x in d["link_delay"]),
       float_literal(tr["alpha_decay"]), float_literal(tr["alpha_smooth"]),
       float_literal(tr["gamma"]))


@output(SOURCE_PATH)
def ps_source():
    t = _tables()
    entries, roots = _lookup()
    out = [header("ps_huffman.json", "ps_tables.json"), '#include "ps/ps_tables.h"', "",
           "namespace lumdec {", ""]
    out.append("const uint16_t ps_huffman_entries[%d] = {" % len(entries))
    out.append(rows(["0x%04x" % e for e in entries], 10))
    out.append("};")
    out.append("")
    out.append("const ps_huffman_book ps_huffman_books[10] = {")
    for name, (root, longest) in zip(BOOKS, roots):
        out.append("    {%d, %d},  // %s" % (root, longest, name))
    out.append("};")
    out.append("")
    for name, fn in (("ps_mix_a", _mix_a), ("ps_mix_b", _mix_b)):
        out.append("const float %s[46][8][4] = {" % name)
        for db, row in zip(_iid_db(), _mix_table(fn)):
            out.append("    {  // %g dB" % db)
            for h in row:
                out.append("        {" + ", ".join(float_literal(v) for v in h) + "},")
            out.append("    },")
        out.append("};")
        out.append("")
    groups = _hybrid_groups()
    for bands in (20, 34):
        arrays, parts = _hybrid_arrays("ps_hybrid%d" % bands, groups[bands])
        out += arrays
        out.append("const ps_hybrid_part ps_hybrid%d_parts[%d] = {%s};" % (
            bands, len(parts), ", ".join("{%d, %d}" % p for p in parts)))
        out.append("")
    maps = t["band_maps"]
    for bands, key in ((20, "k_to_i_20"), (34, "k_to_i_34")):
        values = maps[key]
        out.append("const uint8_t ps_band_to_par%d[%d] = {" % (bands, len(values)))
        out.append(rows([str(v) for v in values], 16))
        out.append("};")
        out.append("")
    out.append("const ps_fold ps_fold_34_to_20[20] = {")
    for entry in _map_34_to_20():
        sources = [s for s, _ in entry] + [0] * (4 - len(entry))
        weights = [w for _, w in entry] + [0] * (4 - len(entry))
        out.append("    {%d, {%s}, {%s}}," % (len(entry), ", ".join(map(str, sources)),
                                              ", ".join(map(str, weights))))
    out.append("};")
    out.append("")
    out.append("const uint8_t ps_spread_20_to_34[34][2] = {")
    out.append(rows(["{%d, %d}" % p for p in _map_20_to_34()], 8))
    out.append("};")
    out.append("")
    out += _decorrelator_source(20)
    out.append("")
    out += _decorrelator_source(34)
    out.append("")
    out.append("}  // namespace lumdec")
    return "\n".join(out) + "\n"


@output(CODEWORDS_PATH)
def ps_codewords():
    out = [header("ps_huffman.json"),
           "// {length, code, value} of every codeword of the ten books, in the",
           "// decoder's book order.  The includer defines PsCodeword.",
           ""]
    names = []
    for i, book in enumerate(_huffman()):
        name = "kPsBook%d" % i
        names.append((name, len(book["codewords"])))
        cells = ["{%d, 0x%x, %d}" % (c["length"], c["code"], c["value"]) for c in book["codewords"]]
        out.append("const PsCodeword %s[%d] = {  // %s" % (name, len(cells), book["name"]))
        out.append(rows(cells, 6))
        out.append("};")
        out.append("")
    out.append("struct PsCodewordBook {")
    out.append("    const PsCodeword *codewords;")
    out.append("    int count;")
    out.append("};")
    out.append("const PsCodewordBook kPsBooks[10] = {")
    out.append(rows(["{%s, %d}" % n for n in names], 4))
    out.append("};")
    return "\n".join(out) + "\n"
