// ps_data(): the header switches, the envelope grid and the Huffman-coded
// parameters, with the phase parameters of the extension (id 0).  Parsing
// goes into copies of the stream and frame records, which replace the
// state's only when the whole payload has been read and found valid.
//
// The parse itself never raises: every read is checked against the
// payload's end, and the first read past it or value out of range ends the
// parse as failed.  A codeword is at most 20 bits, so the reader never
// looks more than that past the payload, which lies inside the frame: it
// stays within the zero bytes behind the buffer.  ps_parse turns a failure
// into AAC_ERR_CORRUPT_FRAME; the SBR decoder, which conceals damaged
// payloads without raising, calls ps_read.
#include <cstring>

#include "frame/error.h"
#include "ps/ps.h"
#include "ps/ps_huffman.h"
#include "ps/ps_params.h"

namespace lumdec {

namespace {

constexpr uint8_t kNumEnvFixed[4] = {0, 1, 2, 4};
constexpr uint8_t kNumEnvVar[4] = {1, 2, 3, 4};
constexpr uint8_t kParBands[3] = {10, 20, 34};
constexpr uint8_t kPhaseBands[3] = {5, 11, 17};

struct payload {
    aac_bit_reader *br;
    int32_t end;  // bit position after the payload
    bool bad;

    uint32_t get(int n)
    {
        if (bad || aac_bits_position(br) + n > end) {
            bad = true;
            return 0;
        }
        return aac_bits_get(br, n);
    }

    int code(int book)
    {
        if (bad)
            return 0;
        const int v = ps_read_code(br, book);
        if (aac_bits_position(br) > end)
            bad = true;
        return v;
    }

