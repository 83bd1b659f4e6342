// The output step of an HE-AAC decoder after a parsed frame: the SBR
// payloads read, the format fixed by the first frame, the core of every
// element windowed in the 16-bit scale (frame 1 against silence) and taken
// through its band replication into the output block.
//
// The core output of call n is the overlap of frames n-1 and n, as on the
// LC path; band replication runs on every frame, frame 1 included, so that
// its filter banks and envelopes are in place when call 2 delivers.
#include <cstring>

#include "decoder/frame_slots.h"
#include "decoder/he_instance.h"
#include "decoder/layouts.h"
#include "sbr/sbr_process.h"
#include "syntax/records.h"
#include "synthesis/filterbank.h"
#include "synthesis/pipeline.h"
#include "synthesis/window_tables.h"

namespace lumdec {

namespace {

// The frame before a stream's first (or after a lost one): silence.
const aac_ics_info silent_info = {AAC_ONLY_LONG_SEQUENCE, 0, 0, 1, {1}};

void fix_format(he_decoder *he)
{
    aac_output_format &f = he->format;
    const aac_layout &layout = aac_layouts[he->base.channel_configuration];
    bool sbr = f.sbr != 0;
    if (sbr && he->sbr_mode == AAC_SBR_IMPLICIT) {
        sbr = false;
        for (int i = 0; i < layout.num_elements; i++)
            sbr = sbr || he->sbr[i].payload_present;
    }
    const bool ps = sbr && f.ps && (he->ps_mode == AAC_PS_EXPLICIT || he->sbr[0].ps_seen);
    const bool doubled = sbr && he->sbr_mode != AAC_SBR_DOWNSAMPLED;
    f.sbr = sbr;
    f.ps = ps;
    f.channels = layout.num_channels + (ps ? 1 : 0);
    f.samples_per_block = doubled ? 2048 : 1024;
    f.sample_rate = doubled ? 2 * f.core_sample_rate : f.core_sample_rate;
    f.object_type = ps ? 29 : sbr ? 5 : 2;
    f.fixed = 1;
    if (!ps)
        for (sbr_element &el : he->sbr)
            el.ps_allowed = 0;
}

struct channel_frame {
    const aac_ics_info *info;
    const float *coef;
};

channel_frame channel_of(const char *record, aac_element_kind kind, int c)
{
    if (kind != AAC_ELEMENT_CPE) {
        const auto *ch = reinterpret_cast<const aac_channel_state *>(record);
        return {&ch->ics_info, reinterpret_cast<const float *>(ch->coef)};
    }
    const auto *pair = reinterpret_cast<const aac_channel_pair_state *>(record);
    const aac_ics_info *info =
        pair->common_window ? &pair->channel[0].ics_info : &pair->channel[c].ics_info;
    return {info, reinterpret_cast<const float *>(pair->channel[c].coef)};
}

}  // namespace

void he_drive_frame(he_decoder *he)
{
    aac_decoder *dec = &he->base;
    const aac_layout &layout = aac_layouts[dec->channel_configuration];
    if (he->format.fixed && !he->format.sbr) {
        drive_frame(dec);  // an LC stream: SBR data appearing later is skipped
        return;
    }
    bool payload_ok[5];
    for (int i = 0; i < layout.num_elements; i++) {
        payload_ok[i] = sbr_parse_payload(&he->sbr[i], dec->input_data, dec->input_size);
        if (!payload_ok[i])
            he->sbr[i].error_count++;
        // Parameters of a damaged PS payload are dropped; the last ones hold.
        const sbr_element &el = he->sbr[i];
        if (payload_ok[i] && el.ps_seen && he->ps &&
            !ps_read(he->ps, dec->input_data, dec->input_size, el.ps_start, el.ps_bits))
            he->sbr[i].error_count++;
    }
    if (!he->format.fixed)
        fix_format(he);
    if (!he->format.sbr) {
        drive_frame(dec);
        return;
    }

    char *work = pointer_of(dec->cur_work);
    char *prev = pointer_of(dec->prev_work);
    const uint32_t prev_state = state_of(dec->prev_work);
    auto *out = reinterpret_cast<float *>(pointer_of(dec->out_block));
    const bool deliver = dec->output_hook != nullptr && out != nullptr && prev_state == AAC_SLOT_VALID;
    const int n = he->format.samples_per_block;

    reconstruct_elements(dec, layout, work);

    float *sink = he->sink;
    for (int i = 0; i < layout.num_elements; i++) {
        const aac_layout_element &e = layout.elements[i];
        const uint32_t offset = aac_element_offset(layout, i);
        sbr_element &el = he->sbr[i];
        sbr_frame_io io{};
        io.stereo_re = he->stereo_re;
        io.stereo_im = he->stereo_im;
        io.stereo_v = he->stereo_v;
        io.ps = he->ps;
        io.downsampled = he->sbr_mode == AAC_SBR_DOWNSAMPLED;
        const int outputs = el.num_channels == 1 && he->format.ps ? 2 : el.num_channels;
        for (int j = 0; j < outputs; j++) {
            const int c = e.channel + j;
            const bool on = j < el.num_channels ? dec->channel_gain[c] != nullptr
                                                : dec->gain[c] != 0.0f;
            float *dest = deliver ? out + n * c : sink + 2048 * j;
            io.window[j] = he->windows + 640 * c;
            if (!on) {
                if (deliver)
                    std::memset(dest, 0, sizeof(float) * n);
                continue;
            }
            io.out[j] = dest;
            if (j >= el.num_channels)
                continue;
            const channel_frame cur = channel_of(work + offset, e.kind, j);
            channel_frame before{&silent_info, aac_zero_block};
            if (prev_state == AAC_SLOT_VALID)
                before = channel_of(prev + offset, e.kind, j);
            float *core = he->core + 1024 * j;
            overlap_add_frame(he->unity, core, before.info, before.coef, cur.info, cur.coef);
            io.core[j] = core;
        }
        sbr_process_element(&el, payload_ok[i], io);
    }

    set_state(dec->cur_work, AAC_SLOT_VALID);
    exchange_workspaces(dec);
    dec->frame_open = 0;
    if (prev_state != AAC_SLOT_EMPTY) {
        set_state(dec->out_block, prev_state);
        call_output_hook(dec);
    }
}

}  // namespace lumdec
