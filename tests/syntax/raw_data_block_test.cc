// The frame parser on hand-built frames: binding by order and by tag, the
// element counts at END, skipped elements, the element limit, bytes_used
// and the element list handed to syn_elem_hook.
#include "syntax/raw_data_block.h"

#include <gtest/gtest.h>

#include "bit_writer.h"
#include "frame/error.h"
#include "hand_decoder.h"

using namespace lumdec;

namespace {

// A single or LFE element of one silent long window.
void put_sce(BitWriter &w, uint32_t tag, uint32_t global_gain, uint32_t max_sfb = 0, uint32_t id = AAC_ID_SCE)
{
    put_silent_ics(w.put(id, 3).put(tag, 4), global_gain, max_sfb);
}
void put_lfe(BitWriter &w, uint32_t tag, uint32_t global_gain) { put_sce(w, tag, global_gain, 2, AAC_ID_LFE); }

// A pair without common window; returns where its second channel starts.
int32_t put_cpe(BitWriter &w, uint32_t tag, uint32_t global_gain)
{
    put_silent_ics(w.put(AAC_ID_CPE, 3).put(tag, 4).put(0, 1), global_gain, 7);
    const int32_t second = w.bit_count();
    put_silent_ics(w, global_gain + 1, 3);
    return second;
}

void put_fil(BitWriter &w, const std::vector<uint8_t> &payload)
{
    w.put(AAC_ID_FIL, 3);
    if (payload.size() < 15)
        w.put(static_cast<uint32_t>(payload.size()), 4);
    else
        w.put(15, 4).put(static_cast<uint32_t>(payload.size() - 14), 8);
    for (uint8_t b : payload)
        w.put(b, 8);
}

void put_dse(BitWriter &w, bool aligned, size_t count)
{
    w.put(AAC_ID_DSE, 3).put(0x9, 4).put(aligned, 1);
    w.put(static_cast<uint32_t>(std::min<size_t>(count, 255)), 8);
    if (count >= 255)
        w.put(static_cast<uint32_t>(count - 255), 8);
    if (aligned)
        w.align();
    for (size_t i = 0; i < count; i++)
        w.put(static_cast<uint32_t>(0xA5 ^ i), 8);
}

// A program_config_element with entries in every list, all three mixdowns
// and a comment.  Its fields before the byte alignment take 114 bits.
void put_pce(BitWriter &w)
{
    w.put(AAC_ID_PCE, 3).put("0011 01 0011");
    w.put("0100 0001 0011 01 011 0010");  // front 4, side 1, back 3, lfe 1, assoc 3, cc 2
    w.put("1 0111 1 1000 1 11 1");
    w.put("11111 10000 00001 11110  01111  10101 10101 10101  1111  1010 1010 1010  11111 00001");
    w.align();
    w.put(5, 8).put("01101000 01100101 01101100 01101100 01101111");
}
int32_t put_end(BitWriter &w)
{
    const int32_t position = w.bit_count();
    w.put(AAC_ID_END, 3);
    return position;
}
int32_t bytes_up_to(const BitWriter &w) { return (w.bit_count() + 7) / 8; }

TEST(RawDataBlock, MonoFramesNeedExactlyOneSingleChannelElement)
{
    HandDecoder mono("S");
    BitWriter w;
    put_sce(w, 0, 123, 10);
    put_end(w);
    ASSERT_EQ(mono.parse(w.bytes()), AAC_OK);
    EXPECT_EQ(mono.get()->bytes_used, bytes_up_to(w));
    EXPECT_EQ(mono.single(0).global_gain, 123u);
    EXPECT_EQ(mono.single(0).ics_start_bit, 7u);
    EXPECT_EQ(mono.single(0).sections[0], 10u);

    // A second element fails before END (bytes_used not written), END alone
    // at END (after bytes_used); a coupling channel element is refused.
    BitWriter two, end, cce;
    put_sce(two, 0, 50);
    put_sce(two, 1, 60);
    put_end(two);
    put_end(end);
    put_sce(cce, 0, 50);
    cce.put(AAC_ID_CCE, 3).put(0, 4);  // read past as an empty fill element, a valid frame
    put_end(cce);
    for (auto [bits, used] : {std::pair{&two, -1}, std::pair{&end, 1}, std::pair{&cce, -1}}) {
        EXPECT_EQ(mono.parse(bits->bytes()), AAC_ERR_CORRUPT_FRAME);
        EXPECT_EQ(mono.get()->bytes_used, used);
    }
}

TEST(RawDataBlock, ElementsBindInOrderAndEveryKindIsCounted)
{
    // 5.1: S, P, P, L.  Tags are ignored when binding by order.
    HandDecoder surround("SPPL");
    BitWriter w;
    put_cpe(w, 7, 20);
    put_lfe(w, 7, 40);
    put_sce(w, 7, 10);
    put_cpe(w, 7, 30);
    put_end(w);
    ASSERT_EQ(surround.parse(w.bytes()), AAC_OK);
    EXPECT_EQ(surround.single(0).global_gain, 10u);
    EXPECT_EQ(surround.pair(1).channel[0].global_gain, 20u);
    EXPECT_EQ(surround.pair(1).channel[1].global_gain, 21u);
    EXPECT_EQ(surround.pair(2).channel[0].global_gain, 30u);
    EXPECT_EQ(surround.single(3).global_gain, 40u);

    // One of each kind missing.
    for (int drop = 0; drop < 4; drop++) {
        BitWriter m;
        if (drop != 0)
            put_sce(m, 0, 10);
        for (int p = 1; p <= 2; p++)
            if (drop != p)
                put_cpe(m, 0, 20);
        if (drop != 3)
            put_lfe(m, 0, 40);
        put_end(m);
        EXPECT_EQ(surround.parse(m.bytes()), AAC_ERR_CORRUPT_FRAME) << drop;
        EXPECT_EQ(surround.get()->bytes_used, bytes_up_to(m));
    }
}

TEST(RawDataBlock, ElementsBindByTagWhenTheMapSaysSo)
{
    // Two singles at tags 5 and 9 and a pair at tag 2.
    HandDecoder tagged("SSP", {5, 9, 2});
    BitWriter w;
    put_sce(w, 9, 19);
    put_cpe(w, 2, 22);
    put_sce(w, 5, 15);
    put_end(w);
    ASSERT_EQ(tagged.parse(w.bytes()), AAC_OK);
    EXPECT_EQ(tagged.single(0).global_gain, 15u);
    EXPECT_EQ(tagged.single(1).global_gain, 19u);
    EXPECT_EQ(tagged.pair(2).channel[0].global_gain, 22u);

    // A tag not in the map, a tag twice, an LFE tag with no LFE configured.
    for (auto [first, second] : {std::pair{5u, 3u}, std::pair{9u, 9u}}) {
        BitWriter bad;
        put_sce(bad, first, 1);
        put_sce(bad, second, 2);
        put_cpe(bad, 2, 3);
        put_end(bad);
        EXPECT_EQ(tagged.parse(bad.bytes()), AAC_ERR_CORRUPT_FRAME) << second;
        EXPECT_EQ(tagged.get()->bytes_used, -1);
    }
    BitWriter lfe;
    put_lfe(lfe, 5, 1);
    EXPECT_EQ(tagged.parse(lfe.bytes()), AAC_ERR_CORRUPT_FRAME);
}

TEST(RawDataBlock, DataFillAndConfigElementsAreSkippedWhole)
{
    HandDecoder stereo("P");
    // Longest counts: 255 + 255 data bytes, 15 + 255 - 1 fill bytes.
    std::vector<uint8_t> sbr(269, 0xEE);
    sbr[0] = 0xD0;  // extension_type 13
    BitWriter w;
    put_fil(w, {});  // so that the aligned data stream needs its alignment
    put_dse(w, true, 510);
    put_fil(w, {});
    // Config elements whose fields end one bit past and exactly on a byte
    // boundary: a bit too few shows after the first one's alignment, a bit
    // too many after the second one's.
    ASSERT_EQ((w.bit_count() + 114) % 8, 1);
    put_pce(w);
    put_fil(w, {});
    put_fil(w, {});
    ASSERT_EQ((w.bit_count() + 114) % 8, 0);
    put_pce(w);
    put_cpe(w, 0, 77);
    put_fil(w, sbr);
    put_dse(w, false, 254);
    put_fil(w, {0x10, 0xFF});
    put_end(w);
    const int32_t used = bytes_up_to(w);
    std::vector<uint8_t> bytes = w.bytes();
    bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF});  // not part of the block
    ASSERT_EQ(stereo.parse(bytes), AAC_OK);
    EXPECT_EQ(stereo.get()->bytes_used, used);
    EXPECT_EQ(stereo.pair(0).channel[1].global_gain, 78u);
}

