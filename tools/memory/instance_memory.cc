// Memory an instance holds after its first decode call, per layout: the
// instance record, the two frame workspaces, the window sets and the first
// output block, counted through the allocator hooks (each aligned block
// costs 16 bytes more than it asks for).  Printed as a Markdown table, once
// with one gain for all channels (one shared window set) and once with a
// different gain per channel.  A second table gives the same for HE-AAC
// decoders (aac_dec_create_he, implicit SBR and PS, 48 kHz output): the
// larger record, the SBR buffers and blocks of twice the samples.
//
//   instance_memory
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "decoder/layouts.h"
#include "lumdec.h"

namespace {

std::map<void *, size_t> live;

void *AAC_CALL count_malloc(uint32_t size)
{
    void *block = std::malloc(size);
    live[block] = size;
    return block;
}

void *AAC_CALL count_calloc(uint32_t count, uint32_t size)
{
    void *block = std::calloc(count, size);
    live[block] = size_t{count} * size;
    return block;
}

void *AAC_CALL no_realloc(void *, uint32_t) { return nullptr; }

void AAC_CALL count_free(void *block)
{
    live.erase(block);
    std::free(block);
}

// Bytes behind a block of the aligned allocation rule: the raw pointer sits
// in the word below the aligned address.
size_t aligned_bytes(void *aligned)
{
    if (!aligned)
        return 0;
    void *raw = static_cast<void **>(aligned)[-1];
    return live.count(raw) ? live[raw] : 0;
}

void *block_of(void *slot)
{
    return reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(slot) & ~uintptr_t{15});
}

struct Held {
    size_t record, workspaces, window_sets, output, total;
    int sets;
};

Held measure(int layout, bool distinct_gains)
{
    const int channels = aac_layouts[layout].num_channels;
    aac_dec_config config{};
    config.profile = 1;
    config.sampling_frequency_index = 3;
    config.channel_configuration = layout;
    aac_decoder *dec = nullptr;
    aac_frame_alloc *pool = nullptr;
    if (aac_dec_create(&dec, &config) != AAC_OK || aac_frame_alloc_create(&pool, channels) != AAC_OK) {
        std::fprintf(stderr, "layout %d: creation failed\n", layout);
        std::exit(1);
    }
    const size_t before_pool = live.count(pool) ? live[pool] : 0;
    for (int c = 0; c < 8; c++)
        dec->gain[c] = distinct_gains ? 1.0f + 0.125f * c : 1.0f;
    dec->pool = pool;
    dec->input_size = 0;  // the set-up runs on the first call, whatever its input
    if (aac_dec_decode(dec) != AAC_OK) {
        std::fprintf(stderr, "layout %d: first decode call failed\n", layout);
        std::exit(1);
    }
    Held h{};
    h.record = live.count(dec) ? live[dec] : 0;
    for (void *w : dec->work_alloc)
        h.workspaces += aligned_bytes(w);
    for (void *g : dec->gain_alloc) {
        h.window_sets += aligned_bytes(g);
        h.sets += g != nullptr;
    }
    h.output = aligned_bytes(block_of(dec->out_block));
    h.total = h.record + h.workspaces + h.window_sets + h.output;
    size_t all = 0;
    for (const auto &[block, size] : live)
        all += size;
    if (all != h.total + before_pool) {
        std::fprintf(stderr, "layout %d: %zu bytes live, %zu accounted for\n", layout, all,
                     h.total + before_pool);
        std::exit(1);
    }
    aac_dec_destroy(dec);
    pool->ops->destroy(pool);
    return h;
}

struct HeHeld {
    size_t record, output, total;
};

HeHeld measure_he(int layout)
{
    aac_he_config config{};
    config.core.profile = 1;
    config.core.sampling_frequency_index = 6;
    config.core.channel_configuration = layout;
    config.sbr_mode = AAC_SBR_IMPLICIT;
    config.ps_mode = AAC_PS_IMPLICIT;
    aac_decoder *dec = nullptr;
    aac_frame_alloc *pool = nullptr;
    aac_output_format format;
    if (aac_dec_create_he(&dec, &config) != AAC_OK || aac_dec_get_format(dec, &format) != AAC_OK ||
        aac_frame_alloc_create(&pool, format.block_bytes / 4096) != AAC_OK) {
        std::fprintf(stderr, "layout %d: HE creation failed\n", layout);
        std::exit(1);
    }
    const size_t before_pool = live.count(pool) ? live[pool] : 0;
    for (float &g : dec->gain)
        g = 1.0f;
    dec->pool = pool;
    dec->input_size = 0;
    if (aac_dec_decode(dec) != AAC_OK) {
        std::fprintf(stderr, "layout %d: first HE decode call failed\n", layout);
        std::exit(1);
    }
    HeHeld h{};
    h.record = live.count(dec) ? live[dec] : 0;
    h.output = aligned_bytes(block_of(dec->out_block));
    for (const auto &[block, size] : live)
        h.total += size;
    h.total -= before_pool;
    aac_dec_destroy(dec);
    pool->ops->destroy(pool);
    return h;
}

}  // namespace

int main()
{
    aac_malloc_func_table table = {count_malloc, count_calloc, no_realloc, count_free};
    aac_set_malloc_func_table(&table);
    std::printf("| layout | channels | instance record | two workspaces | window sets "
                "(one gain) | output block | total | total with a gain per channel (window sets) |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (int layout = 1; layout <= 10; layout++) {
        const Held same = measure(layout, false);
        const Held distinct = measure(layout, true);
        std::printf("| %d | %d | %zu | %zu | %zu | %zu | %zu | %zu (%d) |\n", layout,
                    aac_layouts[layout].num_channels, same.record, same.workspaces,
                    same.window_sets, same.output, same.total, distinct.total, distinct.sets);
    }
    std::printf("\n| layout | core channels | HE record | output block | total (SBR buffers included) |\n");
    std::printf("|---:|---:|---:|---:|---:|\n");
    for (int layout = 1; layout <= 10; layout++) {
        const HeHeld he = measure_he(layout);
        std::printf("| %d | %d | %zu | %zu | %zu |\n", layout, aac_layouts[layout].num_channels,
                    he.record, he.output, he.total);
    }
    aac_set_malloc_func_table(nullptr);
    return 0;
}