    void skip(int n)
    {
        if (bad || aac_bits_position(br) + n > end) {
            bad = true;
            return;
        }
        while (n > 0) {
            const int k = n < 24 ? n : 24;
            aac_bits_fill(br, k);
            aac_bits_skip(br, k);
            n -= k;
        }
    }
};

constexpr int kPhase = -1;  // lo of the phases, which wrap modulo 8

// n values of one envelope, each the one below it (df) or the previous
// envelope's (dt) plus a decoded difference; within [lo, hi], or wrapped
// modulo 8 for the phases (lo = kPhase).
void read_values(payload &p, int book, bool dt, const int8_t *prev, int8_t *out, int n, int lo, int hi)
{
    int v = 0;
    for (int b = 0; b < n && !p.bad; b++) {
        v = (dt ? prev[b] : v) + p.code(book + (dt ? 1 : 0));
        if (lo == kPhase)
            v &= 7;
        else if (v < lo || v > hi)
            p.bad = true;
        out[b] = static_cast<int8_t>(v);
    }
}

// The phase parameters, the extension with id 0.
void read_phases(payload &p, const ps_stream &st, ps_frame &f)
{
    if (!p.get(1)) {
        f.phase_bands = 0;
    } else {
        f.phase_bands = kPhaseBands[st.iid_mode % 3];
        int8_t ipd_base[PS_MAX_PHASE_BANDS], opd_base[PS_MAX_PHASE_BANDS];
        ps_map_phase_base(st.last_ipd, st.last_phase_bands, ipd_base, f.phase_bands);
        ps_map_phase_base(st.last_opd, st.last_phase_bands, opd_base, f.phase_bands);
        for (int e = 0; e < f.num_env; e++) {
            const bool ipd_dt = p.get(1);
            read_values(p, PS_BOOK_IPD, ipd_dt, e ? f.ipd[e - 1] : ipd_base, f.ipd[e], f.phase_bands, kPhase, 7);
            const bool opd_dt = p.get(1);
            read_values(p, PS_BOOK_OPD, opd_dt, e ? f.opd[e - 1] : opd_base, f.opd[e], f.phase_bands, kPhase, 7);
        }
    }
    p.get(1);  // reserved
}

// The whole ps_data(); false when it is damaged or breaks the rules, and
// the state is then untouched.
bool parse(aac_bit_reader *br, ps_state *ps, int num_bits, int *used)
{
    const int32_t start = aac_bits_position(br);
    payload p{br, start + num_bits, num_bits < 0};
    ps_stream st = ps->stream;
    ps_frame f{};

    if (p.get(1)) {
        st.header_seen = 1;
        st.enable_iid = static_cast<uint8_t>(p.get(1));
        if (st.enable_iid)
            st.iid_mode = static_cast<uint8_t>(p.get(3));
        st.enable_icc = static_cast<uint8_t>(p.get(1));
        if (st.enable_icc)
            st.icc_mode = static_cast<uint8_t>(p.get(3));
        st.enable_ext = static_cast<uint8_t>(p.get(1));
        if (st.iid_mode > 5 || st.icc_mode > 5)
            return false;
    }

    f.var_borders = static_cast<uint8_t>(p.get(1));
    const uint32_t num_env_idx = p.get(2);
    f.num_env = f.var_borders ? kNumEnvVar[num_env_idx] : kNumEnvFixed[num_env_idx];
    if (f.var_borders) {
        for (int e = 0; e < f.num_env; e++) {
            f.border[e] = static_cast<uint8_t>(p.get(5));
            if (e > 0 && f.border[e] <= f.border[e - 1])
                return false;
        }
    }

    f.fine_iid = st.iid_mode >= 3;
    f.mixing_b = st.icc_mode >= 3;
    if (st.enable_iid) {
        f.iid_bands = kParBands[st.iid_mode % 3];
        const int limit = f.fine_iid ? 15 : 7;
        const int book = f.fine_iid ? PS_BOOK_IID_FINE : PS_BOOK_IID_DEFAULT;
        int8_t base[PS_MAX_PAR_BANDS];
        ps_map_index_base(st.last_iid, st.last_iid_bands, base, f.iid_bands);
        for (int e = 0; e < f.num_env; e++) {
            const bool dt = p.get(1);
            read_values(p, book, dt, e ? f.iid[e - 1] : base, f.iid[e], f.iid_bands, -limit, limit);
        }
    }
    if (st.enable_icc) {
        f.icc_bands = kParBands[st.icc_mode % 3];
        int8_t base[PS_MAX_PAR_BANDS];
        ps_map_index_base(st.last_icc, st.last_icc_bands, base, f.icc_bands);
        for (int e = 0; e < f.num_env; e++) {
            const bool dt = p.get(1);
            read_values(p, PS_BOOK_ICC, dt, e ? f.icc[e - 1] : base, f.icc[e], f.icc_bands, 0, 7);
        }
    }

    if (st.enable_ext) {
        int left = static_cast<int>(p.get(4));
        if (left == 15)
            left += static_cast<int>(p.get(8));
        left *= 8;
        while (left > 7 && !p.bad) {
            const uint32_t id = p.get(2);
            left -= 2;
            // Unknown extensions have no length of their own: they take
            // the rest of the extension data.
            if (id != 0)
                break;
            const int32_t at = aac_bits_position(br);
            read_phases(p, st, f);
            left -= aac_bits_position(br) - at;
            if (left < 0)
                return false;
        }
        p.skip(left);
    }
    if (p.bad)
        return false;

    // The last envelope is the base of the next frame's time-differential
    // coding; a frame without envelopes leaves it alone.
    if (f.num_env > 0) {
        const int e = f.num_env - 1;
        st.last_iid_bands = f.iid_bands;
        std::memcpy(st.last_iid, f.iid[e], sizeof st.last_iid);
        st.last_icc_bands = f.icc_bands;
        std::memcpy(st.last_icc, f.icc[e], sizeof st.last_icc);
        st.last_phase_bands = f.phase_bands;
        std::memcpy(st.last_ipd, f.ipd[e], sizeof st.last_ipd);
        std::memcpy(st.last_opd, f.opd[e], sizeof st.last_opd);
    }
    f.present = 1;
    ps->stream = st;
    ps->frame = f;
    *used = aac_bits_position(br) - start;
    return true;
}

}  // namespace

int ps_parse(aac_bit_reader *br, ps_state *ps, int num_bits)
{
    int used = 0;
    if (!parse(br, ps, num_bits, &used))
        aac_raise(AAC_ERR_CORRUPT_FRAME, "ps_data beyond its extension, or invalid");
    return used;
}

bool ps_read(ps_state *ps, const uint8_t *frame, int32_t frame_bytes, int32_t start_bit, int32_t num_bits)
{
    if (start_bit < 0 || num_bits < 0 || start_bit + num_bits > 8 * frame_bytes)
        return false;
    aac_bit_reader br;
    aac_bits_init(&br, frame, frame_bytes);
    aac_bits_skip_bytes(&br, start_bit / 8);
    if (start_bit % 8)
        aac_bits_get(&br, start_bit % 8);
    int used = 0;
    return parse(&br, ps, num_bits, &used);
}

}  // namespace lumdec
