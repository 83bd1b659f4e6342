#include "frame/library.h"

#include "frame/allocator.h"
#include "frame/tls_slot.h"
#include "kernels/cpu.h"
#include "kernels/kernel_tables.h"

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

#if !defined(_WIN32)

// On ELF systems a shared object cannot report a failed load to dlopen() or
// to the program loader.  A refused load therefore ends the process, with a
// line on stderr, rather than let it run with a library whose slot or
// kernels are missing.

#include <cstdlib>
#include <unistd.h>

namespace {

__attribute__((constructor)) void lumdec_load()
{
    if (aac_process_attach(aac_detect_cpu_level(), aac_module_initialisers,
                           AAC_INITIALISER_COUNT))
        return;
    static const char message[] =
        "lumdec: cannot load: the processor lacks SSE2 or no thread-local slot is free\n";
    ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    (void)written;
    std::abort();
}

__attribute__((destructor)) void lumdec_unload()
{
    aac_process_detach(aac_module_initialisers, AAC_INITIALISER_COUNT);
}

}  // namespace

#endif
