#include "downmix.h"

#include <cstdio>
#include <cstring>

namespace aacdec {

namespace {

constexpr float kMinus3dB = 0.70710678f;

// Speaker roles in the decoder's element order: 'L' and 'R' the front pair,
// 'C' a centre (front or back, shared by both sides), 'l' and 'r' the
// surrounds of one side, '-' dropped (LFE).
struct Roles {
    int layout;
    const char *roles;
    const char *name;
};

constexpr Roles kRoles[] = {
    {3, "CLR", "3.0"}, {4, "CLRC", "4.0"}, {5, "CLRlr", "5.0"}, {6, "CLRlr-", "5.1"},
    {7, "CLRlrlr-", "7.1"}, {8, "LRC", "3.0 (back centre)"}, {9, "LRlr", "quad"},
};

Downmix make(const Roles &layout)
{
    const char *roles = layout.roles;
    Downmix m{};
    m.channels = static_cast<int>(std::strlen(roles));
    float sum_left = 0, sum_right = 0;
    for (int c = 0; c < m.channels; c++) {
        char r = roles[c];
        m.left[c] = r == 'L' ? 1.0f : (r == 'C' || r == 'l') ? kMinus3dB : 0.0f;
        m.right[c] = r == 'R' ? 1.0f : (r == 'C' || r == 'r') ? kMinus3dB : 0.0f;
        sum_left += m.left[c];
        sum_right += m.right[c];
    }
    for (int c = 0; c < m.channels; c++) {
        m.left[c] /= sum_left;
        m.right[c] /= sum_right;
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "downmix %s to stereo: front %.3f, centre and surrounds %.3f (-3 dB, "
                  "normalised so that nothing clips)%s",
                  layout.name, static_cast<double>(1.0f / sum_left),
                  static_cast<double>(kMinus3dB / sum_left),
                  std::strchr(roles, '-') ? ", LFE dropped" : "");
    m.description = text;
    return m;
}

}  // namespace

const Downmix *downmix_for(int layout)
{
    static const auto table = [] {
        struct Table {
            Downmix mixes[11];
            bool present[11] = {};
        } t{};
        for (const Roles &r : kRoles) {
            t.mixes[r.layout] = make(r);
            t.present[r.layout] = true;
        }
        return t;
    }();
    return layout >= 1 && layout <= 10 && table.present[layout] ? &table.mixes[layout] : nullptr;
}

void fold(const Downmix &mix, const float *block, float *pair)
{
    for (int side = 0; side < 2; side++) {
        const float *gains = side == 0 ? mix.left : mix.right;
        float *out = pair + 1024 * side;
        for (int i = 0; i < 1024; i++)
            out[i] = 0.0f;
        for (int c = 0; c < mix.channels; c++) {
            if (gains[c] == 0.0f)
                continue;
            const float *in = block + 1024 * c;
            for (int i = 0; i < 1024; i++)
                out[i] += gains[c] * in[i];
        }
    }
}

}  // namespace aacdec
