// Parametric stereo: the SBR decoder of a mono core hands each frame's
// 64-band complex QMF matrix to this tool, which turns it into a left and a
// right matrix from a handful of stereo parameters per frame (intensity and
// coherence differences per parameter band, a few envelopes per frame).
//
// Per frame: ps_parse reads the ps_data() that travels in the SBR extended
// data (extension id 2), ps_apply then
//   1. splits the lowest QMF bands further with the hybrid filters (10 or 32
//      sub-subbands, the 20- or 34-band configuration),
//   2. derives a decorrelated signal: an all-pass chain with fractional
//      delays below QMF band 23, plain delays above, attenuated at
//      transients,
//   3. mixes mono and decorrelated signal into left and right with matrices
//      interpolated across the frame's envelopes,
//   4. sums the sub-subbands back into their QMF bands.
// Phase parameters (IPD/OPD) are read and kept but not applied: the mixing
// is the real-valued rotation of the baseline decoder.
//
// Everything lives in ps_state, of fixed size; nothing allocates.
#pragma once

#include <cstdint>

#include "ps/ps_kernels.h"
#include "ps/ps_tables.h"
#include "syntax/bit_reader.h"

namespace lumdec {

inline constexpr int PS_MAX_SLOTS = 32;        // QMF slots of a 1024-sample core frame
inline constexpr int PS_LOOKAHEAD_SLOTS = 6;   // rows ps_apply reads past the frame
inline constexpr int PS_SPLIT_BANDS = 5;       // QMF bands the hybrid filters may split
inline constexpr int PS_MAX_ENVELOPES = 5;     // 4 coded, one more appended to reach the frame end
inline constexpr int PS_MAX_PAR_BANDS = 34;
inline constexpr int PS_MAX_PHASE_BANDS = 17;
inline constexpr int PS_MAX_SUBBANDS = 32;     // sub-subbands of the 34-band configuration
inline constexpr int PS_LONG_DELAY = 14;       // slots of the plain delay of QMF bands 23..34
inline constexpr int PS_MAX_LINK_DELAY = 5;

// One frame's ps_data() as coded.  Parameter values are indices: intensity
// -7..7 (default grid) or -15..15 (fine), coherence 0..7, phases 0..7.
struct ps_frame {
    uint8_t present;      // read for this frame and not yet applied
    uint8_t var_borders;  // frame_class 1: borders coded, else evenly spread
    uint8_t num_env;      // coded envelopes, 0..4
    uint8_t iid_bands;    // 0 (intensity off), 10, 20 or 34
    uint8_t icc_bands;    // 0 (coherence off), 10, 20 or 34
    uint8_t phase_bands;  // 0 (no IPD/OPD), 5, 11 or 17
    uint8_t fine_iid;     // intensity on the fine grid
    uint8_t mixing_b;     // coherence modes 3..5: principal-axis mixing
    uint8_t border[PS_MAX_ENVELOPES];  // frame_class 1: last slot of each envelope
    int8_t iid[PS_MAX_ENVELOPES][PS_MAX_PAR_BANDS];
    int8_t icc[PS_MAX_ENVELOPES][PS_MAX_PAR_BANDS];
    int8_t ipd[PS_MAX_ENVELOPES][PS_MAX_PHASE_BANDS];
    int8_t opd[PS_MAX_ENVELOPES][PS_MAX_PHASE_BANDS];
};

// What the bitstream carries from frame to frame: the header's switches and
// the last envelope's values, against which time-differential coding counts.
struct ps_stream {
    uint8_t header_seen;
    uint8_t enable_iid, iid_mode;
    uint8_t enable_icc, icc_mode;
    uint8_t enable_ext;
    uint8_t last_iid_bands, last_icc_bands, last_phase_bands;
    int8_t last_iid[PS_MAX_PAR_BANDS];
    int8_t last_icc[PS_MAX_PAR_BANDS];
    int8_t last_ipd[PS_MAX_PHASE_BANDS];
    int8_t last_opd[PS_MAX_PHASE_BANDS];
};

struct alignas(16) ps_state {
    ps_stream stream;
    ps_frame frame;

