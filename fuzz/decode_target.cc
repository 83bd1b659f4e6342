// Whole streams of arbitrary frames through aac_dec_decode, on a decoder
// configured by the first input bytes, with a host that misbehaves as the
// interface allows: hooks that fail or swap blocks, gains of any value,
// concealment switched between calls, end-of-stream calls in the middle,
// allocation failures.  Every call is checked against the documented frame
// driver (stream_model.h) and every block against what its state promises.
//
// Input: an 11-byte header (below), an optional program_config_element (or
// AudioSpecificConfig) of up to 255 bytes, then frames, each a 2-byte
// little-endian size and its bytes; size 0 is an end-of-stream call.
//
// With the HE bit the decoder is made by aac_dec_create_he (SBR and PS
// modes from the header) or aac_dec_create_asc, and blocks have the size
// and layout its output format gives.
#include <cmath>
#include <cstring>
#include <vector>

#include "counting_allocator.h"
#include "decoder/layouts.h"
#include "frame/error.h"
#include "fuzz_input.h"
#include "kernels/kernel_tables.h"
#include "observing_host.h"
#include "frame_checks.h"

namespace {

constexpr int kMaxCalls = 96;

// A float pattern that no arithmetic produces: a NaN with a payload.
constexpr uint32_t kSentinel = 0x7FC0DEADu;

struct Header {
    uint8_t layout;      // low 4 bits: layout 1 + n % 10; bit 4: configure by element
    uint8_t sfi;         // % 12; for an element, bits 5..7 + 8 * bit 4 give the bit offset
    uint8_t options;     // see the bits below
    uint8_t fail_at;     // allocation to fail, 0 for none
    uint32_t seed;       // host decisions and gains
    uint8_t misbehave;   // low 3 bits: hook failure rate in eighths; next 3: swap rate
    uint8_t gains;       // 0: all 1.0; else chosen per channel, bit 7 allows non-finite
    uint8_t tables;      // bit 0: generic kernel tables; bit 1: HE decoder, bits 2-3 its
                         // SBR mode, bits 4-5 its PS mode; bit 6: from the element as an
                         // AudioSpecificConfig (bit 7: implicit signalling allowed)
};

enum : uint8_t {
    kConceal = 1,          // conceal_errors > 0
    kOutputHook = 2,
    kSynElemHook = 4,
    kPool = 8,
    kToggleConceal = 16,   // conceal_errors drawn per call
    kToggleHooks = 32,     // hooks installed per call
};

float choose_gain(FuzzRandom &rng, bool wild)
{
    static const float tame[] = {1.0f, 0.0f, -0.0f, 0.5f, -1.0f, 0x1p-24f, 3.0f, 1000.0f, 65536.0f};
    static const float extreme[] = {NAN, INFINITY, -INFINITY, 1e30f, 1e-40f};
    uint32_t r = rng.next();
    if (wild && (r & 0x70) == 0)
        return extreme[(r >> 8) % 5];
    return tame[(r >> 8) % 9];
}

bool tame_gain(float g) { return std::isfinite(g) && std::fabs(g) <= 65536.0f; }

// Host decisions that make hooks fail: the library's own statuses (some of
// which concealment catches) and others.
aac_status failing_status(FuzzRandom &rng)
{
    static const aac_status statuses[] = {AAC_ERR_CORRUPT_FRAME, AAC_ERR_BAD_STREAM,
                                          AAC_ERR_NO_MEMORY, -5, INT32_MIN, -1};
    return statuses[rng.next() % 6];
}

struct Fuzzer {
    aac_decoder *dec = nullptr;
    aac_frame_alloc *pool = nullptr;
    int channels = 0;
    int block_floats = 0;  // floats of an output block
    bool he = false;
    FuzzRandom rng{0};
    uint32_t fail_rate = 0, swap_rate = 0;
    bool tame_gains = true;
    std::vector<void *> filled;  // blocks whose samples hold the sentinel
    const uint8_t *frame = nullptr;
    int32_t frame_size = 0;

    bool was_filled(void *block) const
    {
        for (void *b : filled)
            if (b == block)
                return true;
        return false;
    }

