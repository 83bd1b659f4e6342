#include "frame/library.h"
#include "kernels/cpu.h"
#include "kernels/kernel_tables.h"
#include "ps/ps_kernels.h"

namespace lumdec {

const aac_vector_kernels *aac_active_vector_kernels = &aac_vector_kernels_generic;
const aac_transform_kernels *aac_active_transform_kernels = &aac_transform_kernels_generic;
const aac_sample_kernels *aac_active_sample_kernels = &aac_sample_kernels_generic;
const aac_sbr_kernels *aac_active_sbr_kernels = &aac_sbr_kernels_generic;

// A static link takes the object whose constructor sets the library up only
// when some object it takes refers to it; this object's state is part of
// that set-up, so it does.
[[gnu::used]] static const void *const keep_load_sequence = &aac_load_anchor;

int aac_select_decoder_kernels(int attach)
{
    if (!attach)
        return 1;
    const aac_cpu_level level = aac_detect_cpu_level();
    const aac_vector_kernels *vector = &aac_vector_kernels_generic;
    if (level >= AAC_CPU_SSE2) {
        vector = &aac_vector_kernels_sse2;
        aac_active_transform_kernels = &aac_transform_kernels_sse2;
        aac_active_sbr_kernels = &aac_sbr_kernels_sse2;
        lumdec::ps_active_kernels = &lumdec::ps_kernels_sse2;
    }
#if defined(LUMDEC_HAVE_AVX2)
    if (level >= AAC_CPU_AVX2) {
        vector = &aac_vector_kernels_avx2;
        aac_active_transform_kernels = &aac_transform_kernels_avx2;
        aac_active_sbr_kernels = &aac_sbr_kernels_avx2;
    }
#endif
    aac_active_vector_kernels = aac_checked_vector_kernels(vector);
    return 1;
}

int aac_select_sample_kernels(int attach)
{
    aac_cpu_level level = aac_detect_cpu_level();
    if (attach && level >= AAC_CPU_SSE2)
        aac_active_sample_kernels = &aac_sample_kernels_sse2;
    return 1;
}

void aac_force_kernel_tables(bool sse2)
{
    aac_active_vector_kernels =
        aac_checked_vector_kernels(sse2 ? &aac_vector_kernels_sse2 : &aac_vector_kernels_generic);
    aac_active_transform_kernels =
        sse2 ? &aac_transform_kernels_sse2 : &aac_transform_kernels_generic;
    aac_active_sample_kernels = sse2 ? &aac_sample_kernels_sse2 : &aac_sample_kernels_generic;
    aac_active_sbr_kernels = sse2 ? &aac_sbr_kernels_sse2 : &aac_sbr_kernels_generic;
    lumdec::ps_active_kernels = sse2 ? &lumdec::ps_kernels_sse2 : &lumdec::ps_kernels_generic;
}

bool aac_force_avx2_kernel_tables()
{
#if defined(LUMDEC_HAVE_AVX2)
    if (aac_detect_cpu_level() >= AAC_CPU_AVX2) {
        aac_force_kernel_tables(true);
        aac_active_vector_kernels = aac_checked_vector_kernels(&aac_vector_kernels_avx2);
        aac_active_transform_kernels = &aac_transform_kernels_avx2;
        aac_active_sbr_kernels = &aac_sbr_kernels_avx2;
        return true;
    }
#endif
    return false;
}

void aac_select_loaded_kernel_tables()
{
    aac_force_kernel_tables(false);
    aac_select_decoder_kernels(1);
    aac_select_sample_kernels(1);
}

const char *aac_active_kernel_tables_name()
{
#if defined(LUMDEC_HAVE_AVX2)
    if (aac_active_transform_kernels == &aac_transform_kernels_avx2)
        return "avx2";
#endif
    return aac_active_transform_kernels == &aac_transform_kernels_generic ? "generic" : "sse2";
}

}  // namespace lumdec
