// Band replication kernels: generic against SSE2 (and AVX2 where the build
// and the processor have it) on random inputs at several
// scales and on edge values, over every band count and band offset the
// callers may pass (the SSE2 loops take four bands at a time and finish the
// rest one by one), with the QMF banks' histories carried across calls.
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "checker.h"
#include "kernels/cpu.h"
#include "kernels/kernel_tables.h"

using namespace lumdec;

namespace {

using checker::Buffer;
using K = const aac_sbr_kernels &;

constexpr float kScales[] = {1.0f, 32768.0f, 1e15f, 1e-30f};

// The tables to hold against the generic one.
std::vector<const aac_sbr_kernels *> wide_tables()
{
    std::vector<const aac_sbr_kernels *> t = {&aac_sbr_kernels_sse2};
#if defined(LUMDEC_HAVE_AVX2)
    if (aac_detect_cpu_level() >= AAC_CPU_AVX2)
        t.push_back(&aac_sbr_kernels_avx2);
#endif
    return t;
}

// Runs call on the generic table and on each wider one with their own
// copies of every buffer: all must come out the same (any NaN matching any
// NaN, for inputs that overflow) and nothing be written outside them.
template <class Call>
void agree(const std::string &what, const std::vector<const Buffer<float> *> &buffers, Call call)
{
    static const std::vector<const aac_sbr_kernels *> tables = wide_tables();
    for (const aac_sbr_kernels *wide : tables) {
        std::vector<std::unique_ptr<Buffer<float>>> copies[2];
        for (int t = 0; t < 2; t++) {
            std::vector<float *> p;
            for (const Buffer<float> *b : buffers) {
                copies[t].push_back(std::make_unique<Buffer<float>>(b->size()));
                std::copy_n(b->data(), b->size(), copies[t].back()->data());
                p.push_back(copies[t].back()->data());
            }
            call(t ? *wide : aac_sbr_kernels_generic, p.data());
        }
        const std::string table = wide == &aac_sbr_kernels_sse2 ? "sse2" : "avx2";
        for (size_t i = 0; i < buffers.size(); i++) {
            Buffer<float> &g = *copies[0][i], &s = *copies[1][i];
            for (size_t k = 0; k < g.size(); k++)
                if (std::isnan(g[k]) && std::isnan(s[k]))
                    g[k] = s[k] = std::numeric_limits<float>::quiet_NaN();
            EXPECT_TRUE(checker::same_floats(what + " " + table, "buffer " + std::to_string(i),
                                             g.data(), s.data(), g.size()));
            EXPECT_TRUE(g.guards_intact() && s.guards_intact()) << what << " wrote out of bounds";
        }
    }
}

Buffer<float> filled(size_t n, float scale, bool edge = false)
{
    Buffer<float> b(n);
    if (edge)
        checker::fill_edge(b.data(), n, 0.0f);
    else
        checker::fill_random(b.data(), n, scale);
    return b;
}

Buffer<float> poisoned(size_t n)
{
    Buffer<float> b(n);
    b.poison();
    return b;
}

// Inputs of each kind: random at every scale, and edge values.
template <class Test>
void for_each_input(Test test)
{
    for (float scale : kScales)
        test("scale " + checker::describe(scale), scale, false);
    test("edge values", 1.0f, true);
}

TEST(SbrKernels, AnalysisBank)
{
    for_each_input([](const std::string &what, float scale, bool edge) {
        for (int slots : {1, 3, 32}) {
            const Buffer<float> in = filled(288 + 32 * slots, scale, edge);
            const Buffer<float> re = poisoned(32 * slots), im = poisoned(32 * slots);
            agree("qmf_analysis " + what + ", " + std::to_string(slots) + " slots", {&in, &re, &im},
                  [slots](K k, float **p) { k.qmf_analysis(p[0], p[1], p[2], slots); });
        }
    });
}

// Two calls in a row: the second reads the history the first left.
TEST(SbrKernels, SynthesisBanksCarryTheirHistory)
{
    for_each_input([](const std::string &what, float scale, bool edge) {
        for (bool down : {false, true}) {
            const size_t width = down ? 64 : 128;
            const Buffer<float> v = filled((9 + 32) * width, scale, edge);
            const Buffer<float> re = filled(64 * 32, scale, edge), im = filled(64 * 32, scale, edge);
            const Buffer<float> window = filled(640, 0.01f);
            const Buffer<float> out = poisoned(2 * 32 * width / 2);
            agree(std::string(down ? "qmf_synthesis_down " : "qmf_synthesis ") + what,
                  {&v, &re, &im, &window, &out}, [down, width](K k, float **p) {
                      auto fn = down ? k.qmf_synthesis_down : k.qmf_synthesis;
                      fn(p[0], p[1], p[2], p[3], p[4], 7);
                      fn(p[0], p[1], p[2], p[3], p[4] + 7 * width / 2, 25);
                  });
        }
    });
}

TEST(SbrKernels, CovarianceOverEveryBandRange)
{
    for_each_input([](const std::string &what, float scale, bool edge) {
        const Buffer<float> re = filled(40 * 32, scale, edge), im = filled(40 * 32, scale, edge);
        for (int first = 0; first < 5; first++) {
            for (int bands = 1; first + bands <= 32; bands++) {
                const Buffer<float> out = poisoned(8 * 32);
                agree("hf_covariance " + what + ", bands " + std::to_string(first) + "+" +
                          std::to_string(bands),
                      {&re, &im, &out}, [first, bands](K k, float **p) {
                          k.hf_covariance(p[0] + first, p[1] + first, bands, p[2]);
                      });
            }
        }
    });
}

TEST(SbrKernels, PredictionFilterOverEveryBandRange)
{
    for_each_input([](const std::string &what, float scale, bool edge) {
        const Buffer<float> src_re = filled(40 * 32, scale, edge), src_im = filled(40 * 32, scale, edge);
        const Buffer<float> coef = filled(4 * 64, 2.0f, edge);
        for (int src = 0; src < 3; src++) {
            for (int bands = 1; bands <= 29; bands += 1 + bands / 8) {
                const int dst = 17 + src;
                const Buffer<float> dst_re = poisoned(40 * 64), dst_im = poisoned(40 * 64);
                agree("hf_filter " + what + ", " + std::to_string(bands) + " bands",
                      {&dst_re, &dst_im, &src_re, &src_im, &coef}, [=](K k, float **p) {
                          k.hf_filter(p[0] + dst, p[1] + dst, p[2] + src, p[3] + src, p[4] + src, bands,
                                      2 + src, 40 - src);
                      });
            }
        }
    });
}

TEST(SbrKernels, BandEnergyOverEveryBandRange)
{
    for_each_input([](const std::string &what, float scale, bool edge) {
        const Buffer<float> re = filled(40 * 64, scale, edge), im = filled(40 * 64, scale, edge);
        for (int first = 0; first < 4; first++) {
            for (int bands = 1; first + bands <= 60; bands += 3) {
                const Buffer<float> out = poisoned(64);
                agree("band_energy " + what + ", " + std::to_string(bands) + " bands", {&re, &im, &out},
                      [=](K k, float **p) { k.band_energy(p[0] + first, p[1] + first, bands, 2 + first, 38, p[2]); });
            }
        }
    });
}

TEST(SbrKernels, GainSmoothingOverEveryBandCount)
{
    for_each_input([](const std::string &what, float scale, bool edge) {
        const Buffer<float> cur = filled(64, scale, edge), past = filled(4 * 64, scale, edge);
        const Buffer<float> taps = filled(5, 1.0f);
        for (int bands = 1; bands <= 48; bands++) {
            const Buffer<float> out = poisoned(64);
            agree("hf_smooth " + what + ", " + std::to_string(bands) + " bands", {&cur, &past, &taps, &out},
                  [bands](K k, float **p) {
                      const float *rows[4] = {p[1] + 64, p[1] + 3, p[1] + 128, p[1] + 192};
                      k.hf_smooth(p[3], p[0], rows, p[2], bands);
                  });
        }
    });
}

// Sinusoids at some bands, zero and negative-zero levels elsewhere, every
// phase, noise on and off, and noise indices that wrap around the table.
TEST(SbrKernels, SlotAssemblyOverEveryBandCountAndNoiseIndex)
{
    for_each_input([](const std::string &what, float scale, bool edge) {
        const Buffer<float> re = filled(64, scale, edge), im = filled(64, scale, edge);
        const Buffer<float> gain = filled(64, 4.0f, edge), level = filled(64, scale, edge);
        Buffer<float> sine = filled(64, scale, edge);
        for (size_t b = 0; b < 64; b++)
            if (checker::rng()() % 3)
                sine[b] = (b & 1) ? 0.0f : -0.0f;
        const float phases[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
        for (int bands = 1; bands <= 48; bands += 1 + bands / 6) {
            for (int index : {0, 3, 505, 508, 510, 511}) {
                for (int noisy = 0; noisy < 2; noisy++) {
                    const float *phi = phases[(index + bands) & 3];
                    agree("hf_assemble " + what + ", " + std::to_string(bands) + " bands, index " +
                              std::to_string(index),
                          {&re, &im, &gain, &level, &sine}, [=](K k, float **p) {
                              k.hf_assemble(p[0], p[1], p[2], p[3], p[4], index, phi[0], phi[1], noisy, bands);
                          });
                }
            }
        }
    });
}

}  // namespace
