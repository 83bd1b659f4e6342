// Allocation hooks for tests: count every call, remember what is
// outstanding, and fail the n-th allocation on request.
#pragma once

#include <cstddef>
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

    // Allocation number n (from 1, malloc and calloc together) returns
    // null; 0 never fails.
    void fail_at(int n) { fail_at_ = n; }
    int allocations() const { return mallocs + callocs; }
    size_t outstanding() const { return live.size(); }

    int mallocs = 0, callocs = 0, reallocs = 0, frees = 0;
    int bad_frees = 0;  // of pointers never handed out, or twice
    size_t bytes_requested = 0;
    std::map<void *, size_t> live;  // sizes of the blocks not yet released

private:
    void *allocate(size_t size, bool zero);
    int fail_at_ = 0;
    static CountingAllocator *current_;
};
