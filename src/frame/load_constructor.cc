// The load sequence where nothing can refuse a load: an ELF shared object
// (dlopen() and the program loader take no answer from it) and every
// program that links the library's objects directly, on any system.  A
// constructor runs the load sequence and a destructor the unload sequence.
//
// A refused load ends the process, with a line on stderr, rather than let it
// run with a library whose slot or kernels are missing.

#include <cstdio>
#include <cstdlib>

#include "frame/library.h"
#include "kernels/cpu.h"

namespace lumdec {

const int aac_load_anchor = 0;

namespace {

__attribute__((constructor)) void lumdec_load()
{
    if (aac_process_attach(aac_detect_cpu_level(), aac_module_initialisers,
                           AAC_INITIALISER_COUNT))
        return;
    std::fputs("lumdec: cannot load: the processor lacks SSE2 or no thread-local slot is free\n",
               stderr);
    std::abort();
}

__attribute__((destructor)) void lumdec_unload()
{
    aac_process_detach(aac_module_initialisers, AAC_INITIALISER_COUNT);
}

}  // namespace

}  // namespace lumdec
