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

using K = const aac_vector_kernels &;

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

// The inputs a and b and the output, each table working on its own copies
// of them; all three must come out the same, and the output starts from
// the same poison, so an element one table writes and the other skips
// shows.  The calls may use a or b as their output too.
struct ElementwiseCase {
    explicit ElementwiseCase(size_t n) : a(n), b(n), copies{Copies(n), Copies(n)} {}
    template <class Call>
    void agree(const char *slot, const std::string &what, Call call)
    {
        for (int t = 0; t < 2; t++) {
            Copies &c = copies[t];
            std::memcpy(c.a.data(), a.data(), a.bytes());
            std::memcpy(c.b.data(), b.data(), b.bytes());
            c.out.poison();
            call(t ? S : G, c.a.data(), c.b.data(), c.out.data());
        }
        Copies &g = copies[0], &s = copies[1];
        EXPECT_TRUE(same_floats(slot, what + " (out)", g.out.data(), s.out.data(), a.size()));
        EXPECT_TRUE(same_floats(slot, what + " (a)", g.a.data(), s.a.data(), a.size()));
        EXPECT_TRUE(same_floats(slot, what + " (b)", g.b.data(), s.b.data(), a.size()));
        for (Copies *c : {&g, &s})
            EXPECT_TRUE(c->a.guards_intact() && c->b.guards_intact() && c->out.guards_intact())
                << slot << " [" << what << "] wrote out of bounds";
    }
    struct Copies {
        explicit Copies(size_t n) : a(n), b(n), out(n) {}
        Buffer<float> a, b, out;
    };
    Buffer<float> a, b;
    Copies copies[2];
};

TEST(VectorKernels, ElementwiseSlotsAgree)
{
    for (const Inputs &in : kInputs) {
        for (int32_t n = 0; n <= 1024; n += 4) {
            ElementwiseCase c(static_cast<size_t>(n));
            fill(c.a, in);
            fill(c.b, in);
            const std::string what = label(in, n);
            c.agree("vec_zero", what, [&](K k, float *, float *, float *o) { k.vec_zero(o, n); });
            c.agree("vec_add", what,
                    [&](K k, float *a, float *b, float *o) { k.vec_add(o, a, b, n); });
            c.agree("vec_add", what + ", dst = a",
                    [&](K k, float *a, float *b, float *) { k.vec_add(a, a, b, n); });
            c.agree("vec_add", what + ", dst = b",
                    [&](K k, float *a, float *b, float *) { k.vec_add(b, a, b, n); });
            c.agree("vec_sum_diff", what,
                    [&](K k, float *a, float *b, float *) { k.vec_sum_diff(a, b, n); });
            for (float gain : kGains) {
                const std::string with_gain = label(in, n, gain);
                c.agree("vec_scale", with_gain,
                        [&](K k, float *a, float *, float *o) { k.vec_scale(o, a, gain, n); });
                c.agree("vec_scale", with_gain + ", dst = src",
                        [&](K k, float *a, float *, float *) { k.vec_scale(a, a, gain, n); });
                c.agree("vec_scale_reverse", with_gain, [&](K k, float *a, float *, float *o) {
                    k.vec_scale_reverse(o, a, gain, n);
                });
            }
        }
    }
}

using overlap_fn = decltype(aac_vector_kernels::vec_window_overlap);
const struct {
    const char *name;
    overlap_fn aac_vector_kernels::*slot;
} kOverlaps[] = {
    {"vec_window_overlap", &aac_vector_kernels::vec_window_overlap},
    {"vec_window_overlap_head", &aac_vector_kernels::vec_window_overlap_head},
    {"vec_window_overlap_tail", &aac_vector_kernels::vec_window_overlap_tail},
};

struct OverlapCase {
    explicit OverlapCase(size_t n) : later(n / 2), earlier(n / 2), wl(2 * n), we(2 * n) {}
    void run(K k, overlap_fn aac_vector_kernels::*slot, float *out, const float *win_earlier,
             int32_t n) const
    {
        (k.*slot)(out, later.data(), earlier.data(), wl.data(), win_earlier, n);
    }
    Buffer<float> later, earlier, wl, we;
};

TEST(VectorKernels, WindowOverlapsAgree)
{
    for (const Inputs &in : kInputs) {
        for (int32_t n = 0; n <= 1024; n += 8) {
            const size_t len = static_cast<size_t>(n);
            OverlapCase c(len);
            Buffer<float> out_g(len), out_s(len);
            for (Buffer<float> *x : {&c.later, &c.earlier, &c.wl, &c.we})
                fill(*x, in);
            for (const auto &o : kOverlaps) {
                both(o.name, label(in, n), out_g, out_s,
                     [&](K k, float *out) { c.run(k, o.slot, out, c.we.data(), n); });
                // One table for both slopes, as the short-window paths pass it.
                both(o.name, label(in, n) + ", one window table", out_g, out_s,
                     [&](K k, float *out) { c.run(k, o.slot, out, c.wl.data(), n); });
            }
            for (const aac_vector_kernels *k : {&G, &S}) {
                out_g.poison();
                out_s.poison();
                c.run(*k, kOverlaps[0].slot, out_g.data(), c.we.data(), n);
                c.run(*k, kOverlaps[1].slot, out_s.data(), c.we.data(), n);  // head
                c.run(*k, kOverlaps[2].slot, out_s.data(), c.we.data(), n);  // then tail
                EXPECT_TRUE(same_floats(k == &G ? "generic" : "sse2",
                                        label(in, n) + ": whole overlap against head then tail",
                                        out_g.data(), out_s.data(), len));
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
        OverlapCase c(len);
        Buffer<float> out(len);
        for (Buffer<float> *x : {&c.later, &c.earlier, &c.wl, &c.we})
            checker::fill_random(x->data(), x->size(), 1.0f);
        for (size_t i = 0; i < h; i++) {
            c.wl[h + i] = c.wl[len + h + i] = nan;
            c.we[i] = c.we[len + i] = nan;
        }
        for (const aac_vector_kernels *k : {&G, &S}) {
            for (const auto &o : kOverlaps) {
                out.poison();
                c.run(*k, o.slot, out.data(), c.we.data(), n);
                for (size_t i = 0; i < len; i++)
                    ASSERT_FALSE(std::isnan(out[i]))
                        << o.name << (k == &G ? " generic" : " sse2") << ", n = " << n << ": out["
                        << i << "] is NaN";
            }
        }
    }
}

}  // namespace
