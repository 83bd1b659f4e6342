// The SSE2 DCT-IVs: pre-rotation, forward FFT and post-rotation in three
// passes over memory for 1024 values and two for 128, with the operations
// of the generic kernel on every value (transform.h).
//
// No pass exists just to reorder data.  Each pass reads a set of
// register slots, works on them and writes the same set back, placing the
// values where the next pass wants them.  For 1024 values (512 points),
// with e the element (slot) index, p the FFT position of a value and p0..p8
// its bits:
//
// - Pass 1 rotates the input pairs (e, 511-e) and runs stages h = 1, 2, 4
//   (bits p0..p2).  The value of FFT position p starts at e = bitrev9(p),
//   so a group is the eight elements e0 + 64u (and e0 + 1 beside them, in
//   the other lane), and its mirror group holds the rotation partners.  The
//   results go to e = 64 (p1 + 2 p2 + 4 p8) + 2 rev5(p3..p7) + p0: the same
//   slots, now with p0 across the two lanes.
// - Pass 2 runs stages h = 8, 16, 32 (p3..p5) on groups at stride 8 and
//   writes e = 64 (p7 + 2 p6 + 4 p8) + (p mod 64).  A group's results land
//   in the slots of the group that swaps (p1, p2) with (p7, p6), which is
//   read just before them.
// - Pass 3 runs stages h = 64, 128, 256 (p6..p8) on groups at stride 64,
//   which then hold the FFT outputs k and k+1 at slots k and k+1, and the
//   mirror group holds their post-rotation partners 511-k and 510-k: the
//   rotated pairs go straight to their output slots.
//
// With p0 across the lanes, passes 2 and 3 use one twiddle for both lanes.
#include <array>
#include <cstddef>

#include "synthesis/transform.h"
#include "synthesis/transform_sse2.h"
#include "synthesis/transform_tables.h"

