#include "shared_library.h"

#include <windows.h>

void *load_shared_library(const char *path)
{
    return reinterpret_cast<void *>(LoadLibraryA(path));
}

void *find_export(void *library, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unload_shared_library(void *library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}

// The names in the export directory of the loaded image: what a host's
// GetProcAddress matches, decorations included.
std::set<std::string> exported_names(const char *path)
{
    std::set<std::string> names;
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr)
        return names;
    auto base = reinterpret_cast<const unsigned char *>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.Size != 0) {
        auto dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + entry.VirtualAddress);
        auto name_rvas = reinterpret_cast<const DWORD *>(base + dir->AddressOfNames);
        for (DWORD i = 0; i < dir->NumberOfNames; i++)
            names.insert(reinterpret_cast<const char *>(base + name_rvas[i]));
    }
    FreeLibrary(module);
    return names;
}

unsigned lowest_free_slot()
{
    DWORD index = TlsAlloc();
    TlsFree(index);
    return index;
}
