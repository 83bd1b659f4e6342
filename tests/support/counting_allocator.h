// Allocation hooks for tests: count every call, remember what is
// outstanding, and fail the n-th allocation on request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "lumdec.h"

class CountingAllocator {
public:
    // Installs the hooks for the lifetime of the object; the standard
    // allocator comes back afterwards.
    CountingAllocator();
    ~CountingAllocator();
    CountingAllocator(const CountingAllocator &) = delete;
    CountingAllocator &operator=(const CountingAllocator &) = delete;

    // Allocation number n (1-based, malloc and calloc counted together)
    // returns null; 0 never fails.
    void fail_at(int n) { fail_at_ = n; }

    int mallocs = 0, callocs = 0, reallocs = 0, frees = 0, null_frees = 0;
    size_t bytes_requested = 0;  // by malloc and calloc together

    int allocations() const { return mallocs + callocs; }
    size_t outstanding() const { return live_.size(); }
    // Sizes requested for blocks still allocated, by raw address.
    const std::map<void *, size_t> &live() const { return live_; }
    // Releases of pointers that were never handed out (or twice).
    int bad_frees = 0;

private:
    static void *AAC_CALL hook_malloc(uint32_t size);
    static void *AAC_CALL hook_calloc(uint32_t count, uint32_t size);
    static void *AAC_CALL hook_realloc(void *block, uint32_t size);
    static void AAC_CALL hook_free(void *block);
    bool next_fails();

    int fail_at_ = 0;
    std::map<void *, size_t> live_;
    static CountingAllocator *current_;
};