    void fill(void *block)
    {
        auto *words = static_cast<uint32_t *>(block);
        for (int i = 0; i < block_floats; i++)
            words[i] = kSentinel;
        if (!was_filled(block))
            filled.push_back(block);
    }

    void check_block(unsigned state, const float *block)
    {
        if (!was_filled(const_cast<float *>(block)))
            return;
        const uint32_t *words = reinterpret_cast<const uint32_t *>(block);
        // Both workspaces hold parsed frames only when the block is valid.
        // SBR may amplify a core near the float range by up to 1e5: only
        // the LC path promises finite output of finite frames.
        const bool finite_expected =
            state == AAC_SLOT_VALID && tame_gains && !he &&
            !frames_may_overflow(*dec, aac_layouts[dec->channel_configuration]);
        aac_output_format format;
        FUZZ_CHECK(aac_dec_get_format(dec, &format) == AAC_OK);
        FUZZ_CHECK(format.channels * format.samples_per_block <= block_floats);
        if (state == AAC_SLOT_VALID)
            FUZZ_CHECK(format.fixed == 1);
        const int n = format.samples_per_block;
        for (int c = 0; c < format.channels; c++) {
            const bool off = dec->gain[c] == 0.0f;
            for (int i = 0; i < n; i++) {
                const uint32_t word = words[n * c + i];
                const float x = block[n * c + i];
                if (state != AAC_SLOT_VALID) {
                    FUZZ_CHECK(word == kSentinel);  // nothing written for a lost or empty block
                    continue;
                }
                FUZZ_CHECK(word != kSentinel);
                if (off)
                    FUZZ_CHECK(word == 0);
                if (finite_expected)
                    FUZZ_CHECK(std::isfinite(x));
            }
        }
    }

    aac_status on_block(void **slot)
    {
        uintptr_t word = reinterpret_cast<uintptr_t>(*slot);
        auto *block = reinterpret_cast<float *>(word & ~uintptr_t{AAC_SLOT_STATE_MASK});
        unsigned state = word & AAC_SLOT_STATE_MASK;
        FUZZ_CHECK(state == AAC_SLOT_VALID || state == AAC_SLOT_LOST || state == AAC_SLOT_EMPTY);
        FUZZ_CHECK(word % 16 == state);
        if (block != nullptr) {
            check_block(state, block);
            fill(block);
        }
        if (rng.eighths(swap_rate)) {
            // The host keeps this block and hands over another; the low bits
            // of what it stores are ignored.
            void *other = nullptr;
            if (pool != nullptr) {
                aac_status got = pool->ops->get(pool, &other);
                if (got < 0)
                    return got;
                pool->ops->put(pool, block);
                fill(other);  // the pool's link word overwrote a sample
            } else if (block == nullptr) {
                other = std::aligned_alloc(16, 4 * static_cast<size_t>(block_floats));
                owned.push_back(other);
            } else {
                other = owned[rng.next() % owned.size()];
            }
            *slot = static_cast<char *>(other) + (rng.next() & 15);
        }
        if (rng.eighths(fail_rate))
            return failing_status(rng);
        return static_cast<aac_status>(rng.next() & 3);  // zero or positive: go on
    }

    aac_status on_elements(const aac_syn_elem *list)
    {
        check_element_list(list, *dec, frame_size);
        // A host checks the CRC only over bytes it holds.
        if (dec->bytes_used <= frame_size)
            (void)aac_calc_crc_syn_elems(0xFFFF, list, frame);
        if (rng.eighths(fail_rate))
            return failing_status(rng);
        return static_cast<aac_status>(rng.next() & 1);
    }

    std::vector<void *> owned;  // blocks of a host without a pool
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    Header h;
    h.layout = in.byte();
    h.sfi = in.byte();
    h.options = in.byte();
    h.fail_at = in.byte();
    h.seed = in.u32();
    h.misbehave = in.byte();
    h.gains = in.byte();
    h.tables = in.byte();

    std::vector<uint8_t> element;
    if (h.layout & 16) {
        size_t n;
        const uint8_t *bytes = in.take(in.byte(), &n);
        element.assign(bytes, bytes + n);
    }

    CountingAllocator hooks;
    hooks.fail_at(h.fail_at & 15);
    aac_force_kernel_tables(!(h.tables & 1));

