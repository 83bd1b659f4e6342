// A decoder record put together by hand for the frame parser: stream
// tables, an element map and an aligned workspace, with a hook that keeps a
// copy of the element list.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/allocator.h"
#include "syntax/raw_data_block.h"
#include "syntax/records.h"
#include "syntax/stream_tables.h"
#include "syntax_writer.h"

// An element list up to and including its END record.
inline std::vector<aac_syn_elem> copy_syn_elems(const aac_syn_elem *list)
{
    std::vector<aac_syn_elem> copy;
    for (;;) {
        const aac_syn_elem id = *list;
        const int words = id == AAC_ID_CPE ? 3 : 2;
        copy.insert(copy.end(), list, list + words);
        list += words;
        if (id == AAC_ID_END)
            return copy;
    }
}

class HandDecoder {
public:
    // kinds: one letter per element in workspace order, S, P or L; tags:
    // each element's map index when binding by tag (empty: by order).
    explicit HandDecoder(const std::string &kinds, std::vector<int> tags = {},
                         int sampling_frequency_index = 3)
        : dec_(std::make_unique<aac_decoder>())
    {
        std::memset(dec_.get(), 0, sizeof(aac_decoder));
        aac_fill_stream_tables(1, sampling_frequency_index, &dec_->stream_tables);
        aac_element_map &map = dec_->element_map;
        map.use_instance_tags = tags.empty() ? 0 : 1;
        std::fill_n(map.sce_offset, 16, -1);
        std::fill_n(map.cpe_offset, 16, -1);
        std::fill_n(map.lfe_offset, 16, -1);
        uint32_t size = 0;
        for (size_t i = 0; i < kinds.size(); i++) {
            int32_t *offsets = kinds[i] == 'P' ? map.cpe_offset
                               : kinds[i] == 'L' ? map.lfe_offset : map.sce_offset;
            int32_t &count = kinds[i] == 'P' ? map.num_cpe
                             : kinds[i] == 'L' ? map.num_lfe : map.num_sce;
            offsets[tags.empty() ? count : tags[i]] = static_cast<int32_t>(size);
            count++;
            offsets_.push_back(size);
            size += kinds[i] == 'P' ? sizeof(aac_channel_pair_state) : sizeof(aac_channel_state);
        }
        work_ = static_cast<uint8_t *>(aac_alloc_aligned(size ? size : 16));
        std::memset(work_, 0xEE, size);
        // The state bits of the slot must not move the records.
        dec_->cur_work = work_ + AAC_SLOT_EMPTY;
        dec_->bytes_used = -1;
    }
    ~HandDecoder() { aac_free_aligned(work_); }
    HandDecoder(const HandDecoder &) = delete;
    HandDecoder &operator=(const HandDecoder &) = delete;

    aac_decoder *get() { return dec_.get(); }

    // Parses the first size bytes, copied into a block of exactly that size.
    aac_status parse(const std::vector<uint8_t> &bytes, size_t size)
    {
        ExactBuffer frame(bytes, size);
        dec_->input_data = frame.data.get();
        dec_->input_size = frame.size;
        aac_guard guard;
        return guard.run([&] { aac_parse_raw_data_block(dec_.get()); });
    }
    aac_status parse(const std::vector<uint8_t> &bytes) { return parse(bytes, bytes.size()); }

    // Record of element i in workspace order.
    aac_channel_state &single(int i)
    {
        return *reinterpret_cast<aac_channel_state *>(work_ + offsets_[i]);
    }
    aac_channel_pair_state &pair(int i)
    {
        return *reinterpret_cast<aac_channel_pair_state *>(work_ + offsets_[i]);
    }

    // Keeps a copy of each element list handed to syn_elem_hook and
    // answers with hook_result.
    void capture_lists()
    {
        dec_->syn_elem_hook = [](aac_decoder *, const aac_syn_elem *list) -> aac_status {
            current_->lists.push_back(copy_syn_elems(list));
            return current_->hook_result;
        };
        current_ = this;
    }
    std::vector<std::vector<aac_syn_elem>> lists;
    aac_status hook_result = 0;

private:
    static inline HandDecoder *current_ = nullptr;
    std::unique_ptr<aac_decoder> dec_;
    uint8_t *work_;
    std::vector<uint32_t> offsets_;
};
