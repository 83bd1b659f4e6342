// The nine sample exports: each picks one slot of the active sample-kernel
// table by its format or channel count and calls it.  An index out of range
// picks nothing; there is no status to report it with, and a neighbouring
// slot would expect buffers of another size.
#include "kernels/kernel_tables.h"
#include "lumdec.h"

namespace lumdec {

namespace {

inline bool format_ok(int32_t format)
{
    return static_cast<uint32_t>(format) <= AAC_RAW_FLOAT;
}

inline bool channels_ok(int32_t channels)
{
    return static_cast<uint32_t>(channels) - 1u < 8u;
}

inline const aac_sample_kernels &active()
{
    return *aac_active_sample_kernels;
}

}  // namespace

}  // namespace lumdec

using namespace lumdec;

extern "C" {

AAC_API void AAC_CALL aac_convert_single_to_raw(const float *pcm, void *raw, int32_t format)
{
    if (format_ok(format))
        active().single_to_raw[format](pcm, raw);
}

AAC_API void AAC_CALL aac_convert_single_from_raw(float *pcm, const void *raw, int32_t format)
{
    if (format_ok(format))
        active().single_from_raw[format](pcm, raw);
}

AAC_API void AAC_CALL aac_convert_pair_to_raw(const float *pcm, void *raw, int32_t format)
{
    if (format_ok(format))
        active().pair_to_raw[format](pcm, raw);
}

AAC_API void AAC_CALL aac_convert_pair_from_raw(float *pcm, const void *raw, int32_t format)
{
    if (format_ok(format))
        active().pair_from_raw[format](pcm, raw);
}

AAC_API void AAC_CALL aac_downmix_3_2_to_pair(const float *pcm5, float *pair)
{
    active().downmix(pcm5, pair);
}

AAC_API void AAC_CALL aac_downmix_3_2_to_pair_raw(const float *pcm5, void *raw, int32_t format)
{
    if (format_ok(format))
        active().downmix_to_raw[format](pcm5, raw);
}

AAC_API void AAC_CALL aac_fade_in_channels(float *pcm, int32_t channels)
{
    if (channels_ok(channels))
        active().fade_in[channels - 1](pcm);
}

AAC_API void AAC_CALL aac_fade_out_channels(float *pcm, int32_t channels)
{
    if (channels_ok(channels))
        active().fade_out[channels - 1](pcm);
}

AAC_API void AAC_CALL aac_mute_channels(float *pcm, int32_t channels)
{
    if (channels_ok(channels))
        active().mute[channels - 1](pcm);
}

}  // extern "C"
