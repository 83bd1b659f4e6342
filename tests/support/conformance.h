// The corpus's comparison of decoder output with a reference, in C++: the
// sample-exact limits for ordinary streams and the energy limits for
// streams with noise substitution (whose noise cannot match sample for
// sample).  Output and reference are interleaved floats.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One 16-bit step / sqrt(12) and two 16-bit steps, full scale 1.0.
inline constexpr double kExactRmsLimit = 8.8103947e-06;  // 2^-15 / sqrt(12)
inline constexpr double kExactMaxLimit = 6.103515625e-05;  // 2^-14

struct ExactFigures {
    double rms = 0, max = 0;  // worst channel
};

ExactFigures exact_figures(const std::vector<float> &out, const std::vector<float> &ref,
                           int channels);

struct EnergyFigures {
    double lt_band_db = 0, frame_db_p99 = 0, frame_db_max = 0;
    double cell_db_median = 0, cell_db_p95 = 0, coherence_diff = 0;
    bool pass() const;
    std::string describe() const;
};

EnergyFigures energy_figures(const std::vector<float> &out, const std::vector<float> &ref,
                             int channels, const std::vector<std::pair<int, int>> &pairs);
