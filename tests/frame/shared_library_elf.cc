#include "shared_library.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdio>

void *load_shared_library(const char *path)
{
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void *find_export(void *library, const char *name)
{
    return dlsym(library, name);
}

void unload_shared_library(void *library)
{
    dlclose(library);
}

std::set<std::string> exported_names(const char *path)
{
    std::string command = std::string("nm -D --defined-only '") + path + "' 2>&1";
    std::set<std::string> names;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        auto space = text.rfind(' ');
        std::string name = space == std::string::npos ? text : text.substr(space + 1);
        if (!name.empty())
            names.insert(name);
    }
    pclose(pipe);
    return names;
}

unsigned lowest_free_slot()
{
    pthread_key_t key;
    if (pthread_key_create(&key, nullptr) != 0)
        return ~0u;
    pthread_key_delete(key);
    return static_cast<unsigned>(key);
}

const unsigned runtime_slots_kept_per_load = 0;
