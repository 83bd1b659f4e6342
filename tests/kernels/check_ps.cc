// Parametric stereo kernels: every slot of the generic and the SSE2 table on
// the same inputs, with the decoder's own filters and decorrelator tables
// and with random ones, at every size and offset the callers may pass.
// Outputs and updated state must match to the bit, and nothing may be
// written outside the buffers.  Where inputs overflow or carry NaNs, any
// NaN matches any NaN (their sign and payload depend on operand order).
#include <cmath>
#include <functional>
#include <limits>

#include "checker.h"
#include "ps/ps_kernels.h"
#include "ps/ps_layout.h"

namespace {

using namespace lumdec;
using checker::Buffer;

constexpr float kInf = std::numeric_limits<float>::infinity();

// scale 0: edge values, with infinities and NaNs mixed in.
constexpr struct {
    const char *name;
    float scale;
} kInputs[] = {{"unit", 1.0f}, {"qmf", 32768.0f}, {"tiny", 1e-30f}, {"subnormal", 1e-41f}, {"edge", 0.0f}};

void fill(float *x, size_t n, float scale)
{
    if (scale > 0)
        return checker::fill_random(x, n, scale);
    checker::fill_edge(x, n, 0.0f);
    for (size_t i = 5; i < n; i += 11)
        x[i] = (i & 16) ? -kInf : std::numeric_limits<float>::quiet_NaN();
}

// Runs call once per table on its own copies of the buffers (filled alike)
// and compares every buffer afterwards.
void agree(const std::string &slot, const std::string &what, std::vector<size_t> sizes,
           const std::function<void(std::vector<float *> &)> &fill_inputs,
           const std::function<void(const ps_kernels &, std::vector<float *> &)> &call)
{
    std::vector<std::unique_ptr<Buffer<float>>> buffers[2];
    std::vector<float *> pointers[2];
    for (int t = 0; t < 2; t++) {
        for (size_t n : sizes) {
            buffers[t].push_back(std::make_unique<Buffer<float>>(n));
            buffers[t].back()->poison(0x7F);
            pointers[t].push_back(buffers[t].back()->data());
        }
    }
    fill_inputs(pointers[0]);
    for (size_t i = 0; i < sizes.size(); i++)
        std::copy_n(pointers[0][i], sizes[i], pointers[1][i]);
    call(ps_kernels_generic, pointers[0]);
    call(ps_kernels_sse2, pointers[1]);
    for (size_t i = 0; i < sizes.size(); i++) {
        Buffer<float> &g = *buffers[0][i], &s = *buffers[1][i];
        for (size_t j = 0; j < sizes[i]; j++)
            if (std::isnan(g[j]) && std::isnan(s[j]))
                g[j] = s[j] = std::numeric_limits<float>::quiet_NaN();
        EXPECT_TRUE(checker::same_floats(slot, what + ", buffer " + std::to_string(i), g.data(), s.data(), sizes[i]));
        EXPECT_TRUE(g.guards_intact() && s.guards_intact()) << slot << " " << what << " wrote out of bounds";
    }
}

TEST(PsKernels, HybridFilterAgrees)
{
    struct Filter {
        std::string name;
        const float *re, *im;  // null: random taps
        int q;
    };
    std::vector<Filter> filters;
    for (int config : {20, 34}) {
        const ps_layout &layout = ps_layout_of(config);
        for (int b = 0; b < layout.split; b++)
            filters.push_back({std::to_string(config) + "-band filter of QMF band " + std::to_string(b),
                               layout.filter_cos + layout.parts[b].first,
                               layout.filter_sin + layout.parts[b].first,
                               layout.parts[b].outputs});
    }
    for (int q : {2, 4, 6, 8, 10, 12})
        filters.push_back({"random taps, " + std::to_string(q) + " outputs", nullptr, nullptr, q});
    for (const Filter &f : filters)
        for (const auto &in : kInputs)
            for (int slots : {1, 3, 5, 31, 32})
                for (int stride : {f.q, 92}) {
                    const size_t taps = static_cast<size_t>(7 * f.q), x = static_cast<size_t>(slots + 12);
                    const size_t y = static_cast<size_t>((slots - 1) * stride + f.q);
                    // buffers: x_re, x_im, c_re, c_im, y_re, y_im
                    agree("hybrid_filter", f.name + ", " + in.name + ", " + std::to_string(slots) + " slots",
                          {x, x, taps, taps, y, y},
                          [&](std::vector<float *> &p) {
                              fill(p[0], x, in.scale);
                              fill(p[1], x, in.scale);
                              if (f.re) {
                                  std::copy_n(f.re, taps, p[2]);
                                  std::copy_n(f.im, taps, p[3]);
                              } else {
                                  fill(p[2], taps, 1.0f);
                                  fill(p[3], taps, 1.0f);
                              }
                          },
                          [&](const ps_kernels &k, std::vector<float *> &p) {
                              k.hybrid_filter(p[0], p[1], p[2], p[3], f.q, p[4], p[5], stride, slots);
                          });
                }
}

TEST(PsKernels, PowerAgrees)
{
    for (const auto &in : kInputs)
        for (int bands = 4; bands <= 92; bands += 4)
            for (int slots : {1, 32}) {
                const size_t n = static_cast<size_t>(slots * PS_STRIDE);
                agree("power", std::string(in.name) + ", " + std::to_string(bands) + " bands", {n, n, n},
                      [&](std::vector<float *> &p) {
                          fill(p[0], n, in.scale);
                          fill(p[1], n, in.scale);
                      },
                      [&](const ps_kernels &k, std::vector<float *> &p) {
                          k.power(p[0], p[1], p[2], PS_STRIDE, bands, slots);
                      });
            }
}

TEST(PsKernels, TransientAgrees)
{
    for (const auto &in : kInputs)
        for (int bands = 4; bands <= PS_PAR_STRIDE; bands += 4)
            for (int slots : {1, 5, 32})
                for (bool in_place : {false, true}) {
                    const size_t n = static_cast<size_t>(slots * PS_PAR_STRIDE);
                    // buffers: power, gain, peak, smooth, diff
                    agree("transient",
                          std::string(in.name) + ", " + std::to_string(bands) + " bands, " +
                              std::to_string(slots) + " slots" + (in_place ? ", in place" : ""),
                          {n, n, PS_PAR_STRIDE, PS_PAR_STRIDE, PS_PAR_STRIDE},
                          [&](std::vector<float *> &p) {
                              // Powers are not negative, but the kernel takes what it gets.
                              fill(p[0], n, in.scale);
                              for (size_t i = 0; i < n; i++)
                                  p[0][i] = in.scale > 0 ? std::fabs(p[0][i]) : p[0][i];
                              for (size_t i = 2; i < 5; i++)
                                  fill(p[i], PS_PAR_STRIDE, in.scale);
                          },
                          [&](const ps_kernels &k, std::vector<float *> &p) {
                              k.transient(p[0], in_place ? p[0] : p[1], p[2], p[3], p[4], bands, slots);
                          });
                }
}

TEST(PsKernels, AllpassAgrees)
{
    static ps_decorrelator_table random_table;
    std::vector<std::pair<std::string, const ps_decorrelator_table *>> tables = {
        {"20-band table", &ps_decorrelator_20},
        {"34-band table", &ps_decorrelator_34},
        {"random table", &random_table}};
    for (const auto &in : kInputs) {
        fill(&random_table.phi_re[0], sizeof random_table / sizeof(float), in.scale > 0 ? 1.0f : 0.0f);
        for (const auto &[name, binding] : tables)
            for (int bands = 4; bands <= PS_ALLPASS_STRIDE; bands += 8)
                for (int slots : {1, 6, 32}) {
                    const ps_decorrelator_table *table = binding;  // clang 14 cannot capture a binding
                    const size_t s = static_cast<size_t>((PS_PRE_DELAY + slots) * PS_STRIDE);
                    const size_t link = static_cast<size_t>((PS_MAX_LINK_DELAY + slots) * PS_ALLPASS_STRIDE);
                    const size_t d = static_cast<size_t>(slots * PS_STRIDE);
                    // buffers: s_re, s_im, three links re and im, d_re, d_im
                    agree("allpass", name + ", " + in.name + ", " + std::to_string(bands) + " bands, " +
                                         std::to_string(slots) + " slots",
                          {s, s, link, link, link, link, link, link, d, d},
                          [&](std::vector<float *> &p) {
                              for (int i = 0; i < 8; i++)
                                  fill(p[static_cast<size_t>(i)], i < 2 ? s : link, in.scale);
                          },
                          [&](const ps_kernels &k, std::vector<float *> &p) {
                              ps_allpass_job job;
                              job.s_re = p[0] + PS_PRE_DELAY * PS_STRIDE;
                              job.s_im = p[1] + PS_PRE_DELAY * PS_STRIDE;
                              constexpr int history = PS_MAX_LINK_DELAY * PS_ALLPASS_STRIDE;
                              for (int m = 0; m < PS_NUM_LINKS; m++) {
                                  job.link_re[m] = p[static_cast<size_t>(2 + 2 * m)] + history;
                                  job.link_im[m] = p[static_cast<size_t>(3 + 2 * m)] + history;
                              }
                              job.d_re = p[8];
                              job.d_im = p[9];
                              job.table = table;
                              job.bands = bands;
                              job.num_slots = slots;
                              k.allpass(&job);
                          });
                }
    }
}

TEST(PsKernels, MixAgrees)
{
    // Parameter bands of the decoder's layouts from several first bands, and
    // a random map.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> maps;
    for (int config : {20, 34}) {
        const ps_layout &layout = ps_layout_of(config);
        for (int first : {0, 3, layout.sub, layout.allpass, layout.long_delay})
            maps.push_back({std::to_string(config) + "-band map from band " + std::to_string(first),
                            std::vector<uint8_t>(layout.band_to_par + first, layout.band_to_par + layout.bands)});
    }
    std::vector<uint8_t> random_map(91);
    for (uint8_t &b : random_map)
        b = static_cast<uint8_t>(checker::rng()() % PS_PAR_STRIDE);
    maps.push_back({"random map", random_map});
    const size_t h = 4 * PS_PAR_STRIDE;
    for (const auto &in : kInputs)
        for (const auto &[map_name, map] : maps)
            for (int bands = 1; bands <= static_cast<int>(map.size()); bands += (bands < 12 ? 1 : 13))
                for (int offset : {0, 3})
                    for (int slots : {1, 11, 32}) {
                        const int out_stride = offset ? 64 : 32;
                        const size_t sig = static_cast<size_t>(offset + (slots - 1) * PS_STRIDE + bands);
                        const size_t out = static_cast<size_t>(offset + (slots - 1) * out_stride + bands);
                        const size_t gain = static_cast<size_t>(slots * PS_PAR_STRIDE);
                        const uint8_t *par = map.data();
                        // buffers: s_re, s_im, d_re, d_im, gain, h, step, l_re, l_im, r_re, r_im
                        agree("mix",
                              std::string(in.name) + ", " + map_name + ", " + std::to_string(bands) +
                                  " bands at offset " + std::to_string(offset) + ", " + std::to_string(slots) +
                                  " slots",
                              {sig, sig, sig, sig, gain, h, h, out, out, out, out},
                              [&](std::vector<float *> &p) {
                                  for (size_t i = 0; i < 4; i++)
                                      fill(p[i], sig, in.scale);
                                  checker::fill_random(p[4], gain, 1.0f);
                                  fill(p[5], h, in.scale > 0 ? 1.5f : 0.0f);
                                  fill(p[6], h, in.scale > 0 ? 0.05f : 0.0f);
                              },
                              [&](const ps_kernels &k, std::vector<float *> &p) {
                                  ps_mix_job job;
                                  job.s_re = p[0] + offset;
                                  job.s_im = p[1] + offset;
                                  job.d_re = p[2] + offset;
                                  job.d_im = p[3] + offset;
                                  job.gain = p[4];
                                  job.h = p[5];
                                  job.step = p[6];
                                  job.par = par;
                                  job.l_re = p[7] + offset;
                                  job.l_im = p[8] + offset;
                                  job.r_re = p[9] + offset;
                                  job.r_im = p[10] + offset;
                                  job.out_stride = out_stride;
                                  job.bands = bands;
                                  job.num_slots = slots;
                                  k.mix(&job);
                              });
                    }
}

}  // namespace
