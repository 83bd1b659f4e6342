// The records that the bitstream parsers fill and the spectral processing
// reads and rewrites in place: window information, one channel's parsed
// individual_channel_stream, a channel pair, and pulse and TNS data.  All
// fields are 32-bit words; frame workspaces are sequences of these records.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumdec {

enum : uint32_t {
    AAC_ONLY_LONG_SEQUENCE = 0,
    AAC_LONG_START_SEQUENCE = 1,
    AAC_EIGHT_SHORT_SEQUENCE = 2,
    AAC_LONG_STOP_SEQUENCE = 3,
};

enum : uint32_t {
    AAC_ZERO_HCB = 0,
    AAC_ESC_HCB = 11,
    AAC_NOISE_HCB = 13,
    AAC_INTENSITY_HCB2 = 14,
    AAC_INTENSITY_HCB = 15,
};

struct aac_ics_info {
    uint32_t window_sequence;
    uint32_t window_shape;         // 0 sine, 1 KBD
    uint32_t max_sfb;
    uint32_t num_window_groups;    // 1 for long sequences
    uint32_t window_group_end[8];  // first window after each group
};

struct aac_pulse_data {
    uint32_t number_pulse;         // 1..4
    uint32_t pulse_start_sfb;
    int32_t pulse_packed[4];       // (amplitude << 16) + coefficient index
};

struct aac_tns_filter {
    uint32_t bottom_sfb;
    uint32_t top_sfb;
    uint32_t start_coef;           // coefficient range inside the window
    uint32_t end_coef;
    uint32_t order;                // already limited to the maximum order
    uint32_t direction;            // 0 upward, 1 downward
    int32_t coef[20];              // coded coefficients, two's complement
};

// Eight window slots of 28 words: n_filt, coef_bits, then filters of 26
// words.  A short window has at most one filter in its own slot; the up to
// three filters of a long window run on from slot 0 into slots 1 and 2.
struct aac_tns_data {
    uint32_t words[8 * 28];
};

inline uint32_t &aac_tns_n_filt(aac_tns_data &tns, int window)
{
    return tns.words[28 * window];
}

inline uint32_t &aac_tns_coef_bits(aac_tns_data &tns, int window)
{
    return tns.words[28 * window + 1];
}

inline aac_tns_filter &aac_tns_filter_at(aac_tns_data &tns, int window, int filter)
{
    return *reinterpret_cast<aac_tns_filter *>(&tns.words[28 * window + 2 + 26 * filter]);
}

// One channel's parsed individual_channel_stream (and the whole record of a
// single or LFE element).  Fields a frame does not code keep older values;
// the flags, the section lists and max_sfb say what is valid.
struct alignas(16) aac_channel_state {
    aac_ics_info ics_info;         // not written for channel 1 of a common-window pair
    uint32_t ics_start_bit;        // bit position of global_gain in the frame
    uint32_t global_gain;
    uint32_t noise_used;
    uint32_t intensity_used;
    uint32_t pulse_data_present;
    uint32_t tns_data_present;
    aac_pulse_data pulse;
    aac_tns_data tns;
    // Group g's sections from index 16g: (codebook << 8) + exclusive end band.
    uint32_t sections[128];
    // Band b of group g at 16g + b: scale factor - 100, noise energy or
    // intensity position, by the band's codebook.
    int32_t scalefactors[128];
    // Quantised values from the parser; the synthesis rewrites the same
    // words as floats: first the scaled spectrum, then the transform output.
    alignas(16) int32_t coef[1024];
};

struct alignas(16) aac_channel_pair_state {
    uint32_t common_window;
    uint32_t ms_mask_present;      // written only with a common window
    uint32_t ms_used[128];         // band b of group g at 16g + b
    aac_channel_state channel[2];
};

static_assert(sizeof(aac_tns_filter) == 26 * 4);
static_assert(offsetof(aac_channel_state, coef) % 16 == 0);
static_assert(sizeof(aac_channel_state) % 16 == 0);
static_assert(offsetof(aac_channel_pair_state, channel) % 16 == 0);

// The spectrum buffer seen as floats, once the synthesis has converted it.
inline float *aac_coef_floats(aac_channel_state &channel)
{
    return reinterpret_cast<float *>(channel.coef);
}

}  // namespace lumdec
