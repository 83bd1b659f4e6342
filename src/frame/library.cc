#include "frame/library.h"

#include "frame/allocator.h"
#include "frame/tls_slot.h"
#include "kernels/cpu.h"
#include "kernels/kernel_tables.h"

namespace lumdec {

namespace {

int reserved_initialiser(int) { return 1; }

}  // namespace

const aac_initialiser aac_module_initialisers[AAC_INITIALISER_COUNT] = {
    aac_init_tls_slot,
    aac_init_allocator,
    reserved_initialiser,
    aac_select_decoder_kernels,
    aac_select_sample_kernels,
};

bool aac_process_attach(int cpu_level, const aac_initialiser *inits, int count)
{
    bool loaded = cpu_level >= AAC_CPU_SSE2;
    for (int i = 0; loaded && i < count; i++)
        loaded = inits[i](1) != 0;
    if (!loaded)
        aac_process_detach(inits, count);
    return loaded;
}

void aac_process_detach(const aac_initialiser *inits, int count)
{
    for (int i = count - 1; i >= 0; i--)
        inits[i](0);
}

}  // namespace lumdec
