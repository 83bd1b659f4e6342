// The DLL's entry point.  Process attach runs the load sequence, and its
// refusal makes LoadLibrary (or the start of a program that imports the
// DLL) fail; process detach runs the unload sequence.

#include <windows.h>

#include "frame/library.h"
#include "kernels/cpu.h"

namespace lumdec {

const int aac_load_anchor = 0;

}  // namespace lumdec

using namespace lumdec;

namespace {

// A refused attach has already undone itself, and Windows still sends the
// detach that follows it: the unload sequence must not run a second time.
bool attached = false;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(module);
        attached = aac_process_attach(aac_detect_cpu_level(), aac_module_initialisers,
                                      AAC_INITIALISER_COUNT);
        return attached ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
        if (attached)
            aac_process_detach(aac_module_initialisers, AAC_INITIALISER_COUNT);
        attached = false;
        break;
    default:
        break;
    }
    return TRUE;
}
