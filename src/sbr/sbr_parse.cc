// sbr_extension_data(): the header, and the data of a single channel or a
// channel pair (time/frequency grid, delta coding directions, inverse
// filtering modes, envelopes, noise floors, sinusoids, extended data).
//
// The payload is parsed into copies; only a payload that parses completely
// within its bits and within the rules replaces the element's header,
// tables and frame data.
#include <cstring>

#include "sbr/sbr_bits.h"
#include "sbr/sbr_element.h"
#include "sbr/sbr_tables.h"
#include "sbr/sbr_tables_derive.h"

namespace lumdec {

namespace {

enum : int { FIXFIX = 0, FIXVAR = 1, VARFIX = 2, VARVAR = 3 };

enum : int {
    T_ENV_15 = 0, F_ENV_15, T_BAL_15, F_BAL_15, T_ENV_30, F_ENV_30, T_BAL_30, F_BAL_30,
    T_NOISE_30, T_NOISE_BAL_30,
};

constexpr int extension_ps = 2;

int huffman(sbr_bits *b, int book)
{
    const sbr_huffman_book &h = sbr_huffman_books[book];
    int node = 0;
    for (int depth = 0; depth < 24; depth++) {
        const int next = h.nodes[node][sbr_read_bit(b)];
        if (next < 0)
            return ~next - h.index_offset;
        node = next;
    }
    b->overrun = true;
    return 0;
}

void parse_header(sbr_bits *b, sbr_header *h)
{
    h->amp_res = static_cast<uint8_t>(sbr_read(b, 1));
    h->start_freq = static_cast<uint8_t>(sbr_read(b, 4));
    h->stop_freq = static_cast<uint8_t>(sbr_read(b, 4));
    h->xover_band = static_cast<uint8_t>(sbr_read(b, 3));
    sbr_read(b, 2);  // reserved
    const bool extra_1 = sbr_read_bit(b);
    const bool extra_2 = sbr_read_bit(b);
    h->freq_scale = 2;
    h->alter_scale = 1;
    h->noise_bands = 2;
    if (extra_1) {
        h->freq_scale = static_cast<uint8_t>(sbr_read(b, 2));
        h->alter_scale = static_cast<uint8_t>(sbr_read(b, 1));
        h->noise_bands = static_cast<uint8_t>(sbr_read(b, 2));
    }
    h->limiter_bands = 2;
    h->limiter_gains = 2;
    h->interpol_freq = 1;
    h->smoothing_mode = 1;
    if (extra_2) {
        h->limiter_bands = static_cast<uint8_t>(sbr_read(b, 2));
        h->limiter_gains = static_cast<uint8_t>(sbr_read(b, 2));
        h->interpol_freq = static_cast<uint8_t>(sbr_read(b, 1));
        h->smoothing_mode = static_cast<uint8_t>(sbr_read(b, 1));
    }
}

int pointer_bits(int num_env)
{
    return num_env < 1 ? 0 : num_env < 2 ? 1 : num_env < 4 ? 2 : 3;
}

// sbr_grid(), with the borders it implies.  amp_res is the header's,
// lowered to 1.5 dB for a single FIXFIX envelope.
bool parse_grid(sbr_bits *b, int header_amp_res, sbr_frame_data *d)
{
    sbr_grid &g = d->grid;
    g.frame_class = static_cast<int>(sbr_read(b, 2));
    int lead = 0, trail = 16, n_lead = 0, n_trail = 0, pointer = 0;
    int rel_lead[4] = {0, 0, 0, 0}, rel_trail[4] = {0, 0, 0, 0};
    d->amp_res = header_amp_res;
    switch (g.frame_class) {
    case FIXFIX: {
        g.num_env = 1 << sbr_read(b, 2);
        if (g.num_env > 4)
            return false;
        if (g.num_env == 1)
            d->amp_res = 0;
        const uint8_t res = static_cast<uint8_t>(sbr_read_bit(b));
        for (int l = 0; l < g.num_env; l++)
            g.freq_res[l] = res;
        n_lead = g.num_env - 1;
        for (int i = 0; i < n_lead; i++)
            rel_lead[i] = 16 / g.num_env;
        break;
    }
    case FIXVAR:
        trail = 16 + static_cast<int>(sbr_read(b, 2));
        n_trail = static_cast<int>(sbr_read(b, 2));
        g.num_env = n_trail + 1;
        for (int i = 0; i < n_trail; i++)
            rel_trail[i] = 2 * static_cast<int>(sbr_read(b, 2)) + 2;
        pointer = static_cast<int>(sbr_read(b, pointer_bits(g.num_env)));
        for (int l = 0; l < g.num_env; l++)
            g.freq_res[g.num_env - 1 - l] = static_cast<uint8_t>(sbr_read_bit(b));
        break;
    case VARFIX:
        lead = static_cast<int>(sbr_read(b, 2));
        n_lead = static_cast<int>(sbr_read(b, 2));
        g.num_env = n_lead + 1;
        for (int i = 0; i < n_lead; i++)
            rel_lead[i] = 2 * static_cast<int>(sbr_read(b, 2)) + 2;
        pointer = static_cast<int>(sbr_read(b, pointer_bits(g.num_env)));
        for (int l = 0; l < g.num_env; l++)
            g.freq_res[l] = static_cast<uint8_t>(sbr_read_bit(b));
        break;
    default:  // VARVAR
        lead = static_cast<int>(sbr_read(b, 2));
        trail = 16 + static_cast<int>(sbr_read(b, 2));
        n_lead = static_cast<int>(sbr_read(b, 2));
        n_trail = static_cast<int>(sbr_read(b, 2));
        g.num_env = n_lead + n_trail + 1;
        if (g.num_env > sbr_max_envelopes)
            return false;
        for (int i = 0; i < n_lead; i++)
            rel_lead[i] = 2 * static_cast<int>(sbr_read(b, 2)) + 2;
        for (int i = 0; i < n_trail; i++)
            rel_trail[i] = 2 * static_cast<int>(sbr_read(b, 2)) + 2;
        pointer = static_cast<int>(sbr_read(b, pointer_bits(g.num_env)));
        for (int l = 0; l < g.num_env; l++)
            g.freq_res[l] = static_cast<uint8_t>(sbr_read_bit(b));
        break;
    }
    if (pointer > g.num_env + 1)
        return false;

    const int L = g.num_env;
    g.t_env[0] = lead;
    g.t_env[L] = trail;
    for (int l = 1; l <= n_lead; l++)
        g.t_env[l] = g.t_env[l - 1] + rel_lead[l - 1];
    for (int l = L - 1; l > n_lead; l--)
        g.t_env[l] = g.t_env[l + 1] - rel_trail[L - 1 - l];
    for (int l = 0; l < L; l++)
        if (g.t_env[l] >= g.t_env[l + 1])
            return false;

    switch (g.frame_class) {
    case FIXFIX:
        g.transient = -1;
        break;
    case VARFIX:
        g.transient = pointer > 1 ? pointer - 1 : -1;
        break;
    default:
        g.transient = pointer > 0 ? L + 1 - pointer : -1;
        break;
    }

    g.num_noise = L > 1 ? 2 : 1;
    g.t_noise[0] = g.t_env[0];
    g.t_noise[g.num_noise] = g.t_env[L];
    if (g.num_noise == 2) {
        int middle;
        if (g.frame_class == FIXFIX)
            middle = L / 2;
        else if (g.frame_class == VARFIX)
            middle = pointer == 0 ? 1 : pointer == 1 ? L - 1 : pointer - 1;
        else
            middle = pointer > 1 ? L + 1 - pointer : L - 1;
        if (middle <= 0 || middle >= L)
            return false;
        g.t_noise[1] = g.t_env[middle];
    }
    return true;
}

void parse_dtdf(sbr_bits *b, sbr_frame_data *d)
{
    for (int l = 0; l < d->grid.num_env; l++)
        d->df_env[l] = static_cast<uint8_t>(sbr_read_bit(b));
    for (int l = 0; l < d->grid.num_noise; l++)
        d->df_noise[l] = static_cast<uint8_t>(sbr_read_bit(b));
}

void parse_invf(sbr_bits *b, const sbr_band_tables &t, sbr_frame_data *d)
{
    for (int i = 0; i < t.n_noise; i++)
        d->invf_mode[i] = static_cast<uint8_t>(sbr_read(b, 2));
}

// Values that leave the int8 range can only come from damage; they fail
// the payload rather than wrap.
bool store(int8_t *slot, int value)
{
    if (value < -128 || value > 127)
        return false;
    *slot = static_cast<int8_t>(value);
    return true;
}

bool parse_envelope(sbr_bits *b, const sbr_band_tables &t, bool balance, sbr_frame_data *d)
{
    const bool coarse = d->amp_res == 1;
    int t_book, f_book, first_bits;
    if (balance) {
        t_book = coarse ? T_BAL_30 : T_BAL_15;
        f_book = coarse ? F_BAL_30 : F_BAL_15;
        first_bits = coarse ? 5 : 6;
    } else {
        t_book = coarse ? T_ENV_30 : T_ENV_15;
        f_book = coarse ? F_ENV_30 : F_ENV_15;
        first_bits = coarse ? 6 : 7;
    }
    const int shift = balance ? 1 : 0;
    for (int l = 0; l < d->grid.num_env; l++) {
        const int bands = d->grid.freq_res[l] ? t.n_high : t.n_low;
        int8_t *row = d->env[l];
        if (d->df_env[l] == 0) {
            if (!store(&row[0], static_cast<int>(sbr_read(b, first_bits)) << shift))
                return false;
            for (int k = 1; k < bands; k++)
                if (!store(&row[k], huffman(b, f_book) * (1 << shift)))
                    return false;
        } else {
            for (int k = 0; k < bands; k++)
                if (!store(&row[k], huffman(b, t_book) * (1 << shift)))
                    return false;
        }
        if (b->overrun)
            return false;
    }
    return true;
}

bool parse_noise(sbr_bits *b, const sbr_band_tables &t, bool balance, sbr_frame_data *d)
{
    const int t_book = balance ? T_NOISE_BAL_30 : T_NOISE_30;
    const int f_book = balance ? F_BAL_30 : F_ENV_30;
    const int shift = balance ? 1 : 0;
    for (int l = 0; l < d->grid.num_noise; l++) {
        int8_t *row = d->noise[l];
        if (d->df_noise[l] == 0) {
            row[0] = static_cast<int8_t>(sbr_read(b, 5) << shift);
            for (int k = 1; k < t.n_noise; k++)
                if (!store(&row[k], huffman(b, f_book) * (1 << shift)))
                    return false;
        } else {
            for (int k = 0; k < t.n_noise; k++)
                if (!store(&row[k], huffman(b, t_book) * (1 << shift)))
                    return false;
        }
    }
    return !b->overrun;
}

void parse_sinusoids(sbr_bits *b, const sbr_band_tables &t, sbr_frame_data *d)
{
    d->add_harmonic_flag = static_cast<uint8_t>(sbr_read_bit(b));
    std::memset(d->add_harmonic, 0, sizeof d->add_harmonic);
    if (d->add_harmonic_flag)
        for (int k = 0; k < t.n_high; k++)
            d->add_harmonic[k] = static_cast<uint8_t>(sbr_read_bit(b));
}

// bs_extended_data: parametric stereo is noted for the PS tool, everything
// else skipped.
bool parse_extended_data(sbr_bits *b, sbr_element *el)
{
    if (!sbr_read_bit(b))
        return true;
    int count = static_cast<int>(sbr_read(b, 4));
    if (count == 15)
        count += static_cast<int>(sbr_read(b, 8));
    int left = 8 * count;
    if (left > sbr_bits_left(b))
        return false;
    while (left > 7) {
        const int id = static_cast<int>(sbr_read(b, 2));
        left -= 2;
        if (id == extension_ps && el->ps_allowed && !el->ps_seen) {
            el->ps_seen = 1;
            el->ps_start = b->pos;
            el->ps_bits = left;
        }
        sbr_skip(b, left);
        left = 0;
    }
    sbr_skip(b, left);
    return !b->overrun;
}

bool parse_single(sbr_bits *b, sbr_element *el, const sbr_header &h, const sbr_band_tables &t,
                  sbr_frame_data *d)
{
    if (sbr_read_bit(b))
        sbr_read(b, 4);  // reserved
    if (!parse_grid(b, h.amp_res, d))
        return false;
    parse_dtdf(b, d);
    parse_invf(b, t, d);
    if (!parse_envelope(b, t, false, d) || !parse_noise(b, t, false, d))
        return false;
    parse_sinusoids(b, t, d);
    return parse_extended_data(b, el);
}

bool parse_pair(sbr_bits *b, sbr_element *el, const sbr_header &h, const sbr_band_tables &t,
                sbr_frame_data *d0, sbr_frame_data *d1, int *coupling)
{
    if (sbr_read_bit(b))
        sbr_read(b, 8);  // reserved, both channels
    *coupling = static_cast<int>(sbr_read_bit(b));
    if (*coupling) {
        if (!parse_grid(b, h.amp_res, d0))
            return false;
        d1->grid = d0->grid;
        d1->amp_res = d0->amp_res;
        parse_dtdf(b, d0);
        parse_dtdf(b, d1);
        parse_invf(b, t, d0);
        std::memcpy(d1->invf_mode, d0->invf_mode, sizeof d1->invf_mode);
        if (!parse_envelope(b, t, false, d0) || !parse_noise(b, t, false, d0) ||
            !parse_envelope(b, t, true, d1) || !parse_noise(b, t, true, d1))
            return false;
    } else {
        if (!parse_grid(b, h.amp_res, d0) || !parse_grid(b, h.amp_res, d1))
            return false;
        parse_dtdf(b, d0);
        parse_dtdf(b, d1);
        parse_invf(b, t, d0);
        parse_invf(b, t, d1);
        if (!parse_envelope(b, t, false, d0) || !parse_envelope(b, t, false, d1) ||
            !parse_noise(b, t, false, d0) || !parse_noise(b, t, false, d1))
            return false;
    }
    parse_sinusoids(b, t, d0);
    parse_sinusoids(b, t, d1);
    return parse_extended_data(b, el);
}

bool same_tables_header(const sbr_header &a, const sbr_header &b)
{
    return a.start_freq == b.start_freq && a.stop_freq == b.stop_freq &&
           a.xover_band == b.xover_band && a.freq_scale == b.freq_scale &&
           a.alter_scale == b.alter_scale && a.noise_bands == b.noise_bands;
}

}  // namespace

bool sbr_parse_payload(sbr_element *el, const uint8_t *frame, int32_t frame_size)
{
    el->ps_seen = 0;
    el->reset = 0;
    if (!el->payload_present)
        return true;
    sbr_bits b;
    const int32_t available = 8 * frame_size - el->payload_start;
    sbr_bits_init(&b, frame, el->payload_start,
                  el->payload_bits < available ? el->payload_bits : available < 0 ? 0 : available);
    if (el->payload_crc)
        sbr_read(&b, 10);

    sbr_header header = el->header;
    sbr_band_tables tables = el->tables;
    bool reset = false;
    if (sbr_read_bit(&b)) {
        parse_header(&b, &header);
        if (b.overrun)
            return false;
        if (!el->header_seen || !same_tables_header(header, el->header)) {
            if (!sbr_derive_tables(header, el->rate_index, &tables))
                return false;
            reset = true;
        } else if (header.limiter_bands != el->header.limiter_bands) {
            sbr_derive_limiter(header, &tables);
        }
    } else if (!el->header_seen) {
        // Data before the first header cannot be read: the element stays
        // without a high band until a header comes.
        return !b.overrun;
    }

    sbr_frame_data d0, d1;
    int coupling = 0;
    const bool ok = el->num_channels == 1
                        ? parse_single(&b, el, header, tables, &d0)
                        : parse_pair(&b, el, header, tables, &d0, &d1, &coupling);
    if (!ok || b.overrun) {
        el->ps_seen = 0;
        return false;
    }

    el->header = header;
    el->tables = tables;
    el->header_seen = 1;
    el->reset = reset;
    el->coupling = coupling;
    el->ch[0]->data = d0;
    el->ch[0]->data_valid = 1;
    if (el->num_channels == 2) {
        el->ch[1]->data = d1;
        el->ch[1]->data_valid = 1;
    }
    return true;
}

}  // namespace lumdec
