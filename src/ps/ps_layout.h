// The two hybrid configurations: how the 64 QMF bands become 71 or 91
// hybrid bands, which parameter band governs each, and which part of the
// decorrelator each band goes through.
#pragma once

#include <cstdint>

#include "ps/ps.h"

namespace lumdec {

struct ps_layout {
    int config;        // parameter bands: 20 or 34
    int split;         // QMF bands split by the hybrid filters: 3 or 5
    int sub;           // their sub-subbands, hybrid bands 0..sub-1: 10 or 32
    int bands;         // hybrid bands: 71 or 91; band sub + q - split is QMF band q
    int allpass;       // bands below this (QMF band 23) go through the all-pass chain
    int long_delay;    // bands below this (QMF band 35) are delayed by PS_LONG_DELAY, the rest by 1
    const uint8_t *band_to_par;
    const float *filter_cos, *filter_sin;
    const ps_hybrid_part *parts;  // per split QMF band
    const ps_decorrelator_table *decorrelator;
};

// config 20 or 34.
const ps_layout &ps_layout_of(int config);

// Hybrid band of QMF band q >= layout.split.
inline int ps_unsplit_band(const ps_layout &layout, int q)
{
    return q - layout.split + layout.sub;
}

// Splits the lowest QMF bands of X into sub-subbands and copies the others,
// into the frame rows of ps->s_*; updates the filters' history.
void ps_hybrid_analysis(ps_state *ps, const ps_layout &layout, float (*x_re)[64], float (*x_im)[64],
                        int num_slots);

// Sums the sub-subbands of one channel (ps->sub_*[channel]) into the split
// QMF bands of out.
void ps_hybrid_synthesis(const ps_state *ps, const ps_layout &layout, int channel, float (*out_re)[64],
                         float (*out_im)[64], int num_slots);

// Transient gains of the frame's slots per hybrid band (ps->gain), and the
// all-passed signal of the lower bands (ps->d_*).
void ps_decorrelate(ps_state *ps, const ps_layout &layout, int num_slots);

// Left into X, right into Y: the envelopes of ps->frame (or the held
// matrices when the frame brought none), then the hybrid synthesis.
void ps_mix(ps_state *ps, const ps_layout &layout, float (*x_re)[64], float (*x_im)[64],
            float (*y_re)[64], float (*y_im)[64], int num_slots);

// The matrices of one band's parameters: intensity and coherence indices as
// mapped to the configuration.
const float *ps_matrix(bool mixing_b, bool fine_iid, int iid, int icc);

}  // namespace lumdec
