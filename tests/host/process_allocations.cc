// Counts the process's own malloc calls, not only the library's hooks:
// after the first decode call, decoding every LC and HE test stream with
// damaged frames, concealment, host rejections and hook errors must allocate
// nothing at all.  A raise that took its object from the heap (a C++
// exception does) or any hidden per-frame buffer shows up here even where
// it bypasses the allocator hooks.
//
// The program replaces malloc and its family for the whole process (the C
// library keeps its own under the __libc_ names), so it is built only where
// no sanitizer replaces them first.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lumdec.h"
#include "decode_stream.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void *__libc_memalign(size_t, size_t);

namespace {

bool counting = false;
long allocations = 0;

void *counted(void *block)
{
    allocations += counting;
    return block;
}

}  // namespace

extern "C" void *malloc(size_t size) { return counted(__libc_malloc(size)); }
extern "C" void *calloc(size_t n, size_t size) { return counted(__libc_calloc(n, size)); }
extern "C" void *realloc(void *p, size_t size) { return counted(__libc_realloc(p, size)); }
extern "C" void *aligned_alloc(size_t alignment, size_t size)
{
    return counted(__libc_memalign(alignment, size));
}
extern "C" int posix_memalign(void **out, size_t alignment, size_t size)
{
    *out = counted(__libc_memalign(alignment, size));
    return *out ? 0 : 12;
}

namespace {

int frames_seen = 0;

aac_status AAC_CALL count_block(aac_decoder *, void **)
{
    // Every 50th block the host refuses: a raise from the hook.
    return ++frames_seen % 50 == 0 ? -7 : AAC_OK;
}

aac_status AAC_CALL reject_some(aac_decoder *dec, const aac_syn_elem *)
{
    // A host that rejects a frame after its own check (a CRC, say).
    return dec->bytes_used % 7 == 3 ? AAC_ERR_BAD_STREAM : AAC_OK;
}

// The frames of a stream as the decoder gets them, damaged and cut ones
// among them; built before counting starts.
std::vector<std::vector<uint8_t>> frames_of(const std::vector<uint8_t> &file)
{
    std::vector<std::vector<uint8_t>> out;
    for (const AdtsFrame &f : split_adts(file)) {
        std::vector<uint8_t> payload(file.begin() + f.payload_offset,
                                     file.begin() + f.payload_offset + f.payload_size);
        switch (out.size() % 5) {
        case 2:
            payload.resize(payload.size() / 3);  // runs out of data
            break;
        case 4:
            for (size_t i = 1; i < payload.size(); i += 3)
                payload[i] ^= 0xA5;  // garbage
            break;
        default:
            break;
        }
        out.push_back(std::move(payload));
    }
    return out;
}

// Decodes the file's frames, damaged as frames_of makes them, on a decoder
// whose pool and gains are set; counts every allocation after the first
// call.  Returns 1 when there was one or when no error was concealed.
int run(const std::string &name, aac_decoder *dec, const std::vector<uint8_t> &file)
{
    const std::vector<std::vector<uint8_t>> frames = frames_of(file);
    dec->output_hook = count_block;
    dec->syn_elem_hook = reject_some;
    long calls = 0;
    for (const std::vector<uint8_t> &payload : frames) {
        dec->input_data = payload.data();
        dec->input_size = static_cast<int32_t>(payload.size());
        dec->conceal_errors = calls % 11 != 10;  // now and then an error is returned
        counting = calls++ > 0;
        aac_dec_decode(dec);
        counting = false;
    }
    dec->input_size = 0;
    counting = true;
    aac_dec_decode(dec);
    counting = false;
    std::printf("%s: %ld calls, %d errors concealed, %ld allocations after the first call\n",
                name.c_str(), calls + 1, dec->error_count, allocations);
    const int failed = allocations != 0 || dec->error_count == 0;
    allocations = 0;
    return failed;
}

}  // namespace

int main()
{
    int failures = 0;
    std::vector<TestStream> streams = decodable_test_streams();
    streams.insert(streams.end(), he_test_streams().begin(), he_test_streams().end());
    for (const TestStream &stream : streams) {
        // The test streams' host creates the decoder and its pool; run()
        // replaces its hooks by ones that allocate nothing.
        StreamHost h(stream);
        if (h.create_status != AAC_OK) {
            std::printf("%s: cannot create the decoder\n", stream.name.c_str());
            return 1;
        }
        failures += run(stream.name, h.dec, h.file);
    }
    return failures == 0 ? 0 : 1;
}
