// A decoder record put together by hand for the frame parser: stream
// tables, an element map and a workspace, with a hook that keeps a copy of
// each element list.
#pragma once

#include <cstring>
#include <string>

#include "frame/allocator.h"
#include "layout_reference.h"
#include "syntax/raw_data_block.h"
#include "syntax/stream_tables.h"
#include "syntax_writer.h"

namespace lumdec {

// An element list up to and including its END record.
inline std::vector<aac_syn_elem> copy_syn_elems(const aac_syn_elem *list)
{
    std::vector<aac_syn_elem> copy;
    for (size_t i = 0;; i += list[i] == AAC_ID_CPE ? 3 : 2)
        if (list[i] == AAC_ID_END)
            return {list, list + i + 2};
}

class HandDecoder {
public:
    // kinds: one letter per element in workspace order (S, P or L); tags:
    // each element's tag when binding by tag (empty: by order).
    explicit HandDecoder(const std::string &kinds, const std::vector<int> &tags = {})
    {
        std::memset(&dec_, 0, sizeof dec_);
        aac_fill_stream_tables(1, 3, &dec_.stream_tables);
        dec_.element_map = element_map(kinds, tags, &offsets_);
        work_ = static_cast<uint8_t *>(aac_alloc_aligned(
            static_cast<uint32_t>(kinds.size() * sizeof(aac_channel_pair_state))));
        // The state bits of the slot must not move the records.
        dec_.cur_work = work_ + AAC_SLOT_EMPTY;
        current_ = this;
    }
    ~HandDecoder() { aac_free_aligned(work_); }
    HandDecoder(const HandDecoder &) = delete;
    HandDecoder &operator=(const HandDecoder &) = delete;

    aac_decoder *get() { return &dec_; }

    // Parses the first size bytes from a block of exactly that size;
    // bytes_used is set to -1 first.
    aac_status parse(const std::vector<uint8_t> &bytes, size_t size = SIZE_MAX)
    {
        size = std::min(size, bytes.size());
        auto frame = exact_copy(bytes, size);
        dec_.input_data = frame.get();
        dec_.input_size = static_cast<int32_t>(size);
        dec_.bytes_used = -1;
        aac_guard guard;
        return guard.run([&] { aac_parse_raw_data_block(&dec_); });
    }

    // Records of element i in workspace order.
    aac_channel_state &single(int i) { return *reinterpret_cast<aac_channel_state *>(work_ + offsets_[i]); }
    aac_channel_pair_state &pair(int i)
    {
        return *reinterpret_cast<aac_channel_pair_state *>(work_ + offsets_[i]);
    }

    // Keeps a copy of each list handed to syn_elem_hook, answered with hook_result.
    void capture_lists()
    {
        dec_.syn_elem_hook = [](aac_decoder *, const aac_syn_elem *list) -> aac_status {
            current_->lists.push_back(copy_syn_elems(list));
            return current_->hook_result;
        };
    }
    std::vector<std::vector<aac_syn_elem>> lists;
    aac_status hook_result = 0;

private:
    static inline HandDecoder *current_ = nullptr;
    aac_decoder dec_;
    uint8_t *work_;
    std::vector<uint32_t> offsets_;
};

}  // namespace lumdec
