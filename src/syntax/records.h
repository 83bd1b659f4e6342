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

// Eight window slots of AAC_TNS_WINDOW_WORDS words: n_filt, coef_bits, then
// filters of AAC_TNS_FILTER_WORDS words.  A short window has at most one
// filter in its own slot; the up to three filters of a long window run on
// from slot 0 into slots 1 and 2.
inline constexpr uint32_t AAC_TNS_WINDOW_WORDS = 28;
inline constexpr uint32_t AAC_TNS_FILTER_WORDS = 26;
inline constexpr uint32_t AAC_TNS_N_FILT_WORD = 0;
inline constexpr uint32_t AAC_TNS_COEF_BITS_WORD = 1;
inline constexpr uint32_t AAC_TNS_FIRST_FILTER_WORD = 2;

struct aac_tns_data {
    uint32_t words[8 * AAC_TNS_WINDOW_WORDS];
};

static_assert(sizeof(aac_tns_filter) == AAC_TNS_FILTER_WORDS * 4);
// A short window's one filter fills its slot; a long window's three fit in
// the first three slots.
static_assert(AAC_TNS_FIRST_FILTER_WORD + AAC_TNS_FILTER_WORDS == AAC_TNS_WINDOW_WORDS);
static_assert(AAC_TNS_FIRST_FILTER_WORD + 3 * AAC_TNS_FILTER_WORDS <= 3 * AAC_TNS_WINDOW_WORDS);

inline uint32_t &aac_tns_n_filt(aac_tns_data &tns, int window)
{
    return tns.words[AAC_TNS_WINDOW_WORDS * window + AAC_TNS_N_FILT_WORD];
}

inline uint32_t aac_tns_n_filt(const aac_tns_data &tns, int window)
{
    return tns.words[AAC_TNS_WINDOW_WORDS * window + AAC_TNS_N_FILT_WORD];
}

inline uint32_t &aac_tns_coef_bits(aac_tns_data &tns, int window)
{
    return tns.words[AAC_TNS_WINDOW_WORDS * window + AAC_TNS_COEF_BITS_WORD];
}

inline uint32_t aac_tns_coef_bits(const aac_tns_data &tns, int window)
{
    return tns.words[AAC_TNS_WINDOW_WORDS * window + AAC_TNS_COEF_BITS_WORD];
}

inline aac_tns_filter &aac_tns_filter_at(aac_tns_data &tns, int window, int filter)
{
    return *reinterpret_cast<aac_tns_filter *>(
        &tns.words[AAC_TNS_WINDOW_WORDS * window + AAC_TNS_FIRST_FILTER_WORD +
                   AAC_TNS_FILTER_WORDS * filter]);
}

inline const aac_tns_filter &aac_tns_filter_at(const aac_tns_data &tns, int window, int filter)
{
    return *reinterpret_cast<const aac_tns_filter *>(
        &tns.words[AAC_TNS_WINDOW_WORDS * window + AAC_TNS_FIRST_FILTER_WORD +
                   AAC_TNS_FILTER_WORDS * filter]);
}

// A frame is 1024 coefficients per channel: one long window, or eight short
// windows of 128 one after another.
inline constexpr uint32_t AAC_FRAME_LENGTH = 1024;
inline constexpr uint32_t AAC_SHORT_WINDOW_LENGTH = 128;

// The per-band arrays (sections, scale factors, M/S flags) hold window
// group g from index AAC_BANDS_PER_GROUP * g: band b of group g is at
// aac_group_offset(g) + b.
inline constexpr uint32_t AAC_BANDS_PER_GROUP = 16;

inline constexpr uint32_t aac_group_offset(uint32_t group)
{
    return AAC_BANDS_PER_GROUP * group;
}

// A section entry packs the section's codebook and its exclusive end band.
inline constexpr uint32_t aac_section_entry(uint32_t codebook, uint32_t end_band)
{
    return (codebook << 8) + end_band;
}

inline constexpr uint32_t aac_section_codebook(uint32_t entry) { return entry >> 8; }

inline constexpr uint32_t aac_section_end(uint32_t entry) { return entry & 0xFF; }

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
    // Each group's section entries from aac_group_offset(g) on.
    uint32_t sections[8 * AAC_BANDS_PER_GROUP];
    // By band: scale factor - 100, noise energy or intensity position, as
    // the band's codebook says.
    int32_t scalefactors[8 * AAC_BANDS_PER_GROUP];
    // Quantised values from the parser; the synthesis rewrites the same
    // words as floats: first the scaled spectrum, then the transform output.
    alignas(16) int32_t coef[AAC_FRAME_LENGTH];
};

struct alignas(16) aac_channel_pair_state {
    uint32_t common_window;
    uint32_t ms_mask_present;      // written only with a common window
    uint32_t ms_used[8 * AAC_BANDS_PER_GROUP];  // by band
    aac_channel_state channel[2];
};

static_assert(offsetof(aac_channel_state, coef) % 16 == 0);
static_assert(sizeof(aac_channel_state) % 16 == 0);
static_assert(offsetof(aac_channel_pair_state, channel) % 16 == 0);

// The spectrum buffer seen as floats, once the synthesis has converted it.
inline float *aac_coef_floats(aac_channel_state &channel)
{
    return reinterpret_cast<float *>(channel.coef);
}

inline const float *aac_coef_floats(const aac_channel_state &channel)
{
    return reinterpret_cast<const float *>(channel.coef);
}

// The window information channel c of a pair was coded with: channel 0's
// own with a common window, since channel 1's is then not written.
inline const aac_ics_info &aac_pair_ics_info(const aac_channel_pair_state &pair, int c)
{
    return pair.common_window ? pair.channel[0].ics_info : pair.channel[c].ics_info;
}

}  // namespace lumdec
