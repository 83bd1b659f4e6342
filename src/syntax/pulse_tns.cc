#include "syntax/pulse_tns.h"

#include <algorithm>

#include "frame/error.h"

namespace lumdec {

namespace {

// First coefficient of band n of a window kind.
inline uint32_t band_start(const uint16_t *swb_end, uint32_t n)
{
    return n == 0 ? 0 : swb_end[n - 1];
}

struct tns_widths {
    int n_filt, length, order;
};

constexpr tns_widths tns_long = {2, 6, 5};
constexpr tns_widths tns_short = {1, 4, 3};

}  // namespace

void aac_parse_pulse_data(aac_bit_reader *reader, const aac_ics_info *ics,
                          const aac_stream_tables *tables, aac_pulse_data *pulse)
{
    if (ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "pulse data in an eight-short sequence");
    aac_bits_fill(reader, 8);
    uint32_t number_pulse = aac_bits_read(reader, 2) + 1;
    uint32_t start_sfb = aac_bits_read(reader, 6);
    if (start_sfb >= tables->num_swb_long)
        aac_raise(AAC_ERR_CORRUPT_FRAME, "pulse_start_sfb beyond the band count");
    pulse->number_pulse = number_pulse;
    pulse->pulse_start_sfb = start_sfb;
    uint32_t position = band_start(tables->swb_end_long, start_sfb);
    for (uint32_t i = 0; i < number_pulse; i++) {
        aac_bits_fill(reader, 9);
        position += aac_bits_read(reader, 5);
        uint32_t amp = aac_bits_read(reader, 4);
        if (position >= 1024)
            aac_raise(AAC_ERR_CORRUPT_FRAME, "pulse position beyond the frame");
        pulse->pulse_packed[i] = static_cast<int32_t>((amp << 16) + position);
    }
}

void aac_parse_tns_data(aac_bit_reader *reader, const aac_ics_info *ics,
                        const aac_stream_tables *tables, aac_tns_data *tns)
{
    const bool short_windows = ics->window_sequence == AAC_EIGHT_SHORT_SEQUENCE;
    const tns_widths &widths = short_windows ? tns_short : tns_long;
    const int windows = short_windows ? 8 : 1;
    const uint32_t num_swb = short_windows ? tables->num_swb_short : tables->num_swb_long;
    const uint16_t *swb_end = short_windows ? tables->swb_end_short : tables->swb_end_long;
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

        uint32_t top = num_swb;
        for (uint32_t f = 0; f < n_filt; f++) {
            aac_tns_filter &filter = aac_tns_filter_at(*tns, w, static_cast<int>(f));
            // length, order, and direction and coef_compress when the order
            // is not 0: one fill for all four.
            aac_bits_fill(reader, widths.length + widths.order + 2);
            uint32_t length = aac_bits_read(reader, widths.length);
            uint32_t bottom = length < top ? top - length : 0;
            filter.top_sfb = top;
            filter.bottom_sfb = bottom;
            filter.start_coef = band_start(swb_end, std::min(bottom, limit));
            filter.end_coef = band_start(swb_end, std::min(top, limit));
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
