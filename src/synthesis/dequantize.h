// Pulse data and inverse quantisation: from the parser's integer spectrum
// to the scaled float spectrum, in place.
#pragma once

#include "lumdec.h"
#include "synthesis/quant_tables.h"
#include "syntax/records.h"

namespace lumdec {

// Adds the pulses to the integer values: away from zero for positive
// values, downwards for zero and negative ones.
void apply_pulse_data(const aac_pulse_data *pulse, int32_t *coef);

// 2^(value/4) for a scale factor value (scale factor - 100, noise energy or
// negated intensity position); the table covers -256..256.
float band_gain_beyond_table(int32_t value);

inline float band_gain(int32_t value)
{
    const uint32_t index = static_cast<uint32_t>(value) + 256u;
    if (index <= 512u) [[likely]]
        return sf_gain_table[index];
    return band_gain_beyond_table(value);
}

// Rewrites coef as floats: coded bands as sign(q) |q|^(4/3) times
// their gain, zero and
// noise bands and everything above max_sfb as zero; intensity bands keep
// their words for the intensity stage.  pulses: the channel's pulse data has
// been added to coef.
void dequantize_and_scale(const aac_stream_tables *tables, const aac_ics_info *ics,
                          const uint32_t *sections, const int32_t *scalefactors, int32_t *coef,
                          bool pulses);

}  // namespace lumdec
