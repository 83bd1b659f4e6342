// ps_data() parsing against the tests' encoder: every codeword of the ten
// books, both coding directions for every mode, phases modulo 8, the time
// base across a change of resolution, the envelope grid, and the payloads
// that must be refused without touching the state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "frame/error.h"
#include "ps/ps.h"
#include "ps/ps_huffman.h"
#include "ps/ps_params.h"
#include "ps_writer.h"

namespace {

using namespace lumdec;

struct Parsed {
    aac_status status = 0;
    int used = -1;
    int position = 0;
};

// Parses w's bits from an exact-size copy followed by 16 more bits.
Parsed parse(ps_state &ps, BitWriter w, int num_bits)
{
    w.put(0xA5C3, 16);
    auto data = exact_copy(w.bytes(), w.bytes().size());
    aac_bit_reader r;
    aac_bits_init(&r, data.get(), static_cast<int32_t>(w.bytes().size()));
    Parsed p;
    aac_guard guard;
    p.status = guard.run([&] { p.used = ps_parse(&r, &ps, num_bits); });
    p.position = aac_bits_position(&r);
    return p;
}

// Writes s and parses it with `slack` more bits allowed; a frame that
// parses must have been read whole.
aac_status parse_spec(ps_state &ps, const PsFrameSpec &s, int slack = 0)
{
    BitWriter w;
    const int bits = write_ps(w, s);
    const Parsed p = parse(ps, w, bits + slack);
    if (p.status == 0) {
        EXPECT_EQ(p.used, bits);
        EXPECT_EQ(p.position, bits);
    }
    return p.status;
}

std::vector<int> random_values(std::mt19937 &rng, int n, int lo, int hi)
{
    std::uniform_int_distribution<int> pick(lo, hi);
    std::vector<int> v(static_cast<size_t>(n));
    for (int &x : v)
        x = pick(rng);
    return v;
}

constexpr int kBandsOfMode[3] = {10, 20, 34};
constexpr int kPhaseBandsOfMode[3] = {5, 11, 17};

int bands_of_mode(int mode)
{
    return kBandsOfMode[mode % 3];
}

void expect_values(const int8_t (*parsed)[PS_MAX_PAR_BANDS], const PsParameter &p, const char *what)
{
    for (size_t e = 0; e < p.values.size(); e++)
        for (size_t b = 0; b < p.values[e].size(); b++)
            ASSERT_EQ(parsed[e][b], p.values[e][b]) << what << " envelope " << e << " band " << b;
}

TEST(PsHuffman, EveryCodewordOfEveryBookRoundTripsAmongOthers)
{
    std::mt19937 rng(1611);
    for (int book = 0; book < 10; book++) {
        const PsCodewordBook &b = kPsBooks[book];
        std::vector<int> order;
        for (int round = 0; round < 3; round++)
            for (int i = 0; i < b.count; i++)
                order.push_back(i);
        std::shuffle(order.begin(), order.end(), rng);
        BitWriter w;
        std::vector<int> ends;
        for (int i : order) {
            w.put(b.codewords[i].code, b.codewords[i].length);
            ends.push_back(w.bit_count());
        }
        w.put(rng(), 32);
        auto data = exact_copy(w.bytes(), w.bytes().size());
        aac_bit_reader r;
        aac_bits_init(&r, data.get(), static_cast<int32_t>(w.bytes().size()));
        for (size_t i = 0; i < order.size(); i++) {
            ASSERT_EQ(ps_read_code(&r, book), b.codewords[order[i]].value) << "book " << book << " codeword " << i;
            ASSERT_EQ(aac_bits_position(&r), ends[i]) << "book " << book << " codeword " << i;
        }
    }
}

TEST(PsParse, BothCodingDirectionsInEveryModeAndAcrossFrames)
{
    std::mt19937 rng(77);
    for (int iid_mode = 0; iid_mode < 6; iid_mode++) {
        for (int icc_mode = 0; icc_mode < 6; icc_mode++) {
            ps_state ps;
            ps_reset(&ps);
            const int limit = iid_mode >= 3 ? 15 : 7;
            std::vector<int> iid_base(static_cast<size_t>(bands_of_mode(iid_mode)), 0);
            std::vector<int> icc_base(static_cast<size_t>(bands_of_mode(icc_mode)), 0);
            for (int frame = 0; frame < 3; frame++) {
                PsFrameSpec s;
                s.header = frame != 1;  // the second frame lives on the first one's header
                s.iid_mode = iid_mode;
                s.icc_mode = icc_mode;
                s.num_env_idx = 3;  // four envelopes
                for (int e = 0; e < 4; e++) {
                    s.iid.values.push_back(random_values(rng, bands_of_mode(iid_mode), -limit, limit));
                    s.icc.values.push_back(random_values(rng, bands_of_mode(icc_mode), 0, 7));
                    s.iid.dt.push_back(rng() & 1);
                    s.icc.dt.push_back(rng() & 1);
                }
                s.iid.base = iid_base;
                s.icc.base = icc_base;
                ASSERT_EQ(parse_spec(ps, s, static_cast<int>(rng() % 9)), 0)
                    << "modes " << iid_mode << "/" << icc_mode << " frame " << frame;
                EXPECT_EQ(ps.frame.num_env, 4);
                EXPECT_EQ(ps.frame.iid_bands, bands_of_mode(iid_mode));
                EXPECT_EQ(ps.frame.icc_bands, bands_of_mode(icc_mode));
                EXPECT_EQ(ps.frame.fine_iid, iid_mode >= 3);
                EXPECT_EQ(ps.frame.mixing_b, icc_mode >= 3);
                expect_values(ps.frame.iid, s.iid, "iid");
                expect_values(ps.frame.icc, s.icc, "icc");
                iid_base = s.iid.values.back();
                icc_base = s.icc.values.back();
            }
        }
    }
}

TEST(PsParse, PhasesAccumulateModuloEightInTheExtension)
{
    std::mt19937 rng(5);
    for (int iid_mode : {0, 1, 2}) {
        ps_state ps;
        ps_reset(&ps);
        const int phase_bands = kPhaseBandsOfMode[iid_mode];
        std::vector<int> ipd_base(static_cast<size_t>(phase_bands), 0), opd_base = ipd_base;
        for (int frame = 0; frame < 3; frame++) {
            PsFrameSpec s;
            s.iid_mode = iid_mode;
            s.enable_icc = false;
            s.enable_ext = true;
            s.ipdopd = true;
            s.num_env_idx = 2;  // two envelopes
            for (int e = 0; e < 2; e++) {
                s.iid.values.push_back(random_values(rng, bands_of_mode(iid_mode), -7, 7));
                s.iid.dt.push_back(false);
                s.ipd.values.push_back(random_values(rng, phase_bands, 0, 7));
                s.opd.values.push_back(random_values(rng, phase_bands, 0, 7));
                s.ipd.dt.push_back(rng() & 1);
                s.opd.dt.push_back(rng() & 1);
            }
            s.iid.base.assign(static_cast<size_t>(bands_of_mode(iid_mode)), 0);
            s.ipd.base = ipd_base;
            s.opd.base = opd_base;
            ASSERT_EQ(parse_spec(ps, s), 0);
            EXPECT_EQ(ps.frame.phase_bands, phase_bands);
            for (int e = 0; e < 2; e++)
                for (int b = 0; b < phase_bands; b++) {
                    ASSERT_EQ(ps.frame.ipd[e][b], s.ipd.values[e][b]) << "ipd " << e << " " << b;
                    ASSERT_EQ(ps.frame.opd[e][b], s.opd.values[e][b]) << "opd " << e << " " << b;
                }
            ipd_base = s.ipd.values.back();
            opd_base = s.opd.values.back();
        }
    }
}

// The 34 -> 20 folding of the baseline decoder, written out: target t is
// the weighted mean of these (band, weight) pairs.
const std::vector<std::vector<std::pair<int, int>>> kFold34 = {
    {{0, 2}, {1, 1}}, {{1, 1}, {2, 2}}, {{3, 2}, {4, 1}}, {{4, 1}, {5, 2}}, {{6, 1}, {7, 1}},
    {{8, 1}, {9, 1}}, {{10, 1}}, {{11, 1}}, {{12, 1}, {13, 1}}, {{14, 1}, {15, 1}},
    {{16, 1}}, {{17, 1}}, {{18, 1}}, {{19, 1}}, {{20, 1}, {21, 1}},
    {{22, 1}, {23, 1}}, {{24, 1}, {25, 1}}, {{26, 1}, {27, 1}},
    {{28, 1}, {29, 1}, {30, 1}, {31, 1}}, {{32, 1}, {33, 1}}};

TEST(PsParse, TimeDifferencesAcrossAChangeOfResolutionCountFromTheMappedValues)
{
    std::mt19937 rng(34);
    struct Change {
        int from_mode, to_mode;
    };
    for (const Change c : {Change{0, 1}, Change{2, 1}, Change{1, 0}, Change{1, 2}}) {
        ps_state ps;
        ps_reset(&ps);
        PsFrameSpec first;
        first.iid_mode = c.from_mode;
        first.enable_icc = false;
        first.iid.values = {random_values(rng, bands_of_mode(c.from_mode), -7, 7)};
        first.iid.dt = {false};
        ASSERT_EQ(parse_spec(ps, first), 0);

        const std::vector<int> &v = first.iid.values[0];
        std::vector<int> to20(20), base;
        for (int t = 0; t < 20; t++) {
            if (c.from_mode == 0) {
                to20[t] = v[t / 2];
            } else if (c.from_mode == 2) {
                int sum = 0, weight = 0;
                for (auto [band, w] : kFold34[t]) {
                    sum += w * v[band];
                    weight += w;
                }
                to20[t] = sum / weight;
            } else {
                to20[t] = v[t];
            }
        }
        if (c.to_mode == 0) {
            for (int b = 0; b < 10; b++)
                base.push_back((to20[2 * b] + to20[2 * b + 1]) / 2);
        } else if (c.to_mode == 2) {
            // Each band of 34 from the band of 20 it folds into (the mean of
            // the two for the bands that fold into two).
            for (int j = 0; j < 34; j++) {
                std::vector<int> into;
                for (int t = 0; t < 20; t++)
                    for (auto [band, w] : kFold34[t])
                        if (band == j)
                            into.push_back(t);
                base.push_back((to20[into.front()] + to20[into.back()]) / 2);
            }
        } else {
            base = to20;
        }
        PsFrameSpec second;
        second.iid_mode = c.to_mode;
        second.enable_icc = false;
        second.iid.values = {random_values(rng, bands_of_mode(c.to_mode), -7, 7)};
        second.iid.dt = {true};
        second.iid.base = base;
        ASSERT_EQ(parse_spec(ps, second), 0);
        expect_values(ps.frame.iid, second.iid, "iid");
    }
}

TEST(PsParse, UnknownExtensionsAndLongFillAreSkippedToTheCountedEnd)
{
    ps_state ps;
    ps_reset(&ps);
    PsFrameSpec s;
    s.enable_ext = true;
    s.iid.values = {std::vector<int>(20, 3)};
    s.iid.dt = {false};
    s.icc.values = {std::vector<int>(20, 2)};
    s.icc.dt = {false};
    s.extension_fill_bytes = 40;  // the count takes its escape
    ASSERT_EQ(parse_spec(ps, s), 0);

    // An extension of id 3, 5 bytes of anything, behind a header-less frame.
    BitWriter u;
    u.put("0 0 01");  // no header, frame class 0, one envelope
    for (int book : {kIidDefault, kIcc}) {
        u.put("0");   // frequency direction
        for (int b = 0; b < 20; b++)
            put_ps_code(u, book, 0);
    }
    u.put(5, 4).put(3, 2).put(0x3FFFFFFF, 30).put(0xFF, 8);
    const Parsed p = parse(ps, u, u.bit_count() + 3);
    ASSERT_EQ(p.status, 0);
    EXPECT_EQ(p.used, u.bit_count());
    EXPECT_EQ(ps.frame.iid[0][0], 0);
    EXPECT_EQ(ps.frame.icc[0][19], 0);
}

TEST(PsParse, InvalidPayloadsRaiseAndLeaveTheStateAsItWas)
{
    auto base_spec = [] {
        PsFrameSpec s;
        s.iid.values = {std::vector<int>(20, 1)};
        s.iid.dt = {false};
        s.icc.values = {std::vector<int>(20, 1)};
        s.icc.dt = {false};
        return s;
    };
    struct Case {
        const char *what;
        void (*change)(PsFrameSpec &s);
        int bits_short = 0;  // num_bits below what was written
    };
    const Case cases[] = {
        {"reserved iid mode", [](PsFrameSpec &s) { s.iid_mode = 6; }},
        {"reserved icc mode", [](PsFrameSpec &s) { s.icc_mode = 7; }},
        {"intensity past 7", [](PsFrameSpec &s) { s.iid.values[0][5] = 8; }},
        {"fine intensity past -15", [](PsFrameSpec &s) { s.iid_mode = 4; s.iid.values[0][19] = -16; }},
        {"coherence below 0", [](PsFrameSpec &s) { s.icc.values[0][0] = -1; }},
        {"borders not increasing",
         [](PsFrameSpec &s) {
             s.frame_class = 1;
             s.num_env_idx = 1;
             s.borders = {9, 9};
             s.iid.values.push_back(s.iid.values[0]);
             s.iid.dt.push_back(false);
             s.icc.values.push_back(s.icc.values[0]);
             s.icc.dt.push_back(false);
         }},
        {"one bit past num_bits", [](PsFrameSpec &) {}, 1},
        {"extension longer than the payload",
         [](PsFrameSpec &s) {
             s.enable_ext = true;
             s.extension_fill_bytes = 2;
         },
         8},
    };
    for (const Case &c : cases) {
        ps_state ps;
        ps_reset(&ps);
        // A valid frame first, so that the state holds something to keep.
        PsFrameSpec good = base_spec();
        good.iid.values[0].assign(20, -2);
        ASSERT_EQ(parse_spec(ps, good), 0);
        ps_state before;
        std::memcpy(&before, &ps, sizeof ps);
        PsFrameSpec damaged = base_spec();
        c.change(damaged);
        BitWriter w;
        const int bits = write_ps(w, damaged);
        EXPECT_EQ(parse(ps, w, bits - c.bits_short).status, AAC_ERR_CORRUPT_FRAME) << c.what;
        EXPECT_EQ(std::memcmp(&before, &ps, sizeof ps), 0) << c.what;
    }
}

// ps_read runs inside the SBR decoder, which raises nothing for a damaged
// payload: here no error frame is open, so a raise would abort the test.
TEST(PsRead, PayloadsAtAnyBitOfTheFrameAndDamageWithoutRaising)
{
    std::mt19937 rng(2718);
    PsFrameSpec s;
    s.enable_ext = true;
    s.ipdopd = true;
    s.num_env_idx = 2;
    for (int e = 0; e < 2; e++) {
        s.iid.values.push_back(random_values(rng, 20, -7, 7));
        s.icc.values.push_back(random_values(rng, 20, 0, 7));
        s.ipd.values.push_back(random_values(rng, 11, 0, 7));
        s.opd.values.push_back(random_values(rng, 11, 0, 7));
        for (PsParameter *p : {&s.iid, &s.icc, &s.ipd, &s.opd})
            p->dt.push_back(e == 1);
    }
    for (PsParameter *p : {&s.iid, &s.icc})
        p->base.assign(20, 0);
    for (PsParameter *p : {&s.ipd, &s.opd})
        p->base.assign(11, 0);
    for (int offset : {0, 5, 13, 64}) {
        BitWriter w;
        w.put(rng(), offset % 32).put(0, offset - offset % 32);
        const int bits = write_ps(w, s);
        w.put(rng(), 7);
        ps_state ps;
        ps_reset(&ps);
        ASSERT_TRUE(ps_read(&ps, w.bytes().data(), static_cast<int32_t>(w.bytes().size()), offset, bits));
        expect_values(ps.frame.iid, s.iid, "iid");
        expect_values(ps.frame.icc, s.icc, "icc");
        EXPECT_EQ(ps.frame.phase_bands, 11);
        EXPECT_EQ(ps.frame.opd[1][10], s.opd.values[1][10]);
        // Every shorter payload is refused; the frame ends with the payload.
        for (int cut = 0; cut < bits; cut++) {
            auto data = exact_copy(w.bytes(), static_cast<size_t>((offset + cut + 7) / 8));
            ps_state untouched;
            ps_reset(&untouched);
            EXPECT_FALSE(ps_read(&untouched, data.get(), (offset + cut + 7) / 8, offset, cut)) << cut;
            EXPECT_EQ(untouched.frame.present, 0);
        }
    }
    // Garbage of every length up to 600 bits, ending the frame.
    for (int trial = 0; trial < 3000; trial++) {
        std::vector<uint8_t> bytes(static_cast<size_t>(1 + rng() % 76));
        for (uint8_t &b : bytes)
            b = static_cast<uint8_t>(rng());
        const int32_t total = static_cast<int32_t>(8 * bytes.size());
        const int32_t start = static_cast<int32_t>(rng() % static_cast<uint32_t>(total));
        auto data = exact_copy(bytes, bytes.size());
        ps_state ps;
        ps_reset(&ps);
        ps_read(&ps, data.get(), static_cast<int32_t>(bytes.size()), start, total - start);
    }
    ps_state ps;
    ps_reset(&ps);
    const uint8_t byte = 0;
    EXPECT_FALSE(ps_read(&ps, &byte, 1, 4, 5));  // past the frame
}

TEST(PsParams, EnvelopesCoverTheFrameUpToItsLastSlot)
{
    struct Case {
        int var, num_env;
        std::vector<int> borders, end, coded;
    };
    const Case cases[] = {
        {0, 0, {}, {}, {}},
        {0, 1, {}, {31}, {0}},
        {0, 2, {}, {15, 31}, {0, 1}},
        {0, 4, {}, {7, 15, 23, 31}, {0, 1, 2, 3}},
        {1, 1, {31}, {31}, {0}},
        {1, 2, {3, 10}, {3, 10, 31}, {0, 1, 1}},
        {1, 3, {0, 1, 30}, {0, 1, 30, 31}, {0, 1, 2, 2}},
        {1, 4, {4, 8, 12, 16}, {4, 8, 12, 16, 31}, {0, 1, 2, 3, 3}},
    };
    for (const Case &c : cases) {
        ps_frame f{};
        f.var_borders = static_cast<uint8_t>(c.var);
        f.num_env = static_cast<uint8_t>(c.num_env);
        for (size_t e = 0; e < c.borders.size(); e++)
            f.border[e] = static_cast<uint8_t>(c.borders[e]);
        int end[PS_MAX_ENVELOPES], coded[PS_MAX_ENVELOPES];
        const int count = ps_envelopes(f, 32, end, coded);
        ASSERT_EQ(count, static_cast<int>(c.end.size())) << "class " << c.var << ", " << c.num_env;
        for (int j = 0; j < count; j++) {
            EXPECT_EQ(end[j], c.end[static_cast<size_t>(j)]);
            EXPECT_EQ(coded[j], c.coded[static_cast<size_t>(j)]);
        }
    }
}

}  // namespace
