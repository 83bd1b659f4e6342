// A host that drives a decoder one call at a time and records what it sees
// of each call (see stream_model.h): the status, every output_hook call
// with the block state and the hook's result, the syn_elem_hook call, and
// the fields the host may read.  What the hooks do and return is up to the
// test.
#pragma once

#include <cstdint>
#include <functional>

#include "lumdec.h"
#include "stream_model.h"

class ObservingHost {
public:
    explicit ObservingHost(aac_decoder *dec) : dec_(dec) {}
    ObservingHost(const ObservingHost &) = delete;
    ObservingHost &operator=(const ObservingHost &) = delete;

    // What the hooks do and return, and whether each is installed for the
    // following calls.
    std::function<aac_status(void **slot)> on_block = [](void **) { return AAC_OK; };
    std::function<aac_status(const aac_syn_elem *list)> on_elements = [](const aac_syn_elem *) { return AAC_OK; };
    bool output_hook = true, syn_elem_hook = false;

    // One decode call on data (size <= 0: end of stream).
    ObservedCall decode(const uint8_t *data, int32_t size);

    aac_decoder *decoder() const { return dec_; }

private:
    static aac_status AAC_CALL block_trampoline(aac_decoder *dec, void **slot);
    static aac_status AAC_CALL elements_trampoline(aac_decoder *dec, const aac_syn_elem *list);

    aac_decoder *dec_;
};
