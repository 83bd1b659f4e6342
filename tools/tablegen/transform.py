"""Constant tables of the transform kernels: FFT bit reversal and twiddles,
DCT-IV rotations and the real-FFT split factors, plus the same values
rearranged in the order the SSE2 loops read them.

Every value is its exact expression rounded once to single precision: the
sines and cosines are evaluated to 50 digits and rounded to the nearest float
(ties to even) directly, never through a double.
"""

import decimal
import struct
from fractions import Fraction

from .common import float_literal, header, output, rows

decimal.getcontext().prec = 50
D = decimal.Decimal

HEADER_PATH = "src/synthesis/transform_tables.h"
SOURCE_PATH = "src/synthesis/transform_tables.cc"

# The largest FFT is 1024 points; its tables hold those of the smaller sizes
# as prefixes (see twiddle()).
MAX_POINTS = 1024


def _pi():
    """pi to the context precision (Machin's formula)."""
    def arctan_inv(n):
        x = D(1) / n
        x2 = x * x
        total, term, k = D(0), x, 1
        while True:
            step = term / k
            if abs(step) < D(10) ** -60:
                return total
            total += step if k % 4 == 1 else -step
            term *= x2
            k += 2
    return 4 * (4 * arctan_inv(5) - arctan_inv(239))


PI = _pi()


def cos_sin(turns):
    """(cos, sin) of 2*pi*turns as Decimals; exact at multiples of a quarter."""
    turns = Fraction(turns) % 1
    if (turns * 4).denominator == 1:
        return [(D(1), D(0)), (D(0), D(1)), (D(-1), D(0)), (D(0), D(-1))][int(turns * 4)]
    x = 2 * PI * D(turns.numerator) / D(turns.denominator)
    c = s = D(0)
    term, k = D(1), 0
    while abs(term) > D(10) ** -55:
        if k % 2 == 0:
            c += term if k % 4 == 0 else -term
        else:
            s += term if k % 4 == 1 else -term
        k += 1
        term = term * x / k
    return c, s


def nearest_float(d):
    """The single-precision value nearest to the Decimal d, ties to even."""
    if d == 0:
        return 0.0
    guess = struct.unpack("<f", struct.pack("<f", float(d)))[0]
    bits = struct.unpack("<I", struct.pack("<f", guess))[0]
    candidates = [struct.unpack("<f", struct.pack("<I", b))[0]
                  for b in (bits - 1, bits, bits + 1)]
    best = min(candidates, key=lambda f: (abs(D(f) - d),
                                          struct.unpack("<I", struct.pack("<f", f))[0] & 1))
    return best


def bitrev(value, bits):
    out = 0
    for _ in range(bits):
        out = (out << 1) | (value & 1)
        value >>= 1
    return out


def twiddle(e):
    """W[e] of the FFT twiddle table: angle r(e) * 2*pi/M with r(e) the low
    log2(M) - 2 bits of e reversed.  The angle does not depend on M as long
    as e < M/4, so the 1024-point table serves every size."""
    c, s = cos_sin(Fraction(bitrev(e, 8), MAX_POINTS))
    return nearest_float(c), nearest_float(s)


def forward_block_twiddle(b):
    """T(b) of the forward FFT's radix-2 stages: conj(W[e]) for b = 2e and
    conj(W[e]) * (-j) for b = 2e + 1.  Negation is exact in float."""
    wr, wi = twiddle(b >> 1)
    return (wr, -wi) if b % 2 == 0 else (-wi, -wr)


def rotation(k, length):
    c, s = cos_sin((k + Fraction(1, 8)) / (2 * length))
    return nearest_float(c), nearest_float(s)


def split_factor(k, length):
    c, s = cos_sin(Fraction(k, length))
    return nearest_float(D("0.5") + s / 2), nearest_float(c / 2)


def lanes(pairs):
    """Packed multiplier for two complex values at once, one per lane: each
    real part twice, then each imaginary part as (-t.im, t.im)."""
    out = []
    for tr, _ in pairs:
        out += [tr, tr]
    for _, ti in pairs:
        out += [-ti, ti]
    return out


def sse2_first_pass(g):
    """Multipliers of radix-2 stages 1 and 2 for the 8-element group g, with
    elements (p, p+4) sharing a register: stage 1 for registers (0,4)-(1,5)
    and (2,6)-(3,7), then stage 2 for (0,4)-(2,6) and (1,5)-(3,7)."""
    t = forward_block_twiddle
    return (lanes([t(4 * g), t(4 * g + 2)]) + lanes([t(4 * g + 1), t(4 * g + 3)])
            + lanes([t(2 * g), t(2 * g + 1)]))


def sse2_dct_pre(r, length):
    """Pre-rotation multipliers of the register holding elements (s, s+1),
    s = 2r: (ti, tr) per element for the partner's imaginary parts, then
    (tr, -ti) per element for the own real parts."""
    (tr0, ti0), (tr1, ti1) = rotation(2 * r, length), rotation(2 * r + 1, length)
    return [ti0, tr0, ti1, tr1, tr0, -ti0, tr1, -ti1]


