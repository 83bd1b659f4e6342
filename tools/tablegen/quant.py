"""Inverse quantisation tables: |q|^(4/3) with the sign of q for the
quantised values -512..512, and the scale factor gains 2^(v/4) for the
values -256..256.  Each entry is the exact value rounded once to single
precision; the rounding is decided with exact rational arithmetic."""

import struct
from fractions import Fraction

from .common import float_literal, header, output, rows


def _float_bits(f):
    return struct.unpack("<I", struct.pack("<f", f))[0]


def _bits_float(b):
    return struct.unpack("<f", struct.pack("<I", b))[0]


def nearest_float_root(target, n):
    """The single-precision value nearest to target^(1/n), ties to even,
    for a positive rational target.  Every comparison is done on the n-th
    powers, which are exact rationals."""
    target = Fraction(target)
    bits = _float_bits(float(target) ** (1.0 / n))
    # Bracket the root between a float and its successor.
    while Fraction(_bits_float(bits)) ** n > target:
        bits -= 1
    while Fraction(_bits_float(bits + 1)) ** n <= target:
        bits += 1
    lo, hi = Fraction(_bits_float(bits)), Fraction(_bits_float(bits + 1))
    mid = ((lo + hi) / 2) ** n
    if mid < target or (mid == target and bits % 2):
        bits += 1
    return _bits_float(bits)


def pow43_values():
    """Entry i for q = i - 512."""
    out = []
    for q in range(-512, 513):
        m = nearest_float_root(abs(q) ** 4, 3) if q else 0.0
        out.append(-m if q < 0 else m)
    return out


def sf_gain_values():
    """Entry i = 2^((i - 256) / 4)."""
    return [nearest_float_root(Fraction(2) ** (i - 256), 4) for i in range(513)]


@output("src/synthesis/quant_tables.cc")
def quant_tables():
    pow43 = pow43_values()
    gains = sf_gain_values()
    assert pow43[512] == 0.0 and pow43[1024] == 4096.0 and pow43[0] == -4096.0
    assert gains[256] == 1.0 and gains[0] == 2.0 ** -64 and gains[512] == 2.0 ** 64
    out = [header(), '#include "synthesis/quant_tables.h"', ""]
    out.append("// sign(q) * |q|^(4/3) for q = i - 512.")
    out.append("alignas(16) const float pow43_table[1025] = {")
    out.append(rows([float_literal(v) for v in pow43], 6))
    out.append("};")
    out.append("")
    out.append("// 2^((i - 256) / 4).")
    out.append("alignas(16) const float sf_gain_table[513] = {")
    out.append(rows([float_literal(v) for v in gains], 6))
    out.append("};")
    return "\n".join(out) + "\n"
