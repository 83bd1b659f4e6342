"""Window shapes of the synthesis filterbank: the rising halves of the sine
and Kaiser-Bessel-derived windows, long (2048) and short (256), and the zero
block that stands in for the missing side of a mismatched transition.

Each value is computed to 50 digits and rounded once to the nearest single
-precision value (ties to even).
"""

import decimal
from fractions import Fraction

from .common import float_literal, header, output, rows
from .transform import cos_sin, nearest_float, PI

HEADER_PATH = "src/synthesis/window_tables.h"
SOURCE_PATH = "src/synthesis/window_tables.cc"

CONTEXT = decimal.Context(prec=50)
D = decimal.Decimal

# (window length N, KBD alpha)
LONG = (2048, 4)
SHORT = (256, 6)


def sine_half(n_total):
    """sin(pi/N * (n + 0.5)) for n < N/2."""
    return [nearest_float(cos_sin(Fraction(2 * n + 1, 4 * n_total))[1])
            for n in range(n_total // 2)]


def bessel_i0(x):
    """sum over k of ((x/2)^k / k!)^2, to the context precision."""
    with decimal.localcontext(CONTEXT):
        q = (x / 2) ** 2
        total, term, k = D(1), D(1), 0
        while term > total * D(10) ** -55:
            k += 1
            term = term * q / (k * k)
            total += term
        return total


def kbd_half(n_total, alpha):
    """w(n) = sqrt(sum_{p<=n} W'(p) / sum_{p<=N/2} W'(p)) for n < N/2, with
    W'(p) = I0(pi alpha sqrt(1 - ((p - N/4) / (N/4))^2))."""
    with decimal.localcontext(CONTEXT):
        quarter = D(n_total // 4)
        kernel = []
        for p in range(n_total // 2 + 1):
            r = (D(p) - quarter) / quarter
            kernel.append(bessel_i0(PI * alpha * (1 - r * r).sqrt()))
        total = sum(kernel)
        values, running = [], D(0)
        for n in range(n_total // 2):
            running += kernel[n]
            values.append(nearest_float((running / total).sqrt()))
        return values


def _table(name, halves):
    out = ["alignas(16) const float %s[2][%d] = {" % (name, len(halves[0]))]
    for shape, values in zip(("sine", "KBD"), halves):
        out.append("    {  // %s" % shape)
        out.append(rows([float_literal(v) for v in values], 6, "        "))
        out.append("    },")
    out.append("};")
    return out


@output(HEADER_PATH)
def window_header():
    return header("tools/tablegen/windows.py") + """
#pragma once

// Rising window halves by window_shape (0 sine, 1 KBD); the falling half is
// the rising half read backwards.  Sine: sin(pi/N * (n + 0.5)).  KBD: alpha 4
// for the long window (N = 2048), 6 for the short one (N = 256).
extern const float aac_long_window[2][1024];
extern const float aac_short_window[2][128];

// 1024 zeros: the silent side of a transition between frames whose window
// sequences do not fit together.
extern const float aac_zero_block[1024];
"""


@output(SOURCE_PATH)
def window_source():
    out = [header("tools/tablegen/windows.py"), '#include "synthesis/window_tables.h"', ""]
    out += _table("aac_long_window", [sine_half(LONG[0]), kbd_half(*LONG)])
    out.append("")
    out += _table("aac_short_window", [sine_half(SHORT[0]), kbd_half(*SHORT)])
    out.append("")
    out.append("alignas(16) const float aac_zero_block[1024] = {};")
    return "\n".join(out) + "\n"
