// The tests' ps_data() encoder: parameter values in, bits out, with every
// codeword taken from the codeword lists of the PS books.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bit_writer.h"

struct PsCodeword {
    int length;
    uint32_t code;
    int value;
};
#include "ps_codewords.inc"

enum : int { kIidDefault = 0, kIidFine = 2, kIcc = 4, kIpd = 6, kOpd = 8 };

inline void put_ps_code(BitWriter &w, int book, int value)
{
    const PsCodewordBook &b = kPsBooks[book];
    for (int i = 0; i < b.count; i++)
        if (b.codewords[i].value == value) {
            w.put(b.codewords[i].code, b.codewords[i].length);
            return;
        }
    ADD_FAILURE() << "no codeword for " << value << " in book " << book;
}

// One parameter of a frame: values per envelope and the coding direction of
// each envelope.  The time direction of the first envelope counts from
// `base`, the previous frame's last envelope as the decoder will see it.
struct PsParameter {
    std::vector<std::vector<int>> values;
    std::vector<bool> dt;
    std::vector<int> base;
};

struct PsFrameSpec {
    bool header = true;
    bool enable_iid = true;
    int iid_mode = 1;
    bool enable_icc = true;
    int icc_mode = 1;
    bool enable_ext = false;
    int frame_class = 0;
    int num_env_idx = 1;
    std::vector<int> borders;
    PsParameter iid, icc;
    bool ipdopd = false;
    PsParameter ipd, opd;
    int extension_fill_bytes = 0;  // beyond what the phase data needs
};

inline void put_parameter(BitWriter &w, const PsParameter &p, size_t e, int book, bool modulo)
{
    const std::vector<int> &v = p.values[e];
    const bool dt = p.dt[e];
    w.put(dt ? 1 : 0, 1);
    for (size_t b = 0; b < v.size(); b++) {
        const int ref = dt ? (e ? p.values[e - 1][b] : p.base[b]) : (b ? v[b - 1] : 0);
        int diff = v[b] - ref;
        if (modulo)
            diff &= 7;
        put_ps_code(w, book + (dt ? 1 : 0), diff);
    }
}

// Writes ps_data() and returns its bit count.
inline int write_ps(BitWriter &w, const PsFrameSpec &s)
{
    const int start = w.bit_count();
    w.put(s.header ? 1 : 0, 1);
    if (s.header) {
        w.put(s.enable_iid ? 1 : 0, 1);
        if (s.enable_iid)
            w.put(static_cast<uint32_t>(s.iid_mode), 3);
        w.put(s.enable_icc ? 1 : 0, 1);
        if (s.enable_icc)
            w.put(static_cast<uint32_t>(s.icc_mode), 3);
        w.put(s.enable_ext ? 1 : 0, 1);
    }
    w.put(static_cast<uint32_t>(s.frame_class), 1);
    w.put(static_cast<uint32_t>(s.num_env_idx), 2);
    for (int b : s.borders)
        w.put(static_cast<uint32_t>(b), 5);
    const size_t envelopes = s.iid.values.size() ? s.iid.values.size() : s.icc.values.size();
    const bool fine = s.iid_mode >= 3;
    for (size_t e = 0; e < s.iid.values.size(); e++)
        put_parameter(w, s.iid, e, fine ? kIidFine : kIidDefault, false);
    for (size_t e = 0; e < s.icc.values.size(); e++)
        put_parameter(w, s.icc, e, kIcc, false);
    if (s.enable_ext) {
        BitWriter ext;
        ext.put(0, 2);  // extension id 0
        ext.put(s.ipdopd ? 1 : 0, 1);
        if (s.ipdopd)
            for (size_t e = 0; e < envelopes; e++) {
                put_parameter(ext, s.ipd, e, kIpd, true);
                put_parameter(ext, s.opd, e, kOpd, true);
            }
        ext.put(0, 1);  // reserved
        const int bytes = (ext.bit_count() + 7) / 8 + s.extension_fill_bytes;
        if (bytes >= 15) {
            w.put(15, 4);
            w.put(static_cast<uint32_t>(bytes - 15), 8);
        } else {
            w.put(static_cast<uint32_t>(bytes), 4);
        }
        const std::vector<uint8_t> &data = ext.bytes();
        for (int i = 0; i < ext.bit_count(); i++)
            w.bit((data[static_cast<size_t>(i / 8)] >> (7 - i % 8)) & 1);
        for (int i = ext.bit_count(); i < 8 * bytes; i++)
            w.bit(false);
    }
    return w.bit_count() - start;
}
