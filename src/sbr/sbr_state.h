// The records of the band replication decoder: the header of an element,
// the frequency band tables derived from it, one channel's parsed frame
// data, and one channel's state carried from frame to frame (QMF histories,
// the last envelope and noise floor, smoothing histories, indices).
//
// Time is counted in QMF slots of 64 output samples; a frame has 32 of them
// (16 time slots of two).  The low-band matrix holds 40 slots: the last 8 of
// the previous frame, then the 32 of this one.  The high-band matrix holds
// 40 slots too, indexed like the low band: slot l of the frame's output is
// slot l + 2 of both (the HF generator works two slots behind the analysis).
#pragma once

#include <cstdint>

namespace lumdec {

constexpr int sbr_slots = 32;         // QMF slots per frame
constexpr int sbr_low_slots = 40;     // low-band matrix: 8 slots of history + 32
constexpr int sbr_high_slots = 40;    // high-band matrix, indexed like the low band
constexpr int sbr_adjust_offset = 2;  // output slot l is matrix slot l + 2
constexpr int sbr_max_envelopes = 5;
constexpr int sbr_max_noise_bands = 5;
constexpr int sbr_max_patches = 6;
constexpr int sbr_max_limiter_bands = 24;

// One element's sbr_header() values; the fields whose change resets the
// band tables come first.
struct sbr_header {
    uint8_t start_freq;
    uint8_t stop_freq;
    uint8_t xover_band;
    uint8_t freq_scale;
    uint8_t alter_scale;
    uint8_t noise_bands;
    uint8_t amp_res;
    uint8_t limiter_bands;
    uint8_t limiter_gains;
    uint8_t interpol_freq;
    uint8_t smoothing_mode;
};

// Band tables, in QMF band numbers.
struct sbr_band_tables {
    int32_t k0, k2;         // first and last (exclusive) band of the master table
    int32_t kx, m;          // first band of the high band and its width
    int32_t n_master, n_high, n_low, n_noise, n_limiter;
    uint8_t f_master[65];
    uint8_t f_high[65];
    uint8_t f_low[65];
    uint8_t f_noise[sbr_max_noise_bands + 1];
    uint8_t f_limiter[sbr_max_limiter_bands + 1];
    int32_t num_patches;
    uint8_t patch_bands[sbr_max_patches];  // width of each patch
    uint8_t patch_start[sbr_max_patches];  // its first source band
};

// The time/frequency grid of one channel's frame.
struct sbr_grid {
    int32_t frame_class;
    int32_t num_env;
    int32_t num_noise;
    int32_t transient;      // l_A: envelope that starts at a transient, or -1
    int32_t t_env[sbr_max_envelopes + 1];  // borders in time slots (two QMF slots)
    int32_t t_noise[3];
    uint8_t freq_res[sbr_max_envelopes];
};

// One channel's sbr data of one frame as coded: grid, directions, modes and
// the raw values (first values and Huffman differences, the balance
// channel's already doubled).
struct sbr_frame_data {
    sbr_grid grid;
    int32_t amp_res;
    uint8_t df_env[sbr_max_envelopes];
    uint8_t df_noise[2];
    uint8_t invf_mode[sbr_max_noise_bands];
    uint8_t add_harmonic_flag;
    uint8_t add_harmonic[64];
    int8_t env[sbr_max_envelopes][64];
    int8_t noise[2][sbr_max_noise_bands];
};

// One channel's state between frames.  16-byte aligned.
struct alignas(16) sbr_channel {
    // QMF analysis input: 288 samples of history, then the frame's 1024.
    alignas(16) float analysis_in[288 + 1024];
    // Synthesis: the 128-value vectors of the last 9 slots, then this frame's.
    alignas(16) float synthesis_v[(9 + sbr_slots) * 128];
    // Low band, by slot and band (32 bands), real and imaginary planes.
    alignas(16) float low_re[sbr_low_slots][32];
    alignas(16) float low_im[sbr_low_slots][32];
    // High band and, once the frame is assembled, the synthesis input X
    // (slots 2..33), by slot and band (64 bands).
    alignas(16) float high_re[sbr_high_slots][64];
    alignas(16) float high_im[sbr_high_slots][64];

    // Decoded (integer) envelope and noise values of the last frame's last
    // envelope and noise floor, the envelope by QMF band (value of the band
    // holding it), with the frequency resolution it had.
    int32_t prev_env_by_band[64];
    int32_t prev_noise[sbr_max_noise_bands];
    // Smoothing histories of gains and noise levels, the last 4 slots, by
    // band offset m = k - kx.
    float gain_history[4][64];
    float noise_history[4][64];
    // Sinusoids of the last envelope, by band offset m.
    uint8_t prev_sines[64];
    uint8_t prev_invf[sbr_max_noise_bands];
    float prev_bw[sbr_max_noise_bands];
    int32_t prev_transient_at_end;  // the last frame's l_A pointed past its end
    int32_t prev_end;               // the last frame's last border (time slots)
    int32_t prev_kx;                // kx of the slots the last frame reaches into
    int32_t noise_index;
    int32_t sine_index;
    int32_t history_valid;          // the smoothing histories hold real gains
    int32_t history_pos;            // row of the oldest slot in the histories

    // This frame's data and the last good one (kept for concealment).
    sbr_frame_data data;
    int32_t data_valid;
};

}  // namespace lumdec
