// Constant tables of the inverse quantisation, each entry the exact value
// rounded to single precision.
#pragma once

namespace lumdec {

// sign(q) * |q|^(4/3) at index q + 512, for q in -512..512.
extern const float pow43_table[1025];

// 2^(v/4) at index v + 256, for scale factor values v in -256..256.
extern const float sf_gain_table[513];

}  // namespace lumdec
