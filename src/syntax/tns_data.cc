#include "syntax/tns_data.h"

#include <algorithm>

#include "syntax/band_layout.h"

namespace lumdec {

namespace {

struct tns_widths {
    int n_filt, length, order;
};

constexpr tns_widths tns_long = {2, 6, 5};
constexpr tns_widths tns_short = {1, 4, 3};

}  // namespace

void aac_parse_tns_data(aac_bit_reader *reader, const aac_ics_info *ics,
                        const aac_stream_tables *tables, aac_tns_data *tns)
{
    const bool short_windows = ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE;
    const tns_widths &widths = short_windows ? tns_short : tns_long;
    const int windows = short_windows ? 8 : 1;
    const aac_band_layout bands = aac_band_layout_of(tables, ics);
    const uint32_t max_order = short_windows ? tables->tns_max_order_short
                                             : tables->tns_max_order_long;
    const uint32_t limit = std::min(short_windows ? tables->tns_max_bands_short
                                                  : tables->tns_max_bands_long,
                                    ics->max_sfb);

    for (int w = 0; w < windows; w++) {
        aac_bits_fill(reader, widths.n_filt);
        uint32_t n_filt = aac_bits_read(reader, widths.n_filt);
        aac_tns_n_filt(*tns, w) = n_filt;
        if (n_filt == 0)
            continue;
        aac_bits_fill(reader, 1);
        uint32_t coef_bits = aac_bits_read(reader, 1) + 3;
        aac_tns_coef_bits(*tns, w) = coef_bits;

        uint32_t top = bands.num_swb;
        for (uint32_t f = 0; f < n_filt; f++) {
            aac_tns_filter &filter = aac_tns_filter_at(*tns, w, static_cast<int>(f));
            // length, order, and direction and coef_compress when the order
            // is not 0: one fill for all four.
            aac_bits_fill(reader, widths.length + widths.order + 2);
            uint32_t length = aac_bits_read(reader, widths.length);
            uint32_t bottom = length < top ? top - length : 0;
            filter.top_sfb = top;
            filter.bottom_sfb = bottom;
            filter.start_coef = aac_band_start(bands.swb_end, std::min(bottom, limit));
            filter.end_coef = aac_band_start(bands.swb_end, std::min(top, limit));
            uint32_t coded_order = aac_bits_read(reader, widths.order);
            uint32_t order = std::min(coded_order, max_order);
            filter.order = order;
            top = bottom;
            if (coded_order == 0)
                continue;
            filter.direction = aac_bits_read(reader, 1);
            int width = static_cast<int>(coef_bits - aac_bits_read(reader, 1));
            // Every coded coefficient is consumed; those above the maximum
            // order are dropped.
            uint32_t i = 0;
            while (i < coded_order) {
                uint32_t batch = std::min(coded_order - i, 6u);  // at most 24 bits
                aac_bits_fill(reader, static_cast<int>(batch) * width);
                for (uint32_t end = i + batch; i < end; i++) {
                    int32_t coef = aac_bits_read_signed(reader, width);
                    if (i < order)
                        filter.coef[i] = coef;
                }
            }
        }
    }
}

}  // namespace lumdec
