// The file interface on arbitrary bytes: container recognition, ADTS
// framing with resynchronisation, MP4 boxes, sample tables, fragments and
// edit lists, the AudioSpecificConfig; then, for a track the decoder takes,
// its presented samples.  Every failure must come back as a status with a
// message; anything else (a crash, a read past a buffer, an error frame
// left open, a count past the request) is a finding.
//
// Input: one byte (bits 0-1: the track, 0 for the first; bit 2: planar
// reads; bit 3: scan first; bit 7: the rest is an AudioSpecificConfig for
// aac_dec_create_asc rather than a file), then the bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "frame/error.h"
#include "fuzz_input.h"
#include "lumdec.h"

using namespace lumdec;

namespace {

// Samples per channel read at most: a few bytes of edit list may present
// a minute of silence.
constexpr int32_t kMaxSamples = 200 * 2048;

// Reads every byte of a string the interface hands out.
size_t touch(const char *s)
{
    FUZZ_CHECK(s != nullptr);
    return std::strlen(s);
}

void read_file(const std::vector<uint8_t> &bytes, uint8_t mode)
{
    aac_file *f = nullptr;
    FUZZ_CHECK(aac_file_create(&f, nullptr) == AAC_OK);
    aac_status status = aac_file_open_memory(f, bytes.data(), static_cast<int64_t>(bytes.size()), mode & 3);
    (void)touch(aac_file_error(f));
    if (status == AAC_OK && (mode & 8))
        status = aac_file_scan(f);
    aac_file_info info{};
    if (status == AAC_OK) {
        FUZZ_CHECK(aac_file_get_info(f, &info) == AAC_OK);
        for (const char *s : {info.container_name, info.codec_name, info.layout_name, info.speakers,
                              info.unsupported, info.title, info.artist, info.album, info.encoder})
            (void)touch(s);
        aac_file_track track{};
        for (int32_t i = 1; aac_file_get_track(f, i, &track) == AAC_OK; i++)
            (void)touch(track.codec_name);
        const char *name, *value;
        for (int32_t i = 0; aac_file_get_tag(f, i, &name, &value) == AAC_OK; i++)
            (void)(touch(name) + touch(value));
    }
    if (status == AAC_OK && info.decodable) {
        FUZZ_CHECK(info.channels >= 1 && info.channels <= 8);
        const int32_t block = 1500;  // cuts across the decoder's blocks
        std::vector<float> buffer(static_cast<size_t>(block * info.channels));
        int32_t total = 0;
        for (int32_t n = 1; n > 0 && total < kMaxSamples; total += n) {
            n = aac_file_read(f, buffer.data(), block, mode & 4 ? AAC_READ_PLANAR : 0);
            FUZZ_CHECK(n <= block);
            if (n < 0)
                (void)touch(aac_file_error(f));
            n = n < 0 ? 0 : n;
        }
        FUZZ_CHECK(info.length < 0 || total >= kMaxSamples || total <= info.length);
    }
    for (int32_t i = 0; const char *w = aac_file_warning(f, i); i++)
        (void)touch(w);
    aac_file_close(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    size_t n = 0;
    const uint8_t *rest = in.take(in.remaining(), &n);
    std::vector<uint8_t> bytes(rest, rest + n);
    if (mode & 0x80) {
        aac_decoder *dec = nullptr;
        aac_status status = aac_dec_create_asc(&dec, bytes.data(), static_cast<int32_t>(bytes.size()), 0);
        FUZZ_CHECK(status == AAC_OK || status == AAC_ERR_CORRUPT_FRAME || status == AAC_ERR_BAD_STREAM ||
                   status == AAC_ERR_NO_MEMORY);
        aac_dec_destroy(dec);
    } else {
        read_file(bytes, mode);
    }
    FUZZ_CHECK(aac_innermost_frame() == nullptr);
    return 0;
}
