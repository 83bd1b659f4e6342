#include "synthesis/pipeline.h"

#include "syntax/band_layout.h"
#include "synthesis/dequantize.h"
#include "synthesis/filterbank.h"
#include "synthesis/noise.h"
#include "synthesis/stereo.h"
#include "synthesis/tns.h"

namespace lumdec {

void expand_band_codebooks(const aac_ics_info *ics, const uint32_t *sections, uint32_t *map)
{
    aac_for_each_section(ics, sections, [map](const aac_section &s) {
        uint32_t *group = map + aac_group_offset(s.group);
        for (uint32_t b = s.start_band; b < s.end_band; ++b)
            group[b] = s.codebook;
    });
}

void decode_single_channel(aac_decoder *decoder, aac_channel_state *channel)
{
    const aac_stream_tables *tables = &decoder->stream_tables;
    const aac_ics_info *ics = &channel->ics_info;
    if (channel->pulse_data_present)
        apply_pulse_data(&channel->pulse, channel->coef);
    dequantize_and_scale(tables, ics, channel->sections, channel->scalefactors, channel->coef,
                         channel->pulse_data_present);
    float *spectrum = aac_coef_floats(*channel);
    if (channel->noise_used)
        noise_substitution(tables, ics, channel->sections, channel->scalefactors, spectrum,
                           &decoder->pns_state);
    if (channel->tns_data_present)
        tns_decode(ics, &channel->tns, spectrum);
    inverse_transform(ics, spectrum);
}

void decode_channel_pair(aac_decoder *decoder, aac_channel_pair_state *pair)
{
    const aac_stream_tables *tables = &decoder->stream_tables;
    aac_channel_state &ch0 = pair->channel[0];
    aac_channel_state &ch1 = pair->channel[1];
    const aac_ics_info *ics0 = &aac_pair_ics_info(*pair, 0);
    const aac_ics_info *ics1 = &aac_pair_ics_info(*pair, 1);
    float *L = aac_coef_floats(ch0);
    float *R = aac_coef_floats(ch1);

    if (ch0.pulse_data_present)
        apply_pulse_data(&ch0.pulse, ch0.coef);
    if (ch1.pulse_data_present)
        apply_pulse_data(&ch1.pulse, ch1.coef);
    dequantize_and_scale(tables, ics0, ch0.sections, ch0.scalefactors, ch0.coef,
                         ch0.pulse_data_present);
    dequantize_and_scale(tables, ics1, ch1.sections, ch1.scalefactors, ch1.coef,
                         ch1.pulse_data_present);

    // Both channels are complete before any stereo tool reads them; M/S
    // comes before noise and intensity, so noise bands are left out of M/S
    // and intensity copies the decoded left channel.
    // Channel 0's band codebooks serve only M/S and the correlated noise,
    // which both need M/S signalled.
    uint32_t map0[8 * AAC_BANDS_PER_GROUP];
    const bool ms_signalled = pair->common_window && pair->ms_mask_present != 0;
    if (ms_signalled) {
        expand_band_codebooks(ics0, ch0.sections, map0);
        ms_stereo(tables, *pair, map0, L, R);
    }

    if (ch0.noise_used)
        noise_substitution(tables, ics0, ch0.sections, ch0.scalefactors, L, &decoder->pns_state);
    if (ch1.noise_used) {
        if (ms_signalled)
            noise_substitution_pair(tables, *pair, map0, L, R, &decoder->pns_state);
        else
            noise_substitution(tables, ics1, ch1.sections, ch1.scalefactors, R,
                               &decoder->pns_state);
    }

    if (ch1.intensity_used)
        intensity_stereo(tables, *pair, L, R);

    if (ch0.tns_data_present)
        tns_decode(ics0, &ch0.tns, L);
    if (ch1.tns_data_present)
        tns_decode(ics1, &ch1.tns, R);

    inverse_transform(ics0, L);
    inverse_transform(ics1, R);
}

}  // namespace lumdec
