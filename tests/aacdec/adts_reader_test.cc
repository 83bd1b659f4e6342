// ADTS framing on streams built in the test: tags, damage between frames,
// cut and padded ends, and inputs that are not ADTS at all.
#include <gtest/gtest.h>

#include "adts_reader.h"
#include "byte_source.h"
#include "tool_runner.h"

using namespace aacdec;

TEST(AdtsReader, FindsEveryIntactFrameAndCountsTheDamage)
{
    const struct {
        const char *name;
        Bytes before, between, after;  // around frames; between goes after frame 3
        size_t cut;                    // bytes cut off the last frame
        int odd_rate_frame;            // a frame of another stream at this index, or -1
        size_t frames;
        uint64_t skipped_first, skipped_4, truncated, trailing;
    } cases[] = {
        {"clean", {}, {}, {}, 0, -1, 8, 0, 0, 0, 0},
        {"id3v2_tag", {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20}, {}, {}, 0, -1, 8, 0, 0, 0, 0},
        {"junk_before", Bytes(300, 0x55), {}, {}, 0, -1, 8, 300, 0, 0, 0},
        {"junk_between", {}, Bytes(100, 0xFF), {}, 0, -1, 8, 0, 100, 0, 0},
        {"cut_last_frame", {}, {}, {}, 5, -1, 7, 0, 0, 7 + 50 + 3 * 7 - 5, 0},
        {"id3v1_tag", {}, {}, Bytes{'T', 'A', 'G'}, 0, -1, 8, 0, 0, 0, 0},
        {"trailing_junk", {}, {}, Bytes(50, 0x12), 0, -1, 8, 0, 0, 0, 50},
        {"other_stream_frame", {}, {}, {}, 0, 4, 7, 0, 67, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream = c.before;
        if (c.before.size() == 10)
            stream.resize(30, 0);  // the tag's 20 bytes of content
        for (int i = 0, number = 0; i < 8; i++) {
            // Payloads of 50 + 3i bytes, each filled with its frame number.
            const Bytes f = i == c.odd_rate_frame ? adts_frame(Bytes(60, 0xEE), 0x50, 0x80)
                                                  : adts_frame(Bytes(50 + 3 * i, static_cast<uint8_t>(number++)), 0x4C, 0x80);
            stream.insert(stream.end(), f.begin(), f.end());
            if (i == 3)
                stream.insert(stream.end(), c.between.begin(), c.between.end());
        }
        stream.resize(stream.size() - c.cut);
        Bytes after = c.after;
        if (after.size() == 3)
            after.resize(128, ' ');
        stream.insert(stream.end(), after.begin(), after.end());

        MemoryStream in(stream);
        AdtsReader reader(in);
        std::vector<uint64_t> skipped;
        for (aacdec::AdtsFrame f; reader.next(f); skipped.push_back(f.skipped)) {
            EXPECT_EQ(f.bytes.size(), f.header.frame_length);
            EXPECT_EQ(f.bytes[7], static_cast<uint8_t>(skipped.size()));
        }
        EXPECT_EQ(skipped.size(), c.frames);
        ASSERT_GE(skipped.size(), 5u);
        EXPECT_EQ(skipped[0], c.skipped_first);
        EXPECT_EQ(skipped[4], c.skipped_4);
        EXPECT_EQ(reader.truncated_bytes(), c.truncated);
        EXPECT_EQ(reader.trailing_bytes(), c.trailing);
    }
}

TEST(AdtsReader, RefusesWhatIsNotAdts)
{
    const std::pair<Bytes, Failure> cases[] = {
        {{}, Failure::input},
        {Bytes(5000, 'a'), Failure::input},
        {{0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0, 0, 0}, Failure::unsupported},  // MP3 frame
    };
    for (const auto &[data, failure] : cases) {
        MemoryStream in(data);
        try {
            AdtsReader reader(in);
            ADD_FAILURE() << "accepted";
        } catch (const ToolError &e) {
            EXPECT_EQ(e.failure(), failure) << e.what();
        }
    }
}