    // The hybrid configuration in use (20 or 34 parameter bands) and the
    // parameters of its last envelope, mapped to it.
    uint8_t config;
    uint8_t last_fine_iid, last_mixing_b;
    int8_t applied_iid[PS_MAX_PAR_BANDS];
    int8_t applied_icc[PS_MAX_PAR_BANDS];

    // The last PS_LOOKAHEAD_SLOTS slots of the split QMF bands, the history
    // of the hybrid filters.
    alignas(16) float qmf_hist_re[PS_SPLIT_BANDS][PS_LOOKAHEAD_SLOTS];
    alignas(16) float qmf_hist_im[PS_SPLIT_BANDS][PS_LOOKAHEAD_SLOTS];

    // Transient detection, per parameter band.
    alignas(16) float peak_decay[PS_PAR_STRIDE];
    alignas(16) float power_smooth[PS_PAR_STRIDE];
    alignas(16) float diff_smooth[PS_PAR_STRIDE];

    // Mixing matrices (h11, h12, h21, h22) reached at the end of the last
    // envelope, per parameter band.
    alignas(16) float h_par[4][PS_PAR_STRIDE];

    // The hybrid-band signal: PS_LONG_DELAY rows of history, then the
    // frame's slots.
    alignas(16) float s_re[PS_LONG_DELAY + PS_MAX_SLOTS][PS_STRIDE];
    alignas(16) float s_im[PS_LONG_DELAY + PS_MAX_SLOTS][PS_STRIDE];

    // All-pass links: PS_MAX_LINK_DELAY rows of history, then the frame.
    alignas(16) float link_re[PS_NUM_LINKS][PS_MAX_LINK_DELAY + PS_MAX_SLOTS][PS_ALLPASS_STRIDE];
    alignas(16) float link_im[PS_NUM_LINKS][PS_MAX_LINK_DELAY + PS_MAX_SLOTS][PS_ALLPASS_STRIDE];

    // Work areas of one frame: the all-passed signal, the power per hybrid
    // band, the transient gain per parameter band, and left and right of
    // the sub-subbands.
    alignas(16) float d_re[PS_MAX_SLOTS][PS_STRIDE];
    alignas(16) float d_im[PS_MAX_SLOTS][PS_STRIDE];
    alignas(16) float power[PS_MAX_SLOTS][PS_STRIDE];
    alignas(16) float par_gain[PS_MAX_SLOTS][PS_PAR_STRIDE];
    alignas(16) float sub_re[2][PS_MAX_SLOTS][PS_MAX_SUBBANDS];
    alignas(16) float sub_im[2][PS_MAX_SLOTS][PS_MAX_SUBBANDS];
};

// The state of a stream's start: no header seen, mono output (both channels
// the input) until parameters arrive.
void ps_reset(ps_state *ps);

// Reads one ps_data() of at most num_bits bits (what the SBR extension
// holds after its extension id) and returns the bits read.  Raises
// AAC_ERR_CORRUPT_FRAME when the data would run past num_bits or holds a
// value outside its range; the state is then as before the call.
int ps_parse(aac_bit_reader *br, ps_state *ps, int num_bits);

// The same for the SBR decoder, which conceals damaged payloads without
// raising: ps_data() at bit start_bit of frame (frame_bytes long), num_bits
// long.  Returns false, raising nothing, when it is damaged; the state is
// then as before the call.
bool ps_read(ps_state *ps, const uint8_t *frame, int32_t frame_bytes, int32_t start_bit, int32_t num_bits);

// Turns the mono QMF matrix X (num_slots rows of 64 complex bands, planar)
// into left (written back into X) and right (into Y).  X must have
// PS_LOOKAHEAD_SLOTS more rows, read only: bands 0..4 of the slots that
// follow the frame, which the SBR decoder has already analysed (its output
// runs 6 slots behind its analysis).  They let the hybrid filters, centred
// on their slot, work without delaying the low bands.  num_slots <= 32.
//
// A frame without ps_data() (none sent, or its SBR data lost) keeps the
// matrices where the previous frame left them, as a coded frame without
// envelopes does: the image stays where it was rather than collapsing to
// mono, and the next parameters are reached by the usual interpolation.
void ps_apply(ps_state *ps, float (*x_re)[64], float (*x_im)[64], float (*y_re)[64],
              float (*y_im)[64], int num_slots);

}  // namespace lumdec
