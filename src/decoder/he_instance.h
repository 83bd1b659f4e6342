// The instance record of an HE-AAC decoder: the public aac_decoder first,
// then the band replication of every channel element and the buffers of the
// HE output path.  Everything is allocated at creation or at the first
// decode call.
#pragma once

#include "lumdec.h"
#include "ps/ps.h"
#include "syntax/bit_reader.h"
#include "sbr/sbr_element.h"
#include "synthesis/filterbank.h"

namespace lumdec {

// The value of aac_decoder::reserved0 that marks an HE record.
constexpr int32_t he_marker = 0x48454131;

struct he_decoder {
    aac_decoder base;
    int32_t sbr_mode;           // AAC_SBR_*
    int32_t ps_mode;            // AAC_PS_*
    int32_t sbr_rate_index;     // index of the SBR rate in sbr_rate_table, or -1
    aac_output_format format;
    sbr_element sbr[5];         // by element of the layout
    int32_t last_element;       // the channel element a fill element follows, or -1

    // Set up at the first decode call (one allocation).
    void *resources;
    sbr_channel *channels;      // one per core channel, in layout order
    aac_channel_gain *unity;    // window set of the core in the 16-bit scale
    float *windows;             // 640-tap synthesis prototype per output channel, gain-scaled
    float *core;                // 1024 core samples per core channel
    float (*stereo_re)[64];     // right-hand matrix of parametric stereo
    float (*stereo_im)[64];
    float *stereo_v;            // its synthesis history
    ps_state *ps;               // the PS tool of a mono core, else null
    float *sink;                // 2 x 2048 samples of output nobody receives (frame 1)
};

inline he_decoder *he_of(aac_decoder *dec)
{
    return dec->reserved0 == he_marker ? reinterpret_cast<he_decoder *>(dec) : nullptr;
}

// First-call set-up of the HE buffers (raises AAC_ERR_NO_MEMORY).
void he_setup(he_decoder *he);

// Releases what he_setup allocated.
void he_release(he_decoder *he);

// The frame parser's hooks: the start of a frame, each channel element
// with its workspace offset (-1 for an LFE element, which carries no SBR),
// and each fill element, whose SBR payload is noted for the channel element
// it follows and which is then skipped.
void he_begin_frame(he_decoder *he);
void he_note_element(he_decoder *he, int32_t offset);

void he_note_fill(he_decoder *he, aac_bit_reader *reader);

// Output of a parsed and reconstructed frame (the HE counterpart of the
// frame driver's output step).
void he_drive_frame(he_decoder *he);

}  // namespace lumdec
