// ADTS framing on streams built in the test: tags, damage between frames,
// cut and padded ends, and inputs that are not ADTS at all.
#include <gtest/gtest.h>

#include "adts_reader.h"
#include "byte_source.h"
#include "mp4_builder.h"

using namespace aacdec;

namespace {

Bytes adts_frame(size_t payload, uint8_t fill, int sampling_frequency_index = 3)
{
    size_t length = payload + 7;
    Bytes f = {0xFF, 0xF1,
               static_cast<uint8_t>((1 << 6) | (sampling_frequency_index << 2)),
               static_cast<uint8_t>((2 << 6) | (length >> 11)),
               static_cast<uint8_t>(length >> 3),
               static_cast<uint8_t>(((length & 7) << 5) | 0x1F), 0xFC};
    f.resize(length, fill);
    return f;
}

struct Result {
    size_t frames = 0;
    std::vector<uint64_t> skipped;  // per frame
    uint64_t truncated = 0, trailing = 0;
};

Result frame_all(const Bytes &stream)
{
    MemoryStream in(stream);
    AdtsReader reader(in);
    Result r;
    AdtsFrame f;
    while (reader.next(f)) {
        EXPECT_EQ(f.bytes.size(), f.header.frame_length);
        EXPECT_EQ(f.bytes[7], static_cast<uint8_t>(r.frames)) << "frame " << r.frames;
        r.frames++;
        r.skipped.push_back(f.skipped);
    }
    r.truncated = reader.truncated_bytes();
    r.trailing = reader.trailing_bytes();
    return r;
}

}  // namespace

TEST(AdtsReader, FindsEveryIntactFrameAndCountsTheDamage)
{
    struct Case {
        const char *name;
        Bytes before, between, after;  // around frames; between goes after frame 3
        size_t cut;                    // bytes cut off the last frame
        int odd_rate_frame;            // a frame of another stream at this index, or -1
        size_t frames;
        uint64_t skipped_first, skipped_after_3, truncated, trailing;
    } cases[] = {
        {"clean", {}, {}, {}, 0, -1, 8, 0, 0, 0, 0},
        {"id3v2_tag", {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20}, {}, {}, 0, -1, 8, 0, 0, 0, 0},
        {"junk_before", Bytes(300, 0x55), {}, {}, 0, -1, 8, 300, 0, 0, 0},
        {"junk_between", {}, Bytes(100, 0xFF), {}, 0, -1, 8, 0, 100, 0, 0},
        {"cut_last_frame", {}, {}, {}, 5, -1, 7, 0, 0, 7 + 50 + 3 * 7 - 5, 0},
        {"id3v1_tag", {}, {}, Bytes{'T', 'A', 'G'}, 0, -1, 8, 0, 0, 0, 0},
        {"trailing_junk", {}, {}, Bytes(50, 0x12), 0, -1, 8, 0, 0, 0, 50},
        {"other_stream_frame", {}, {}, {}, 0, 4, 7, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream = c.before;
        if (c.before.size() == 10)
            stream.resize(30, 0);  // the tag's 20 bytes of content
        size_t frame = 0;
        for (int i = 0; i < 8; i++) {
            Bytes f = i == c.odd_rate_frame ? adts_frame(60, 0xEE, 4)
                                            : adts_frame(50 + 3 * i, static_cast<uint8_t>(frame++));
            stream.insert(stream.end(), f.begin(), f.end());
            if (i == 3)
                stream.insert(stream.end(), c.between.begin(), c.between.end());
        }
        stream.resize(stream.size() - c.cut);
        Bytes after = c.after;
        if (after.size() == 3)
            after.resize(128, ' ');
        stream.insert(stream.end(), after.begin(), after.end());

        Result r = frame_all(stream);
        EXPECT_EQ(r.frames, c.frames);
        ASSERT_GE(r.skipped.size(), 5u);
        EXPECT_EQ(r.skipped[0], c.skipped_first);
        EXPECT_EQ(r.skipped[4], c.odd_rate_frame == 4 ? 67u : c.skipped_after_3);
        EXPECT_EQ(r.truncated, c.truncated);
        EXPECT_EQ(r.trailing, c.trailing);
    }
}

TEST(AdtsReader, RefusesWhatIsNotAdts)
{
    struct Case {
        Bytes data;
        Failure failure;
    } cases[] = {
        {{}, Failure::input},
        {Bytes(5000, 'a'), Failure::input},
        {{0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0, 0, 0}, Failure::unsupported},  // MP3 frame
    };
    for (const Case &c : cases) {
        MemoryStream in(c.data);
        try {
            AdtsReader reader(in);
            ADD_FAILURE() << "accepted";
        } catch (const ToolError &e) {
            EXPECT_EQ(e.failure(), c.failure) << e.what();
        }
    }
}
