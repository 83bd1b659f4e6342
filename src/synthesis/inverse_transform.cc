// First half of the synthesis filterbank: each window's spectrum becomes its
// DCT-IV, a folded time signal that the output stage unfolds while windowing.
#include "kernels/kernel_tables.h"
#include "synthesis/filterbank.h"

namespace lumdec {

void inverse_transform(const aac_ics_info *ics, float *coef)
{
    const aac_transform_kernels *tk = aac_active_transform_kernels;
    if (ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE) {
        for (int w = 0; w < 8; w++)
            tk->dct4_128(coef + 128 * w);
    } else {
        tk->dct4_1024(coef);
    }
}

}  // namespace lumdec
