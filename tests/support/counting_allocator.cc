#include "counting_allocator.h"

#include <cstdlib>

CountingAllocator *CountingAllocator::current_ = nullptr;

CountingAllocator::CountingAllocator()
{
    current_ = this;
    aac_malloc_func_table table = {hook_malloc, hook_calloc, hook_realloc, hook_free};
    aac_set_malloc_func_table(&table);
}

CountingAllocator::~CountingAllocator()
{
    aac_set_malloc_func_table(nullptr);
    current_ = nullptr;
}

bool CountingAllocator::next_fails()
{
    return fail_at_ != 0 && allocations() == fail_at_;
}

void *AAC_CALL CountingAllocator::hook_malloc(uint32_t size)
{
    CountingAllocator &self = *current_;
    self.mallocs++;
    self.bytes_requested += size;
    if (self.next_fails())
        return nullptr;
    void *block = std::malloc(size);
    self.live_[block] = size;
    return block;
}

void *AAC_CALL CountingAllocator::hook_calloc(uint32_t count, uint32_t size)
{
    CountingAllocator &self = *current_;
    self.callocs++;
    self.bytes_requested += size_t{count} * size;
    if (self.next_fails())
        return nullptr;
    void *block = std::calloc(count, size);
    self.live_[block] = size_t{count} * size;
    return block;
}

void *AAC_CALL CountingAllocator::hook_realloc(void *, uint32_t)
{
    current_->reallocs++;
    return nullptr;
}

void AAC_CALL CountingAllocator::hook_free(void *block)
{
    CountingAllocator &self = *current_;
    self.frees++;
    if (block == nullptr) {
        self.null_frees++;
        return;
    }
    if (self.live_.erase(block) == 0) {
        self.bad_frees++;  // not ours, or released twice: leave it alone
        return;
    }
    std::free(block);
}