TEST(RawDataBlock, SixtyThreeElementsMayPrecedeEnd)
{
    HandDecoder mono("S");
    for (int fills : {62, 63}) {
        BitWriter w;
        put_sce(w, 0, 1);
        for (int i = 0; i < fills; i++)
            put_fil(w, {});
        put_end(w);
        EXPECT_EQ(mono.parse(w.bytes()), fills == 62 ? AAC_OK : AAC_ERR_BAD_STREAM) << fills;
    }
}

TEST(RawDataBlock, TheHookGetsEveryElementsPositionAndMayRejectTheFrame)
{
    HandDecoder dec("SP");
    dec.capture_lists();
    BitWriter w;
    std::vector<aac_syn_elem> expected;
    expected.insert(expected.end(), {AAC_ID_DSE, w.bit_count()});
    put_dse(w, true, 3);
    expected.insert(expected.end(), {AAC_ID_SCE, w.bit_count()});
    put_sce(w, 0, 5, 4);
    expected.insert(expected.end(), {AAC_ID_FIL, w.bit_count()});
    put_fil(w, {0x00, 0x01});
    expected.insert(expected.end(), {AAC_ID_CPE, w.bit_count()});
    expected.push_back(put_cpe(w, 0, 9));
    expected.insert(expected.end(), {AAC_ID_PCE, w.bit_count()});
    put_pce(w);
    expected.insert(expected.end(), {AAC_ID_END, put_end(w)});

    ASSERT_EQ(dec.parse(w.bytes()), AAC_OK);
    ASSERT_EQ(dec.lists.size(), 1u);
    EXPECT_EQ(dec.lists[0], expected);
    EXPECT_EQ(dec.pair(1).channel[1].ics_start_bit, static_cast<uint32_t>(expected[8]));

    dec.hook_result = 7;  // positive: no failure
    EXPECT_EQ(dec.parse(w.bytes()), AAC_OK);
    dec.hook_result = -5;
    EXPECT_EQ(dec.parse(w.bytes()), -5);
    EXPECT_EQ(dec.get()->bytes_used, bytes_up_to(w));

    // Not called for a frame that fails its element counts.
    BitWriter missing;
    put_sce(missing, 0, 5);
    put_end(missing);
    EXPECT_EQ(dec.parse(missing.bytes()), AAC_ERR_CORRUPT_FRAME);
    EXPECT_EQ(dec.lists.size(), 3u);
}

}  // namespace
