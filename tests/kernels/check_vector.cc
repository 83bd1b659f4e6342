// Vector kernels: generic against SSE2 on every length the callers may pass,
// random inputs at several scales and edge values, in place where allowed.
#include <cmath>
#include <limits>

#include "checker.h"
#include "kernels/kernel_tables.h"

namespace {

using checker::Buffer;
using checker::same_floats;

const aac_vector_kernels &G = aac_vector_kernels_generic;
const aac_vector_kernels &S = aac_vector_kernels_sse2;
constexpr float kInf = std::numeric_limits<float>::infinity();

// scale 0 stands for edge values with infinities mixed in.
struct Inputs {
    const char *name;
    float scale;
};
constexpr Inputs kInputs[] = {
    {"subnormal", 1e-38f}, {"unit", 1.0f}, {"pcm", 32768.0f}, {"huge", 1e30f}, {"edge", 0.0f}};

void fill(Buffer<float> &x, const Inputs &in)
{
    if (in.scale > 0) {
        checker::fill_random(x.data(), x.size(), in.scale);
        return;
    }
    checker::fill_edge(x.data(), x.size(), 0.0f);
    for (size_t i = 3; i < x.size(); i += 7)
        x[i] = (i & 8) ? -kInf : kInf;
}

const float kGains[] = {1.0f, -1.0f, 0.5f, -3.0517578125e-05f, 0.7071067f, 0.0f, -0.0f,
                        1e-45f, 3e38f, kInf};

std::string label(const Inputs &in, int32_t n, float gain = 1.0f)
{
    return std::string(in.name) + ", n = " + std::to_string(n) + ", gain " +
           checker::describe(gain);
}

// Runs one case on both tables: both outputs start from the same poison, so
// an element one variant writes and the other skips shows as a difference.
template <class Call>
void both(const char *slot, const std::string &what, Buffer<float> &out_g, Buffer<float> &out_s,
          Call call)
{
    out_g.poison();
    out_s.poison();
    call(G, out_g.data());
    call(S, out_s.data());
    EXPECT_TRUE(same_floats(slot, what, out_g.data(), out_s.data(), out_g.size()));
    EXPECT_TRUE(out_g.guards_intact() && out_s.guards_intact()) << slot << " " << what;
}

TEST(VectorKernels, ElementwiseSlotsAgree)
{
    for (const Inputs &in : kInputs) {
        for (int32_t n = 0; n <= 1024; n += 4) {
            const size_t len = static_cast<size_t>(n);
            Buffer<float> a(len), b(len), out_g(len), out_s(len);
            fill(a, in);
            fill(b, in);
            both("vec_zero", label(in, n), out_g, out_s,
                 [&](const aac_vector_kernels &k, float *o) { k.vec_zero(o, n); });
            both("vec_add", label(in, n), out_g, out_s,
                 [&](const aac_vector_kernels &k, float *o) {
                     k.vec_add(o, a.data(), b.data(), n);
                 });
            for (float gain : kGains) {
                both("vec_scale", label(in, n, gain), out_g, out_s,
                     [&](const aac_vector_kernels &k, float *o) {
                         k.vec_scale(o, a.data(), gain, n);
                     });
                both("vec_scale_reverse", label(in, n, gain), out_g, out_s,
                     [&](const aac_vector_kernels &k, float *o) {
                         k.vec_scale_reverse(o, a.data(), gain, n);
                     });
            }
        }
    }
}

// vec_sum_diff always, vec_scale and vec_add when asked to: the output is
// also an input.  The in-place result must equal the out-of-place one.
TEST(VectorKernels, InPlaceSlotsAgree)
{
    for (const Inputs &in : kInputs) {
        for (int32_t n = 0; n <= 1024; n += 4) {
            const size_t len = static_cast<size_t>(n);
            Buffer<float> a(len), b(len), want(len), ag(len), bg(len), as(len), bs(len);
            fill(a, in);
            fill(b, in);
            auto run = [&](const char *slot, const std::string &what, auto call) {
                std::memcpy(ag.data(), a.data(), a.bytes());
                std::memcpy(as.data(), a.data(), a.bytes());
                std::memcpy(bg.data(), b.data(), b.bytes());
                std::memcpy(bs.data(), b.data(), b.bytes());
                call(G, ag.data(), bg.data());
                call(S, as.data(), bs.data());
                EXPECT_TRUE(same_floats(slot, what + " (a)", ag.data(), as.data(), len));
                EXPECT_TRUE(same_floats(slot, what + " (b)", bg.data(), bs.data(), len));
                EXPECT_TRUE(ag.guards_intact() && as.guards_intact() && bg.guards_intact() &&
                            bs.guards_intact())
                    << slot << " " << what;
            };
            run("vec_sum_diff", label(in, n),
                [&](const aac_vector_kernels &k, float *x, float *y) { k.vec_sum_diff(x, y, n); });
            G.vec_add(want.data(), a.data(), b.data(), n);
            run("vec_add", label(in, n) + ", dst = a",
                [&](const aac_vector_kernels &k, float *x, float *y) { k.vec_add(x, x, y, n); });
            EXPECT_TRUE(same_floats("vec_add", label(in, n) + ", dst = a against out of place",
                                    want.data(), as.data(), len));
            run("vec_add", label(in, n) + ", dst = b",
                [&](const aac_vector_kernels &k, float *x, float *y) { k.vec_add(y, x, y, n); });
            EXPECT_TRUE(same_floats("vec_add", label(in, n) + ", dst = b against out of place",
                                    want.data(), bs.data(), len));
            for (float gain : kGains) {
                G.vec_scale(want.data(), a.data(), gain, n);
                run("vec_scale", label(in, n, gain) + ", dst = src",
                    [&](const aac_vector_kernels &k, float *x, float *) {
                        k.vec_scale(x, x, gain, n);
                    });
                EXPECT_TRUE(same_floats("vec_scale", label(in, n, gain) + ", in place",
                                        want.data(), as.data(), len));
            }
        }
    }
}

const char *const kOverlapNames[] = {"vec_window_overlap", "vec_window_overlap_head",
                                     "vec_window_overlap_tail"};

using overlap_fn = void (*)(float *, const float *, const float *, const float *, const float *,
                            int32_t);

overlap_fn overlap_slot(const aac_vector_kernels &k, int slot)
{
    return slot == 0 ? k.vec_window_overlap
                     : slot == 1 ? k.vec_window_overlap_head : k.vec_window_overlap_tail;
}

TEST(VectorKernels, WindowOverlapsAgree)
{
    for (const Inputs &in : kInputs) {
        for (int32_t n = 0; n <= 1024; n += 8) {
            const size_t len = static_cast<size_t>(n);
            Buffer<float> later(len / 2), earlier(len / 2), wl(2 * len), we(2 * len);
            Buffer<float> out_g(len), out_s(len), whole(len);
            fill(later, in);
            fill(earlier, in);
            fill(wl, in);
            fill(we, in);
            for (int slot = 0; slot < 3; slot++) {
                const char *name = kOverlapNames[slot];
                both(name, label(in, n), out_g, out_s, [&](const aac_vector_kernels &k, float *o) {
                    overlap_slot(k, slot)(o, later.data(), earlier.data(), wl.data(), we.data(), n);
                });
                // One table for both slopes, as the short-window paths pass it.
                both(name, label(in, n) + ", one window table", out_g, out_s,
                     [&](const aac_vector_kernels &k, float *o) {
                         overlap_slot(k, slot)(o, later.data(), earlier.data(), wl.data(),
                                               wl.data(), n);
                     });
            }
            for (const aac_vector_kernels *k : {&G, &S}) {
                const char *table = k == &G ? "generic" : "sse2";
                whole.poison();
                out_g.poison();
                k->vec_window_overlap(whole.data(), later.data(), earlier.data(), wl.data(),
                                      we.data(), n);
                k->vec_window_overlap_head(out_g.data(), later.data(), earlier.data(), wl.data(),
                                           we.data(), n);
                k->vec_window_overlap_tail(out_g.data(), later.data(), earlier.data(), wl.data(),
                                           we.data(), n);
                EXPECT_TRUE(same_floats("head then tail", label(in, n) + ", " + table,
                                        whole.data(), out_g.data(), len));
            }
        }
    }
}

// Table elements outside the halves the overlap reads hold NaN; any read of
// one would carry into the output.  The inputs are finite and small, so
// nothing else can make a NaN.
TEST(VectorKernels, WindowOverlapsReadOnlyTheirTableHalves)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int32_t n = 8; n <= 1024; n += 8) {
        const size_t len = static_cast<size_t>(n), h = len / 2;
        Buffer<float> later(h), earlier(h), wl(2 * len), we(2 * len), out(len);
        checker::fill_random(later.data(), h, 1.0f);
        checker::fill_random(earlier.data(), h, 1.0f);
        checker::fill_random(wl.data(), 2 * len, 1.0f);
        checker::fill_random(we.data(), 2 * len, 1.0f);
        for (size_t i = 0; i < h; i++) {
            wl[h + i] = wl[len + h + i] = nan;
            we[i] = we[len + i] = nan;
        }
        for (const aac_vector_kernels *k : {&G, &S}) {
            for (int slot = 0; slot < 3; slot++) {
                out.poison();
                overlap_slot(*k, slot)(out.data(), later.data(), earlier.data(), wl.data(),
                                       we.data(), n);
                for (size_t i = 0; i < len; i++)
                    ASSERT_FALSE(std::isnan(out[i]))
                        << kOverlapNames[slot] << (k == &G ? " generic" : " sse2") << ", n = " << n
                        << ": out[" << i << "] is NaN";
            }
        }
    }
}

}  // namespace
