#include "counting_allocator.h"

#include <cstdlib>

CountingAllocator *CountingAllocator::current_ = nullptr;

CountingAllocator::CountingAllocator()
{
    current_ = this;
    aac_malloc_func_table table = {
        [](uint32_t size) { return current_->allocate(size, false); },
        [](uint32_t count, uint32_t size) { return current_->allocate(size_t{count} * size, true); },
        [](void *, uint32_t) -> void * {
            current_->reallocs++;
            return nullptr;
        },
        [](void *block) {
            CountingAllocator &self = *current_;
            self.frees++;
            if (block && self.live.erase(block) == 0)
                self.bad_frees++;  // not ours, or released twice: leave it alone
            else
                std::free(block);
        }};
    aac_set_malloc_func_table(&table);
}

CountingAllocator::~CountingAllocator()
{
    aac_set_malloc_func_table(nullptr);
    current_ = nullptr;
}

void *CountingAllocator::allocate(size_t size, bool zero)
{
    (zero ? callocs : mallocs)++;
    bytes_requested += size;
    if (fail_at_ != 0 && allocations() == fail_at_)
        return nullptr;
    void *block = zero ? std::calloc(1, size) : std::malloc(size);
    live[block] = size;
    return block;
}