def sse2_dct_stages(j, length):
    """Stage twiddles of the DCT-IV's first pass (dct4_sse2.cc) for the group
    of elements 2j + l + (M/8)u (lane l, register u), which holds FFT
    positions p = bitrev(element): one twiddle per lane for each of the
    twelve butterflies, in the order the pass runs them."""
    bits = (length // 2).bit_length() - 1
    rest = [bitrev(2 * j + l, bits - 3) for l in (0, 1)]  # p >> 3 of each lane
    t = forward_block_twiddle
    out = []
    for u in (0, 1, 2, 3):  # h = 1, registers (u, u+4): p1 = bit 1 of u, p2 = bit 0
        out += lanes([t(((u >> 1) & 1) + 2 * (u & 1) + 4 * r) for r in rest])
    for u in (0, 1, 4, 5):  # h = 2, registers (u, u+2)
        out += lanes([t((u & 1) + 2 * r) for r in rest])
    for u in (0, 2, 4, 6):  # h = 4, registers (u, u+1)
        out += lanes([t(r) for r in rest])
    return out


def sse2_dct_last(i, length):
    """Post-rotation multipliers of the last pass's register pair i: the
    register of outputs (k, k+1), k = s0 + (M/8)v with s0 = 2*(i // 8) and
    v = i % 8, and its mirror (m-1, m), m = M-1-k.  For each register,
    (tr, -tr) per element, then (ti, ti) per element."""
    points = length // 2
    s0, v = 2 * (i // 8), i % 8
    k = s0 + points // 8 * v
    out = []
    for first in (k, points - 2 - k):
        (tr0, ti0), (tr1, ti1) = rotation(first, length), rotation(first + 1, length)
        out += [tr0, -tr0, tr1, -tr1, ti0, ti0, ti1, ti1]
    return out


def avx2_dct_pre(g, u):
    """Pre-rotations of register u of the AVX2 first pass over group g: lane
    l holds FFT position p = 16g + 4l + u, fed by element k = bitrev9(p)
    and its partner m = 511 - k.  Per lane (ki, kr), (kr, -ki), (mi, mr),
    (mr, -mi)."""
    parts = [[], [], [], []]
    for l in range(4):
        k = bitrev(16 * g + 4 * l + u, 9)
        (kr, ki), (mr, mi) = rotation(k, 1024), rotation(511 - k, 1024)
        parts[0] += [ki, kr]
        parts[1] += [kr, -ki]
        parts[2] += [mi, mr]
        parts[3] += [mr, -mi]
    return parts[0] + parts[1] + parts[2] + parts[3]


def avx2_dct_first(group):
    """Stage 1 and 2 twiddles of the AVX2 first pass for a group of 16 FFT
    positions, one per lane (lane l holds 16 group + 4l + u in register u):
    stage 1 for registers (0, 1) and (2, 3), then stage 2."""
    t = forward_block_twiddle
    out = []
    for blocks in ([2 * l + 8 * group for l in range(4)],
                   [1 + 2 * l + 8 * group for l in range(4)],
                   [l + 4 * group for l in range(4)]):
        pairs = [t(b) for b in blocks]
        for tr, _ in pairs:
            out += [tr, tr]
        for _, ti in pairs:
            out += [-ti, ti]
    return out


def avx2_dct_post(i, r):
    """Post-rotations of the AVX2 last pass for register r of iteration i:
    lane l holds output k = 4i + 128r + l, met with m = 511 - k.  Per lane
    (kr, mi), (ki, -mr), (mr, ki), (mi, -kr)."""
    parts = [[], [], [], []]
    for l in range(4):
        k = 4 * i + 128 * r + l
        (kr, ki), (mr, mi) = rotation(k, 1024), rotation(511 - k, 1024)
        parts[0] += [kr, mi]
        parts[1] += [ki, -mr]
        parts[2] += [mr, ki]
        parts[3] += [mi, -kr]
    return parts[0] + parts[1] + parts[2] + parts[3]


# (comment or None, name, C type, dimensions, flat values)
def _tables():
    t = []
    doc = ("Square-root bit-reversal tables: entry k is k with its low bits reversed,\n"
           "// scaled to the stride of the element index's high part.")
    for points, s, bits, step in ((32, 4, 2, 8), (64, 8, 3, 8), (128, 8, 3, 16), (512, 16, 4, 32),
                                  (1024, 32, 5, 32)):
        t.append((doc, "aac_fft_bitrev_%d" % points, "int32_t", [s],
                  [bitrev(k, bits) * step for k in range(s)]))
        doc = None
    t.append(("FFT twiddles W[e] = (cos a, sin a), a = r(e) * 2*pi/M, r(e) = e with its low\n"
              "// log2(M) - 2 bits reversed.  The first M/4 entries are the M-point table.",
              "aac_fft_twiddles", "float", [MAX_POINTS // 4, 2],
              [twiddle(e) for e in range(MAX_POINTS // 4)]))
    doc = "DCT-IV rotations t[k] = (cos b, sin b), b = 2*pi*(k + 1/8)/(2L)."
    for length in (64, 128, 1024):
        t.append((doc, "aac_dct4_rotation_%d" % length, "float", [length // 2, 2],
                  [rotation(k, length) for k in range(length // 2)]))
        doc = None
    doc = "Real-FFT split factors (0.5 + 0.5*sin(2*pi*k/N), 0.5*cos(2*pi*k/N)) for N values."
    for length in (256, 2048):
        t.append((doc, "aac_rfft_split_%d" % length, "float", [length // 4, 2],
                  [split_factor(k, length) for k in range(length // 4)]))
        doc = None
    t.append(("SSE2 layout: forward stage twiddle T(b) for both lanes, as (tr, tr, tr, tr)\n"
              "// and (-ti, ti, -ti, ti).",
              "aac_fft_sse2_blocks", "float", [MAX_POINTS // 4, 8],
              [lanes([forward_block_twiddle(b)] * 2) for b in range(MAX_POINTS // 4)]))
    t.append(("SSE2 layout: the forward FFT's first two stages per 8-element group, one\n"
              "// twiddle per lane (sse2_first_pass in the generator).",
              "aac_fft_sse2_first", "float", [MAX_POINTS // 8, 24],
              [sse2_first_pass(g) for g in range(MAX_POINTS // 8)]))
    doc = ("SSE2 layout of the DCT-IV (dct4_sse2.cc): pre-rotations per register of two\n"
           "// elements (sse2_dct_pre in the generator).")
    for length in (128, 1024):
        t.append((doc, "aac_dct4_sse2_pre_%d" % length, "float", [length // 4, 8],
                  [sse2_dct_pre(r, length) for r in range(length // 4)]))
        doc = None
    doc = ("SSE2 layout: first-pass stage twiddles per group, one per lane\n"
           "// (sse2_dct_stages in the generator).")
    for length in (128, 1024):
        t.append((doc, "aac_dct4_sse2_stages_%d" % length, "float", [length // 32, 96],
                  [sse2_dct_stages(j, length) for j in range(length // 32)]))
        doc = None
    doc = ("SSE2 layout: last-pass post-rotations per register pair\n"
           "// (sse2_dct_last in the generator).")
    for length in (128, 1024):
        t.append((doc, "aac_dct4_sse2_last_%d" % length, "float", [length // 8, 16],
                  [sse2_dct_last(i, length) for i in range(length // 8)]))
        doc = None
    t.append(("AVX2 layout of the 1024-value DCT-IV (dct4_avx2.cc): pre-rotations per\n"
              "// group and register (avx2_dct_pre in the generator).",
              "aac_dct4_avx2_pre_1024", "float", [64, 32],
              [avx2_dct_pre(g, u) for g in range(16) for u in range(4)]))
    t.append(("AVX2 layout: stage 1 and 2 twiddles per group of 16 positions, one per\n"
              "// lane (avx2_dct_first in the generator).",
              "aac_dct4_avx2_first_1024", "float", [32, 48],
              [avx2_dct_first(g) for g in range(32)]))
    t.append(("AVX2 layout: post-rotations per iteration and register of the last pass\n"
              "// (avx2_dct_post in the generator).",
              "aac_dct4_avx2_post_1024", "float", [64, 32],
              [avx2_dct_post(i, r) for i in range(16) for r in range(4)]))
    return t


def _dims(dims):
    return "".join("[%d]" % d for d in dims)


@output(HEADER_PATH)
def transform_tables_header():
    lines = [header("tools/tablegen/transform.py"), "#pragma once", "", "#include <cstdint>"]
    for doc, name, ctype, dims, _ in _tables():
        if doc:
            lines += ["", "// " + doc]
        lines.append("extern const %s %s%s;" % (ctype, name, _dims(dims)))
    return "\n".join(lines) + "\n"


def _literals(ctype, values):
    return [float_literal(v) if ctype == "float" else str(v) for v in values]


@output(SOURCE_PATH)
def transform_tables_source():
    out = [header("tools/tablegen/transform.py"), '#include "synthesis/transform_tables.h"']
    for _, name, ctype, dims, values in _tables():
        align = 32 if "avx2" in name else 16
        out += ["", "alignas(%d) const %s %s%s = {" % (align, ctype, name, _dims(dims))]
        if len(dims) == 1:
            out.append(rows(_literals(ctype, values), 16))
        elif dims[1] <= 8:
            inner = ["{" + ", ".join(_literals(ctype, v)) + "}" for v in values]
            out.append(rows(inner, max(1, 6 // dims[1])))
        else:
            for v in values:
                lines = rows(_literals(ctype, v), 6, "     ").split("\n")
                lines[0] = "    {" + lines[0][5:]
                lines[-1] = lines[-1][:-1] + "},"
                out += lines
        out.append("};")
    return "\n".join(out) + "\n"
