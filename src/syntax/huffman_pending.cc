// Placeholder until the Huffman decoders land: streams that need no
// codeword (every band zero, noise bands after the first) parse, anything
// else is refused.
#include "syntax/huffman.h"

#include "frame/error.h"

int32_t aac_decode_scalefactor_diff(aac_bit_reader *)
{
    aac_raise(AAC_ERR_BAD_STREAM);
}

void aac_parse_spectral_data(aac_bit_reader *, int32_t *, const aac_ics_info *ics,
                             const uint32_t *sections, const aac_stream_tables *)
{
    for (uint32_t g = 0; g < ics->num_window_groups; g++) {
        const uint32_t *section = sections + 16 * g;
        for (uint32_t band = 0; band < ics->max_sfb; band = *section++ & 0xFF) {
            uint32_t codebook = *section >> 8;
            if (codebook >= 1 && codebook <= 11)
                aac_raise(AAC_ERR_BAD_STREAM);
        }
    }
}

int32_t aac_decode_escape(aac_bit_reader *)
{
    aac_raise(AAC_ERR_BAD_STREAM);
}
