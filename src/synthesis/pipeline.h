// Reconstruction of one element's channels for one frame: from the parsed
// integer spectrum to the folded transform output, in place in the record.
#pragma once

#include "lumdec.h"
#include "syntax/records.h"

namespace lumdec {

// Single channel or LFE record.
void decode_single_channel(aac_decoder *decoder, aac_channel_state *channel);

// Channel pair record, with the joint-stereo tools.
void decode_channel_pair(aac_decoder *decoder, aac_channel_pair_state *pair);

// map[aac_group_offset(g) + b] = the codebook of band b of group g, for
// b < max_sfb.
void expand_band_codebooks(const aac_ics_info *ics, const uint32_t *sections, uint32_t *map);

}  // namespace lumdec
