// The frequency band tables of a header: master table, high and low
// resolution tables, noise floor bands, patches and limiter bands.
#pragma once

#include "sbr/sbr_state.h"

namespace lumdec {

// Fills t from the header for the SBR output rate rate_index (an index of
// sbr_rate_table).  Returns false when the header asks for bands the
// decoder cannot realise (out of range, too many patches or noise bands).
bool sbr_derive_tables(const sbr_header &h, int rate_index, sbr_band_tables *t);

// Recomputes only the limiter bands (they depend on bs_limiter_bands, which
// does not reset the other tables).
void sbr_derive_limiter(const sbr_header &h, sbr_band_tables *t);

}  // namespace lumdec
