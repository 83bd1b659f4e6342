// The shared library as a host program sees it, through the platform's
// dynamic loader: loaded by path, functions found by name, and the names
// its export table lists.
#pragma once

#include <set>
#include <string>

void *load_shared_library(const char *path);  // null when the load fails
void *find_export(void *library, const char *name);
void unload_shared_library(void *library);

// Every name the library exports (empty when it cannot be read).
std::set<std::string> exported_names(const char *path);

// The lowest thread-local slot that is free now: a slot allocated and freed
// again at once.
unsigned lowest_free_slot();

// Slots that the platform's runtime, linked into the library, keeps for good
// at each load (not the library's own slot, which each unload frees).
extern const unsigned runtime_slots_kept_per_load;
