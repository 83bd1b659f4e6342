// Every test stream with damaged frames: seeded bit flips, dropped and
// duplicated bytes, truncated frames and garbage in place of frames.
//
// Without concealment each rejected frame returns its status and the stream
// goes on as if the frame had never been given.  With it every call
// returns 0, one block per call after the first, error_count counts the
// rejected frames, and every valid block whose two frames were not damaged
// is the same as in the undamaged decode (noise substitution aside, whose
// generator runs on through frames that differ).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "decode_stream.h"

namespace {

enum Damage { bit_flips, dropped_bytes, duplicated_bytes, truncated, garbage, kinds };

std::vector<uint8_t> damage(int kind, std::vector<uint8_t> p, std::mt19937 &rng)
{
    auto pick = [&rng](size_t n) { return static_cast<size_t>(rng() % n); };
    switch (kind) {
    case bit_flips:
        for (size_t n = 1 + pick(8); n > 0; n--)
            p[pick(p.size())] ^= static_cast<uint8_t>(1u << pick(8));
        break;
    case dropped_bytes:
        for (size_t n = 1 + pick(4); n > 0 && p.size() > 1; n--)
            p.erase(p.begin() + static_cast<std::ptrdiff_t>(pick(p.size())));
        break;
    case duplicated_bytes: {
        const size_t at = pick(p.size()), n = std::min<size_t>(1 + pick(4), p.size() - at);
        const std::vector<uint8_t> run(p.begin() + at, p.begin() + at + n);
        p.insert(p.begin() + at, run.begin(), run.end());
        break;
    }
    case truncated:
        p.resize(1 + pick(p.size()));  // never empty: that would end the stream
        break;
    case garbage:
        p.resize(1 + pick(2 * p.size()));
        for (uint8_t &b : p)
            b = static_cast<uint8_t>(rng());
        break;
    }
    return p;
}

bool same_bytes(const std::vector<float> &a, const std::vector<float> &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * 4) == 0;
}

class DamagedStreams : public ::testing::TestWithParam<TestStream> {};

TEST_P(DamagedStreams, RejectedFramesAreSkippedOrConcealedAndTheRestDecodesUnchanged)
{
    const TestStream &stream = GetParam();
    const DecodeResult undamaged = decode_stream(stream);
    const size_t frames = static_cast<size_t>(stream.frames);
    int cases = 0, rejected_frames = 0;

    for (int kind = 0; kind < kinds; kind++) {
        for (uint32_t seed = 1; seed <= 8; seed++) {
            SCOPED_TRACE(::testing::Message() << "damage " << kind << ", seed " << seed);
            std::mt19937 rng(seed * 7919 + static_cast<uint32_t>(kind));
            std::set<size_t> damaged;
            for (size_t n = 1 + rng() % 3; n > 0; n--)
                damaged.insert(rng() % frames);
            std::vector<std::vector<uint8_t>> damaged_payloads(frames);
            DecodeOptions options;
            options.mutate = [&](size_t i, const std::vector<uint8_t> &p) {
                if (!damaged.count(i))
                    return p;
                if (damaged_payloads[i].empty())
                    damaged_payloads[i] = damage(kind, p, rng);
                return damaged_payloads[i];
            };

            DecodeResult plain = decode_stream(stream, options);
            std::set<size_t> rejected;
            for (size_t i = 0; i < frames; i++) {
                if (plain.status[i] != AAC_OK) {
                    EXPECT_TRUE(plain.status[i] == AAC_ERR_CORRUPT_FRAME || plain.status[i] == AAC_ERR_BAD_STREAM);
                    EXPECT_TRUE(damaged.count(i)) << "frame " << i;
                    rejected.insert(i);
                }
            }
            EXPECT_EQ(plain.error_count, 0);
            // The same stream without the rejected frames gives the same bytes.
            DecodeOptions without = options;
            without.leave_out = rejected;
            DecodeResult skipped = decode_stream(stream, without);
            EXPECT_EQ(plain.block_states, skipped.block_states);
            EXPECT_TRUE(same_bytes(plain.samples, skipped.samples));

            options.conceal = true;
            DecodeResult concealed = decode_stream(stream, options);
            for (size_t i = 0; i < frames; i++)
                EXPECT_EQ(concealed.status[i], AAC_OK) << "frame " << i;
            EXPECT_EQ(concealed.error_count, static_cast<int32_t>(rejected.size()));
            // One block per call after the first: lost when either frame of
            // its overlap was rejected.
            std::vector<unsigned> states;
            for (size_t i = 1; i < frames; i++)
                states.push_back(rejected.count(i - 1) || rejected.count(i) ? AAC_SLOT_LOST : AAC_SLOT_VALID);
            states.push_back(AAC_SLOT_EMPTY);
            ASSERT_EQ(concealed.block_states, states);
            EXPECT_TRUE(plain.follows_model && concealed.follows_model);
            const std::vector<std::vector<float>> &blocks = concealed.blocks;
            for (size_t b = 0; b + 1 < blocks.size(); b++) {
                // Block b overlaps frames b and b + 1.
                if (states[b] != AAC_SLOT_VALID || damaged.count(b) || damaged.count(b + 1))
                    continue;
                for (float x : blocks[b])
                    ASSERT_TRUE(std::isfinite(x));
                EXPECT_TRUE(undamaged.noise_used || same_bytes(blocks[b], undamaged.blocks[b])) << "block " << b;
            }
            cases++;
            rejected_frames += static_cast<int>(rejected.size());
        }
    }
    RecordProperty("cases", cases);
    RecordProperty("rejected_frames", rejected_frames);
}

INSTANTIATE_TEST_SUITE_P(TestData, DamagedStreams, ::testing::ValuesIn(decodable_test_streams()),
                         [](const auto &info) { return info.param.name; });

}  // namespace