namespace lumdec {

namespace {

using namespace aac_sse2;

inline float *slot(float *x, int32_t e)
{
    return x + 2 * e;
}

// z = (c[2e] + j c[1023-2e]) * conj(t[e]) for the two elements of r, whose
// partners are in p in the opposite order; tw holds (ti, tr) and (tr, -ti)
// per element.
inline v4 pre_rotate(v4 r, v4 p, const float *tw)
{
    const v4 q = lanes_of<3, 3, 1, 1>(p);
    const v4 a = lanes_of<0, 0, 2, 2>(r);
    return _mm_add_ps(_mm_mul_ps(q, load(tw)), _mm_mul_ps(a, load(tw + 4)));
}

// A first-pass butterfly whose lane 0 meets block 0 or 1 of its stage
// (T = 1 or -j, taken without a product) and lane 1 a general block.
template <kind K>
inline void butterfly_lane0(v4 &a, v4 &d, const float *tw)
{
    v4 u = _mm_sub_ps(a, d);
    a = _mm_add_ps(a, d);
    d = with_low(twiddle_mul(u, tw), K == kind::one ? u : times_minus_j(u));
}

// Which of a first-pass group's butterflies meet the FFT's blocks 0 and 1
// (T = 1 and -j) in lane 0: all those of the group of position 0, the
// stage h = 4 ones of the group whose lane 0 starts at position 8.  Lane 1
// never does.
enum class lane0 { position0, position8, general };

// Stages h = 1, 2, 4 of a first-pass group: register u holds positions with
// (p0, p1, p2) = bits (2, 1, 0) of u.
template <lane0 L>
inline void first_stages(v4 (&r)[8], const float *tw)
{
    if constexpr (L == lane0::position0) {
        butterfly_lane0<kind::one>(r[0], r[4], tw);
        butterfly<kind::general>(r[1], r[5], tw + 8);
        butterfly_lane0<kind::quarter>(r[2], r[6], tw + 16);
        butterfly<kind::general>(r[3], r[7], tw + 24);
        butterfly_lane0<kind::one>(r[0], r[2], tw + 32);
        butterfly_lane0<kind::quarter>(r[1], r[3], tw + 40);
        butterfly_lane0<kind::one>(r[4], r[6], tw + 48);
        butterfly_lane0<kind::quarter>(r[5], r[7], tw + 56);
        butterfly_lane0<kind::one>(r[0], r[1], tw + 64);
        butterfly_lane0<kind::one>(r[2], r[3], tw + 72);
        butterfly_lane0<kind::one>(r[4], r[5], tw + 80);
        butterfly_lane0<kind::one>(r[6], r[7], tw + 88);
        return;
    }
    butterfly<kind::general>(r[0], r[4], tw);
    butterfly<kind::general>(r[1], r[5], tw + 8);
    butterfly<kind::general>(r[2], r[6], tw + 16);
    butterfly<kind::general>(r[3], r[7], tw + 24);
    butterfly<kind::general>(r[0], r[2], tw + 32);
    butterfly<kind::general>(r[1], r[3], tw + 40);
    butterfly<kind::general>(r[4], r[6], tw + 48);
    butterfly<kind::general>(r[5], r[7], tw + 56);
    if constexpr (L == lane0::position8) {
        butterfly_lane0<kind::quarter>(r[0], r[1], tw + 64);
        butterfly_lane0<kind::quarter>(r[2], r[3], tw + 72);
        butterfly_lane0<kind::quarter>(r[4], r[5], tw + 80);
        butterfly_lane0<kind::quarter>(r[6], r[7], tw + 88);
    } else {
        butterfly<kind::general>(r[0], r[1], tw + 64);
        butterfly<kind::general>(r[2], r[3], tw + 72);
        butterfly<kind::general>(r[4], r[5], tw + 80);
        butterfly<kind::general>(r[6], r[7], tw + 88);
    }
}

// Stores a first-pass group at p: registers u and u+4 hold p0 = 0 and 1
// of the same (p1, p2), in lanes p8 = 0 and 1; the stores put p0 across
// the lanes.
inline void store_first(float *p, const v4 (&r)[8])
{
    for (int32_t u = 0; u < 4; u++) {
        float *at = p + 128 * (((u >> 1) & 1) + 2 * (u & 1));
        store(at, low_halves(r[u], r[u + 4]));
        store(at + 512, high_halves(r[u], r[u + 4]));
    }
}

// The groups of elements a + 64u (at pa) and b + 64u (at pb), b = 62 - a:
// element a + 64u pairs with b + 64 (7 - u) in the rotation.  pre_a and
// pre_b point at the rotations of elements a and b, stages_a and stages_b
// at the groups' stage twiddles.
template <lane0 LA, lane0 LB>
inline void first_pair(float *pa, float *pb, const float *pre_a, const float *pre_b,
                       const float *stages_a, const float *stages_b)
{
    v4 ra[8], rb[8];
    for (int32_t u = 0; u < 8; u++) {
        ra[u] = load(pa + 128 * u);
        rb[u] = load(pb + 128 * u);
    }
    for (int32_t u = 0; u < 4; u++) {
        const v4 a0 = ra[u], b7 = rb[7 - u], a7 = ra[7 - u], b0 = rb[u];
        ra[u] = pre_rotate(a0, b7, pre_a + 256 * u);
        rb[7 - u] = pre_rotate(b7, a0, pre_b + 256 * (7 - u));
        ra[7 - u] = pre_rotate(a7, b0, pre_a + 256 * (7 - u));
        rb[u] = pre_rotate(b0, a7, pre_b + 256 * u);
    }
    first_stages<LA>(ra, stages_a);
    store_first(pa, ra);
    first_stages<LB>(rb, stages_b);
    store_first(pb, rb);
}

template <lane0 LA, lane0 LB>
inline void first_pair_at(float *x, int32_t j)
{
    const float *pre = aac_dct4_sse2_pre_1024[0], *stages = aac_dct4_sse2_stages_1024[0];
    first_pair<LA, LB>(x + 4 * j, x + 124 - 4 * j, pre + 8 * j, pre + 8 * (31 - j),
                       stages + 96 * j, stages + 96 * (31 - j));
}

// Groups 2j and 62 - 2j; group 32 has lane 0 at position 8.
void first_pass(float *x)
{
    first_pair_at<lane0::position0, lane0::general>(x, 0);
    for (int32_t j = 1; j < 15; j++)
        first_pair_at<lane0::general, lane0::general>(x, j);
    first_pair_at<lane0::general, lane0::position8>(x, 15);
}

// Pass 2.  Group (p1, p2, p6, p7, p8) reads the registers of p3..p5 from
// e = 64 (p1 + 2 p2 + 4 p8) + 4 p6 + 2 p7 + 32 p3 + 16 p4 + 8 p5 and
// writes them to e = 64 (p7 + 2 p6 + 4 p8) + 2 p1 + 4 p2 + 8 p3 + 16 p4
// + 32 p5, which group (p7, p6, p2, p1, p8) reads.  A step runs such a
// pair of groups, or one group that is its own partner.
struct middle_step {
    int16_t read, write;  // float offsets of the first group's bases
    int8_t c, partner_c;                 // p6 + 2 p7 + 4 p8: the twiddle group of stages_of_3
    bool alone;
};

constexpr auto kMiddleSteps = [] {
    std::array<middle_step, 20> steps{};
    size_t n = 0;
    for (int id = 0; id < 32; id++) {
        const int p1 = id & 1, p2 = (id >> 1) & 1, p6 = (id >> 2) & 1, p7 = (id >> 3) & 1;
        const int p8 = id >> 4;
        const int partner = p7 | p6 << 1 | p2 << 2 | p1 << 3 | p8 << 4;
        if (partner < id)
            continue;
        const int read = 64 * (p1 + 2 * p2 + 4 * p8) + 4 * p6 + 2 * p7;
        const int write = 64 * (p7 + 2 * p6 + 4 * p8) + 4 * p2 + 2 * p1;
        steps[n++] = {static_cast<int16_t>(2 * read), static_cast<int16_t>(2 * write),
                      static_cast<int8_t>(p6 + 2 * p7 + 4 * p8),
                      static_cast<int8_t>(p2 + 2 * p1 + 4 * p8), partner == id};
    }
    return steps;
}();

constexpr int32_t rev3(int32_t w)
{
    return ((w & 1) << 2) | (w & 2) | (w >> 2);
}

inline void middle_stages(v4 (&r)[8], int32_t c)
{
    if (c == 0)
        stages_of_3<0>(r, 0);
    else if (c == 1)
        stages_of_3<1>(r, 1);
    else
        stages_of_3<2>(r, c);
}

void middle_pass(float *x)
{
    for (const middle_step &step : kMiddleSteps) {
        float *read = x + step.read, *write = x + step.write;
        v4 r[8];
        for (int32_t w = 0; w < 8; w++)
            r[w] = load(read + 16 * rev3(w));
        middle_stages(r, step.c);
        if (step.alone) {
            for (int32_t w = 0; w < 8; w++)
                store(write + 16 * w, r[w]);
            continue;
        }
        v4 s[8];
        for (int32_t w = 0; w < 8; w++) {
            s[rev3(w)] = load(write + 16 * w);
            store(write + 16 * w, r[w]);
        }
        middle_stages(s, step.partner_c);
        for (int32_t w = 0; w < 8; w++)
            store(read + 16 * w, s[w]);
    }
}

// Post-rotation of the register of outputs (k, k+1) with the register of
// their partners (m-1, m), m = 511-k.  Each element e first gives
// P(e) = a tr + b ti and Q(e) = a ti - b tr with its own rotation (tw holds
// (tr, -tr) and (ti, ti) per element for r, then for p); output k is
// (P(k), Q(m)) and output m is (P(m), Q(k)).
inline v4 rotated(v4 r, const float *tw)
{
    return _mm_add_ps(_mm_mul_ps(r, load(tw)), _mm_mul_ps(swap_parts(r), load(tw + 4)));
}

inline void post_rotate(v4 &r, v4 &p, const float *tw)
{
    const v4 vr = rotated(r, tw), vp = rotated(p, tw + 8);
    // (P(k), P(k+1), Q(m), Q(m-1)) and (P(m-1), P(m), Q(k+1), Q(k)).
    r = lanes_of<0, 2, 1, 3>(_mm_shuffle_ps(vr, vp, _MM_SHUFFLE(1, 3, 2, 0)));
    p = lanes_of<0, 2, 1, 3>(_mm_shuffle_ps(vp, vr, _MM_SHUFFLE(1, 3, 2, 0)));
}

// Pass 3.  The group at s0 (register v = p6 + 2 p7 + 4 p8 read from slot
// s0 + 64 psi(v), psi(v) = p7 + 2 p6 + 4 p8, and written to its output
// slot s0 + 64 v) and its mirror at 62 - s0, whose register 7 - v holds
// the partners of register v.
constexpr int32_t psi(int32_t v)
{
    return ((v >> 1) & 1) | (v & 1) << 1 | (v & 4);
}

void last_pass(float *x)
{
    const float *tw = aac_dct4_sse2_last_1024[0];
    for (int32_t s0 = 0; s0 < 32; s0 += 2, tw += 128) {
        v4 r[8], m[8];
        for (int32_t v = 0; v < 8; v++)
            r[v] = load(slot(x, s0 + 64 * psi(v)));
        stages_of_3<0>(r, 0);
        for (int32_t v = 0; v < 8; v++)
            m[v] = load(slot(x, 62 - s0 + 64 * psi(v)));
        stages_of_3<0>(m, 0);
        for (int32_t v = 0; v < 8; v++) {
            post_rotate(r[v], m[7 - v], tw + 16 * v);
            store(slot(x, s0 + 64 * v), r[v]);
            store(slot(x, 62 - s0 + 64 * (7 - v)), m[7 - v]);
        }
    }
}

// The 128-value DCT-IV (64 points, six stages) in two passes.  Pass 1
// works as above on the groups e0 + 8u and their mirrors; pass 2 runs
// stages h = 8, 16, 32 (p3..p5) and the post-rotation on the groups at
// stride 8 of the FFT outputs in natural order, so pass 1 writes value p
// to slot p.  The slots of a pass-1 unit (groups e0 and 6 - e0) are those
// of a pass-2 unit, but each pass-1 unit makes half of the other unit's
// values: unit 0 parks those in the slots where unit 1's values for it
// go, and unit 1 swaps them out to their places.

// Flipping p1 and p3 turns a slot of the other unit's values (p1 != p2)
// made by unit 0 (p3 == p4) into one of unit 0's values made by unit 1.
constexpr int32_t kParked = 2 | 8;

template <int32_t A, lane0 LA, lane0 LB>
inline void first_unit_64(float *x)
{
    constexpr int32_t B = 6 - A;
    const float *pre = aac_dct4_sse2_pre_128[0], *stages = aac_dct4_sse2_stages_128[0];
    v4 ra[8], rb[8];
    for (int32_t u = 0; u < 8; u++) {
        ra[u] = load(slot(x, A + 8 * u));
        rb[u] = load(slot(x, B + 8 * u));
    }
    for (int32_t u = 0; u < 4; u++) {
        const v4 a0 = ra[u], b7 = rb[7 - u], a7 = ra[7 - u], b0 = rb[u];
        ra[u] = pre_rotate(a0, b7, pre + 4 * (A + 8 * u));
        rb[7 - u] = pre_rotate(b7, a0, pre + 4 * (B + 8 * (7 - u)));
        ra[7 - u] = pre_rotate(a7, b0, pre + 4 * (A + 8 * (7 - u)));
        rb[u] = pre_rotate(b0, a7, pre + 4 * (B + 8 * u));
    }
    // Register u of a group holds (p0, p1, p2) = bits (2, 1, 0) of u in
    // lanes p5, and goes with register u + 4 to the slots of (p1, p2) = bits
    // (1, 0) of u; the group's p3 and p4 are bits 2 and 1 of its base.
    // Those of p1 == p2 belong to unit 0, the others are parked or, in unit
    // 1, swapped with what unit 0 parked.
    constexpr int32_t high_a = 8 * ((A >> 2) & 1) + 16 * ((A >> 1) & 1);
    constexpr int32_t high_b = 8 * ((B >> 2) & 1) + 16 * ((B >> 1) & 1);
    constexpr bool unit0 = A == 0;
    auto e_of = [](int32_t u) { return 2 * ((u >> 1) & 1) + 4 * (u & 1); };
    auto own = [](int32_t u) { return (((u >> 1) ^ u) & 1) == (A >> 1); };
    first_stages<LA>(ra, stages + 48 * A);
    for (int32_t u = 0; u < 4; u++) {
        if (own(u) || unit0) {
            const int32_t e = (high_a + e_of(u)) ^ (own(u) ? 0 : kParked);
            store(slot(x, e), low_halves(ra[u], ra[u + 4]));
            store(slot(x, e + 32), high_halves(ra[u], ra[u + 4]));
        }
    }
    first_stages<LB>(rb, stages + 48 * B);
    for (int32_t u = 0; u < 4; u++) {
        if (own(u) || unit0) {
            const int32_t e = (high_b + e_of(u)) ^ (own(u) ? 0 : kParked);
            store(slot(x, e), low_halves(rb[u], rb[u + 4]));
            store(slot(x, e + 32), high_halves(rb[u], rb[u + 4]));
        }
    }
    if constexpr (!unit0) {
        auto swap = [x](int32_t e, v4 v) {
            const v4 parked = load(slot(x, e));
            store(slot(x, e), v);
            store(slot(x, e ^ kParked), parked);
        };
        for (int32_t u = 0; u < 4; u++) {
            if (!own(u)) {
                swap(high_a + e_of(u), low_halves(ra[u], ra[u + 4]));
                swap(high_a + e_of(u) + 32, high_halves(ra[u], ra[u + 4]));
                swap(high_b + e_of(u), low_halves(rb[u], rb[u + 4]));
                swap(high_b + e_of(u) + 32, high_halves(rb[u], rb[u + 4]));
            }
        }
    }
}

void last_pass_64(float *x)
{
    const float *tw = aac_dct4_sse2_last_128[0];
    for (int32_t s0 = 0; s0 < 4; s0 += 2, tw += 128) {
        v4 r[8], m[8];
        for (int32_t v = 0; v < 8; v++)
            r[v] = load(slot(x, s0 + 8 * v));
        stages_of_3<0>(r, 0);
        for (int32_t v = 0; v < 8; v++)
            m[v] = load(slot(x, 6 - s0 + 8 * v));
        stages_of_3<0>(m, 0);
        for (int32_t v = 0; v < 8; v++) {
            post_rotate(r[v], m[7 - v], tw + 16 * v);
            store(slot(x, s0 + 8 * v), r[v]);
            store(slot(x, 6 - s0 + 8 * (7 - v)), m[7 - v]);
        }
    }
}

}  // namespace

void aac_dct4_128_sse2(float *x)
{
    // Groups 0 and 6, then 2 and 4; group 4 has lane 0 at position 8.
    first_unit_64<0, lane0::position0, lane0::general>(x);
    first_unit_64<2, lane0::general, lane0::position8>(x);
    last_pass_64(x);
}

void aac_dct4_1024_sse2(float *x)
{
    first_pass(x);
    middle_pass(x);
    last_pass(x);
}

}  // namespace lumdec
