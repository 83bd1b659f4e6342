// Runs ps_apply over a QMF signal given slot by slot: frame f reads slots
// 32 f .. 32 f + 37 (its 32 slots and the lookahead) and yields slots
// 32 f .. 32 f + 31 of left and right.
#pragma once

#include <complex>
#include <functional>
#include <vector>

#include "ps/ps.h"

using cfloat = std::complex<float>;
using QmfSignal = std::vector<std::vector<cfloat>>;  // [slot][band]

inline QmfSignal silent_signal(int slots)
{
    return QmfSignal(static_cast<size_t>(slots), std::vector<cfloat>(64));
}

struct PsOutput {
    QmfSignal left, right;
};

// before_frame(f) may set ps.frame for frame f.
inline PsOutput run_ps(lumdec::ps_state &ps, const QmfSignal &in, int frames,
                       const std::function<void(int)> &before_frame = nullptr)
{
    using namespace lumdec;
    PsOutput out{silent_signal(32 * frames), silent_signal(32 * frames)};
    for (int f = 0; f < frames; f++) {
        alignas(16) float x_re[32 + PS_LOOKAHEAD_SLOTS][64], x_im[32 + PS_LOOKAHEAD_SLOTS][64];
        alignas(16) float y_re[32][64], y_im[32][64];
        for (int n = 0; n < 32 + PS_LOOKAHEAD_SLOTS; n++)
            for (int k = 0; k < 64; k++) {
                const size_t t = static_cast<size_t>(32 * f + n);
                const cfloat v = t < in.size() ? in[t][static_cast<size_t>(k)] : cfloat();
                x_re[n][k] = v.real();
                x_im[n][k] = v.imag();
            }
        if (before_frame)
            before_frame(f);
        ps_apply(&ps, x_re, x_im, y_re, y_im, 32);
        for (int n = 0; n < 32; n++)
            for (int k = 0; k < 64; k++) {
                const size_t t = static_cast<size_t>(32 * f + n);
                out.left[t][static_cast<size_t>(k)] = {x_re[n][k], x_im[n][k]};
                out.right[t][static_cast<size_t>(k)] = {y_re[n][k], y_im[n][k]};
            }
    }
    return out;
}

// One envelope over the whole frame with the same indices in every band.
inline void set_uniform_frame(lumdec::ps_frame &f, int bands, bool fine, bool mixing_b, int iid, int icc)
{
    f = lumdec::ps_frame{};
    f.present = 1;
    f.num_env = 1;
    f.iid_bands = static_cast<uint8_t>(bands);
    f.icc_bands = static_cast<uint8_t>(bands);
    f.fine_iid = fine;
    f.mixing_b = mixing_b;
    for (int b = 0; b < lumdec::PS_MAX_PAR_BANDS; b++) {
        f.iid[0][b] = static_cast<int8_t>(iid);
        f.icc[0][b] = static_cast<int8_t>(icc);
    }
}
