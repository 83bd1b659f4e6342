// aac_dec_create from arbitrary configuration values and program_config_
// element bytes at any bit offset, then aac_dec_destroy.  Checks the
// status, the untouched out-parameter on failure, the error-frame slot,
// the element map of every instance created, and that nothing leaks.
// Mode bit 3 makes the decoder with aac_dec_create_asc from the element
// bytes (bit 4: implicit signalling allowed), bit 5 with aac_dec_create_he
// (SBR and PS modes from the stream_flag byte, which is then 0); both check
// the output format the new decoder reports.
#include <cstdint>
#include <set>

#include "counting_allocator.h"
#include "decoder/layouts.h"
#include "frame/error.h"
#include "fuzz_input.h"
#include "lumdec.h"

namespace {

aac_decoder *const kUntouched = reinterpret_cast<aac_decoder *>(uintptr_t{0x5A5A5A50});

// The configuration values of a creation without an element decide its
// status alone.
aac_status expected_without_element(const aac_dec_config &c)
{
    bool ok = (c.stream_flag == 0 || c.stream_flag == 1) && c.profile == 1 &&
              c.sampling_frequency_index >= 0 && c.sampling_frequency_index <= 11 &&
              c.channel_configuration >= 1 && c.channel_configuration <= 10;
    return ok ? AAC_OK : AAC_ERR_BAD_STREAM;
}

// Every configured element record lies inside one frame workspace, no two
// overlap, and each kind has as many entries as the frame must contain.
void check_element_map(const aac_decoder &dec)
{
    FUZZ_CHECK(dec.channel_configuration >= 1 && dec.channel_configuration <= 10);
    FUZZ_CHECK(dec.profile == 1);
    FUZZ_CHECK(dec.sampling_frequency_index >= 0 && dec.sampling_frequency_index <= 11);
    const aac_layout &layout = aac_layouts[dec.channel_configuration];
    const aac_element_map &map = dec.element_map;
    FUZZ_CHECK(map.use_instance_tags == 0 || map.use_instance_tags == 1);
    const uint32_t workspace = aac_workspace_size(layout);
    std::set<int32_t> starts;
    struct Kind {
        const int32_t *offsets;
        int32_t count;
        aac_element_kind kind;
    };
    const Kind kinds[] = {{map.sce_offset, map.num_sce, AAC_ELEMENT_SCE},
                          {map.cpe_offset, map.num_cpe, AAC_ELEMENT_CPE},
                          {map.lfe_offset, map.num_lfe, AAC_ELEMENT_LFE}};
    int elements = 0;
    for (const Kind &k : kinds) {
        int configured = 0;
        for (int i = 0; i < 16; i++) {
            int32_t offset = k.offsets[i];
            if (offset < 0) {
                FUZZ_CHECK(offset == -1);
                continue;
            }
            configured++;
            FUZZ_CHECK(offset % 16 == 0);
            FUZZ_CHECK(offset + aac_element_record_size(k.kind) <= workspace);
            FUZZ_CHECK(starts.insert(offset).second);
        }
        FUZZ_CHECK(configured == k.count);
        elements += configured;
    }
    FUZZ_CHECK(elements == layout.num_elements);
}

// A format any decoder may report before its first frame.
void check_format(const aac_decoder *dec)
{
    aac_output_format f;
    FUZZ_CHECK(aac_dec_get_format(dec, &f) == AAC_OK);
    FUZZ_CHECK(f.fixed == 0 || f.fixed == 1);
    FUZZ_CHECK(f.channels >= 1 && f.channels <= 8);
    FUZZ_CHECK(f.samples_per_block == 1024 || f.samples_per_block == 2048);
    FUZZ_CHECK(f.sample_rate == f.core_sample_rate || f.sample_rate == 2 * f.core_sample_rate);
    FUZZ_CHECK(f.block_bytes >= 4 * f.channels * f.samples_per_block);
    FUZZ_CHECK(f.ps == 0 || (f.sbr == 1 && f.channels == 2));
    FUZZ_CHECK(f.object_type == (f.ps ? 29 : f.sbr ? 5 : 2));
}

// The core record goes in by value and its bytes_used comes back.
aac_status create_he(aac_decoder **dec, aac_dec_config &config, uint8_t modes)
{
    aac_he_config he{};
    he.core = config;
    he.core.stream_flag = 0;
    he.sbr_mode = modes & 7;  // 4..7 are refused
    he.ps_mode = (modes >> 3) & 3;
    aac_status status = aac_dec_create_he(dec, &he);
    config.bytes_used = he.core.bytes_used;
    if (he.sbr_mode > AAC_SBR_DOWNSAMPLED || he.ps_mode > AAC_PS_EXPLICIT)
        FUZZ_CHECK(status == AAC_ERR_BAD_STREAM);
    return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t mode = in.byte();
    aac_dec_config config{};
    config.bytes_used = -7;
    // Mostly offsets a host could pass; now and then any value at all.
    config.bit_offset = mode & 0x40 ? static_cast<int32_t>(in.u32()) : in.byte() & 31;
    config.stream_flag = static_cast<int8_t>(in.byte());
    config.profile = static_cast<int8_t>(in.byte());
    config.sampling_frequency_index = static_cast<int8_t>(in.byte());
    config.channel_configuration = static_cast<int8_t>(in.byte());

    // The element, copied into a block of exactly its size.
    size_t element_size = 0;
    const uint8_t *element = in.take(in.remaining(), &element_size);
    uint8_t *copy = element_size ? new uint8_t[element_size] : nullptr;
    std::copy(element, element + element_size, copy);
    const bool with_element = (mode & 1) && element_size > 0;
    if (with_element) {
        config.input_data = copy;
        config.input_size = static_cast<int32_t>(element_size);
    } else if (mode & 2) {
        config.input_data = copy;  // a size of 0 or below means no element
        config.input_size = -static_cast<int32_t>(element_size);
    }

    {
        CountingAllocator hooks;
        hooks.fail_at((mode >> 2) & 1);  // the record is the only allocation
        aac_decoder *dec = kUntouched;
        if (mode & 8) {
            const aac_status status = aac_dec_create_asc(&dec, copy, static_cast<int32_t>(element_size),
                                                         mode & 16 ? AAC_ASC_IMPLICIT : 0);
            FUZZ_CHECK(aac_innermost_frame() == nullptr);
            FUZZ_CHECK(status == AAC_OK || status == AAC_ERR_CORRUPT_FRAME ||
                       status == AAC_ERR_BAD_STREAM || status == AAC_ERR_NO_MEMORY);
            if (status == AAC_OK) {
                check_element_map(*dec);
                check_format(dec);
                FUZZ_CHECK(aac_dec_destroy(dec) == AAC_OK);
            } else {
                FUZZ_CHECK(dec == kUntouched);
            }
            FUZZ_CHECK(hooks.outstanding() == 0);
            delete[] copy;
            return 0;
        }
        aac_status status = mode & 32 ? create_he(&dec, config, static_cast<uint8_t>(config.stream_flag))
                                      : aac_dec_create(&dec, &config);
        FUZZ_CHECK(aac_innermost_frame() == nullptr);
        if (mode & 32)
            config.stream_flag = 0;
        if (status == AAC_ERR_BAD_STREAM && (mode & 32) && dec == kUntouched) {
            // Refused for its SBR or PS mode, or for its core as below.
        } else if (hooks.allocations() > 0 && (mode & 4)) {
            FUZZ_CHECK(status == AAC_ERR_NO_MEMORY);
        } else if (!with_element) {
            FUZZ_CHECK(status == expected_without_element(config));
            FUZZ_CHECK(config.bytes_used == -7);
        } else {
            FUZZ_CHECK(status == AAC_OK || status == AAC_ERR_CORRUPT_FRAME ||
                       status == AAC_ERR_BAD_STREAM);
            // Only a parsed element writes bytes_used; the reader supplies
            // at most eight zero bytes past the data.
            if (config.bytes_used != -7)
                FUZZ_CHECK(config.bytes_used >= 1 &&
                           config.bytes_used <= static_cast<int32_t>(element_size) + 8);
            if (status == AAC_OK)
                FUZZ_CHECK(config.bytes_used != -7);
        }
        if (status == AAC_OK) {
            FUZZ_CHECK(dec != kUntouched && dec != nullptr);
            check_element_map(*dec);
            check_format(dec);
            FUZZ_CHECK(dec->initialised == 0 && dec->out_block == nullptr);
            FUZZ_CHECK(aac_dec_destroy(dec) == AAC_OK);
        } else {
            FUZZ_CHECK(dec == kUntouched);
        }
        FUZZ_CHECK(hooks.outstanding() == 0);
        FUZZ_CHECK(hooks.bad_frees == 0);
    }
    delete[] copy;
    return 0;
}
