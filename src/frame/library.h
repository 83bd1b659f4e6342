// Library load and unload: the processor check and the five module
// initialisers, run in order at load and in reverse at unload.
#pragma once

namespace lumdec {

// A module initialiser: attach = 1 at load, 0 at unload.  Returns non-zero
// on success; a 0 at load refuses the load.
using aac_initialiser = int (*)(int attach);

inline constexpr int AAC_INITIALISER_COUNT = 5;

// Slot, allocator defaults, a reserved one, decoder kernels, sample kernels.
extern const aac_initialiser aac_module_initialisers[AAC_INITIALISER_COUNT];

// Defined beside whatever runs the load sequence for a build (a constructor,
// or the DLL entry point), so that objects referring to it pull that code
// into a static link.
extern const int aac_load_anchor;

// The load sequence for a processor of `cpu_level`: refuses a processor
// without SSE2, then runs the initialisers in order with 1.  When the load
// fails, the unload sequence runs once before it returns false, undoing
// whatever had been done.
bool aac_process_attach(int cpu_level, const aac_initialiser *inits, int count);

// The unload sequence: the initialisers in reverse order with 0.
void aac_process_detach(const aac_initialiser *inits, int count);

}  // namespace lumdec
