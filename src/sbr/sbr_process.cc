#include "sbr/sbr_process.h"

#include <algorithm>
#include <cstring>

#include "kernels/kernel_tables.h"
#include "sbr/sbr_envelope.h"
#include "sbr/sbr_hf_adjust.h"
#include "sbr/sbr_hf_generate.h"

namespace lumdec {

namespace {

void analyse(sbr_channel *ch, const float *core)
{
    std::memcpy(ch->low_re[0], ch->low_re[32], sizeof(float) * 32 * 8);
    std::memcpy(ch->low_im[0], ch->low_im[32], sizeof(float) * 32 * 8);
    std::memcpy(ch->analysis_in + 288, core, sizeof(float) * 1024);
    aac_active_sbr_kernels->qmf_analysis(ch->analysis_in, ch->low_re[8], ch->low_im[8], 32);
    std::memmove(ch->analysis_in, ch->analysis_in + 1024, sizeof(float) * 288);
}

// Builds the synthesis input in high-band slots 2..33: the low band below
// kx (the last frame's kx in the slots its envelopes still cover), the
// adjusted high band above it.
void assemble(sbr_channel *ch, int kx)
{
    const int carried = std::max(2 * ch->prev_end - 32, 0);
    for (int l = 0; l < sbr_slots; l++) {
        const int limit = std::min(l < carried ? ch->prev_kx : kx, 32);
        std::memcpy(ch->high_re[l + 2], ch->low_re[l + 2], sizeof(float) * limit);
        std::memcpy(ch->high_im[l + 2], ch->low_im[l + 2], sizeof(float) * limit);
    }
}

void clear_high(sbr_channel *ch)
{
    for (int l = 2; l < sbr_high_slots; l++) {
        std::memset(ch->high_re[l], 0, sizeof ch->high_re[l]);
        std::memset(ch->high_im[l], 0, sizeof ch->high_im[l]);
    }
}

// The slots past this frame's end move to the front for the next frame.
void finish(sbr_channel *ch, int kx, int end)
{
    std::memcpy(ch->high_re[0], ch->high_re[32], sizeof(float) * 64 * 8);
    std::memcpy(ch->high_im[0], ch->high_im[32], sizeof(float) * 64 * 8);
    ch->prev_kx = kx;
    ch->prev_end = end;
}

// Parametric stereo: the right channel's matrix from the mono one.  The PS
// tool also reads the six rows after the frame, bands 0..4, which the
// analysis has produced already (the output runs two slots behind it, the
// frame's last slots then follow): they are put in place first.  The rows
// go to the next frame as its first ones, whose low bands are rebuilt there.
void stereo_from_mono(sbr_channel *ch, const sbr_frame_io &io)
{
    static_assert(sbr_high_slots - 2 - sbr_slots == PS_LOOKAHEAD_SLOTS);
    for (int l = sbr_slots + 2; l < sbr_high_slots; l++) {
        std::memcpy(ch->high_re[l], ch->low_re[l], sizeof(float) * PS_SPLIT_BANDS);
        std::memcpy(ch->high_im[l], ch->low_im[l], sizeof(float) * PS_SPLIT_BANDS);
    }
    // Left stays in the mono matrix, right goes to the stereo one.
    ps_apply(io.ps, ch->high_re + 2, ch->high_im + 2, io.stereo_re, io.stereo_im, sbr_slots);
}

void synthesise(const sbr_frame_io &io, float *v, const float *re, const float *im, int c)
{
    const aac_sbr_kernels *k = aac_active_sbr_kernels;
    (io.downsampled ? k->qmf_synthesis_down : k->qmf_synthesis)(v, re, im, io.window[c],
                                                                 io.out[c], sbr_slots);
}

}  // namespace

void sbr_reset_channel(sbr_channel *ch)
{
    std::memset(static_cast<void *>(ch), 0, sizeof *ch);
    ch->prev_kx = 32;
    ch->prev_end = 16;
}

void sbr_process_element(sbr_element *el, bool payload_ok, const sbr_frame_io &io)
{
    const int n = el->num_channels;
    const sbr_band_tables &t = el->tables;
    bool active[2] = {false, false};
    for (int c = 0; c < n; c++) {
        sbr_channel *ch = el->ch[c];
        if (io.core[c])
            analyse(ch, io.core[c]);
        if (!el->header_seen || !ch->data_valid)
            continue;
        if (!payload_ok || !el->payload_present)
            sbr_conceal_data(t, ch->prev_end, &ch->data);
        active[c] = true;
    }

    if (active[0] || active[1]) {
        sbr_levels levels[2];
        sbr_energies energies[2];
        for (int c = 0; c < n; c++)
            if (active[c])
                sbr_decode_levels(t, el->ch[c]->data, el->ch[c], &levels[c]);
        if (n == 2 && el->coupling && active[0] && active[1]) {
            sbr_dequantise_coupled(t, el->ch[0]->data, levels[0], levels[1], &energies[0],
                                   &energies[1]);
        } else {
            for (int c = 0; c < n; c++)
                if (active[c])
                    sbr_dequantise(t, el->ch[c]->data, levels[c], &energies[c]);
        }
        for (int c = 0; c < n; c++) {
            if (!active[c] || !io.core[c])
                continue;
            sbr_channel *ch = el->ch[c];
            sbr_hf_generate(t, ch->data, el->reset != 0, ch);
            sbr_hf_adjust(t, el->header, ch->data, energies[c], el->reset != 0, ch);
        }
    }

    for (int c = 0; c < n; c++) {
        sbr_channel *ch = el->ch[c];
        if (!io.core[c])
            continue;
        int kx = 32, end = 16;
        if (active[c]) {
            kx = t.kx;
            end = ch->data.grid.t_env[ch->data.grid.num_env];
        } else {
            clear_high(ch);
        }
        assemble(ch, kx);
        float (*x_re)[64] = ch->high_re + 2;
        float (*x_im)[64] = ch->high_im + 2;
        if (n == 1 && io.out[1] != nullptr) {
            stereo_from_mono(ch, io);
            synthesise(io, io.stereo_v, io.stereo_re[0], io.stereo_im[0], 1);
        }
        if (io.out[c])
            synthesise(io, ch->synthesis_v, x_re[0], x_im[0], c);
        finish(ch, kx, end);
    }
}

}  // namespace lumdec