    Fuzzer f;
    f.rng = FuzzRandom(h.seed);
    f.fail_rate = h.misbehave & 7;
    f.swap_rate = (h.misbehave >> 3) & 7;

    aac_dec_config config{};
    config.profile = 1;
    config.sampling_frequency_index = h.sfi % 12;
    config.channel_configuration = 1 + (h.layout & 15) % 10;
    // The element's exact-size copy lives until creation is over.
    std::vector<uint8_t> element_copy(element);
    if (!element.empty()) {
        config.input_data = element_copy.data();
        config.input_size = static_cast<int32_t>(element_copy.size());
        config.bit_offset = (h.sfi >> 5) + 8 * ((h.sfi >> 4) & 1);
    }
    aac_decoder *dec = nullptr;
    aac_status created;
    f.he = h.tables & 2;
    if (f.he && (h.tables & 64)) {
        created = aac_dec_create_asc(&dec, element_copy.data(), static_cast<int32_t>(element_copy.size()),
                                     h.tables & 128 ? AAC_ASC_IMPLICIT : 0);
    } else if (f.he) {
        aac_he_config he{};
        he.core = config;
        he.sbr_mode = (h.tables >> 2) & 3;
        he.ps_mode = ((h.tables >> 4) & 3) % 3;
        created = aac_dec_create_he(&dec, &he);
    } else {
        created = aac_dec_create(&dec, &config);
    }
    if (created != AAC_OK) {
        aac_force_kernel_tables(true);
        FUZZ_CHECK(hooks.outstanding() == 0);
        return 0;
    }
    f.dec = dec;
    aac_output_format format;
    FUZZ_CHECK(aac_dec_get_format(dec, &format) == AAC_OK);
    f.channels = format.channels;
    f.block_floats = format.block_bytes / 4;
    FUZZ_CHECK(format.block_bytes % 4096 == 0 && format.channels >= 1 && format.channels <= 8);
    for (int c = 0; c < 8; c++) {
        dec->gain[c] = h.gains == 0 ? 1.0f : choose_gain(f.rng, h.gains & 0x80);
        if (c < f.channels)
            f.tame_gains = f.tame_gains && tame_gain(dec->gain[c]);
    }
    if ((h.options & kPool) && aac_frame_alloc_create(&f.pool, format.block_bytes / 4096) == AAC_OK)
        dec->pool = f.pool;

    ObservingHost host(dec);
    host.on_block = [&f](void **slot) { return f.on_block(slot); };
    host.on_elements = [&f](const aac_syn_elem *list) { return f.on_elements(list); };
    StreamModel model;
    for (int calls = 0; calls < kMaxCalls && in.remaining() > 0; calls++) {
        size_t n = 0;
        const uint8_t *bytes = in.take(in.u16(), &n);
        // Exact-size copy, so that any read past the frame is caught.
        std::vector<uint8_t> copy(bytes, bytes + n);
        dec->conceal_errors = h.options & kConceal ? 1 : 0;
        if (h.options & kToggleConceal)
            dec->conceal_errors = static_cast<int32_t>(f.rng.next() % 3) - 1;
        host.output_hook = h.options & kOutputHook;
        host.syn_elem_hook = h.options & kSynElemHook;
        if (h.options & kToggleHooks) {
            host.output_hook = f.rng.next() & 1;
            host.syn_elem_hook = f.rng.next() & 1;
        }
        f.frame = copy.data();
        f.frame_size = static_cast<int32_t>(n);
        ObservedCall call = host.decode(n ? copy.data() : nullptr, static_cast<int32_t>(n));
        FUZZ_CHECK(aac_innermost_frame() == nullptr);
        FUZZ_CHECK(model.step(call));
        if (call.syn_hook_called)
            FUZZ_CHECK(dec->bytes_used >= 1 && dec->bytes_used <= f.frame_size + 8);
    }

    aac_dec_destroy(dec);
    if (f.pool != nullptr)
        f.pool->ops->destroy(f.pool);
    for (void *block : f.owned)
        std::free(block);
    aac_force_kernel_tables(true);
    FUZZ_CHECK(hooks.outstanding() == 0);
    FUZZ_CHECK(hooks.bad_frees == 0);
    return 0;
}
