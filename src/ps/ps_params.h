// Stereo parameters between resolutions, and a frame's envelopes laid out
// on its slots.
#pragma once

#include <cstdint>

#include "ps/ps.h"

namespace lumdec {

// Index values of n_src parameter bands (10, 20 or 34; 0 for a parameter
// switched off, which reads as zeros) brought to n_dst bands.  10 and 20
// bands pair up (a 20-band pair is the truncated mean of its two values);
// 34 and 20 go through the weighted folding of the baseline decoder and
// its inverse.
void ps_map_index_base(const int8_t *src, int n_src, int8_t *dst, int n_dst);

// Phase values as the base of time-differential coding: the previous
// values when the band count is the same, zeros otherwise (phases have no
// meaningful mean).
void ps_map_phase_base(const int8_t *src, int n_src, int8_t *dst, int n_dst);

// The envelopes of a frame on num_slots slots: end[j] is the last slot of
// envelope j, coded[j] the coded envelope whose parameters it takes.  An
// envelope is appended when the coded ones stop short of the last slot,
// with the parameters of the last coded one; coded borders at or past the
// last slot end the list there.  Returns the count (0 for a frame without
// envelopes).
int ps_envelopes(const ps_frame &f, int num_slots, int *end, int *coded);

// Float values of n_src bands (10, 20 or 34) brought to n_dst bands (20 or
// 34), for the per-band states of the transient detection when the hybrid
// configuration changes.
void ps_map_float(const float *src, int n_src, float *dst, int n_dst);

}  // namespace lumdec
