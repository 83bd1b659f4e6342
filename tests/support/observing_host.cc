#include "observing_host.h"

namespace {

// The host whose decode call is running on this thread.
thread_local ObservingHost *running = nullptr;
thread_local ObservedCall *running_call = nullptr;

}  // namespace

aac_status AAC_CALL ObservingHost::block_trampoline(aac_decoder *, void **slot)
{
    unsigned state = reinterpret_cast<uintptr_t>(*slot) & AAC_SLOT_STATE_MASK;
    aac_status result = running->on_block(slot);
    running_call->hooks.push_back({state, result});
    return result;
}

aac_status AAC_CALL ObservingHost::elements_trampoline(aac_decoder *, const aac_syn_elem *list)
{
    aac_status result = running->on_elements(list);
    running_call->syn_hook_called = true;
    running_call->syn_hook_result = result;
    return result;
}

ObservedCall ObservingHost::decode(const uint8_t *data, int32_t size)
{
    ObservedCall call{};
    call.with_input = size >= 1;
    call.conceal = dec_->conceal_errors > 0;
    call.output_hook_set = output_hook;
    call.syn_hook_set = syn_elem_hook;
    call.set_up_before = dec_->initialised != 0;
    dec_->output_hook = output_hook ? block_trampoline : nullptr;
    dec_->syn_elem_hook = syn_elem_hook ? elements_trampoline : nullptr;
    dec_->input_data = data;
    dec_->input_size = size;
    int32_t errors = dec_->error_count;

    ObservingHost *outer = running;
    ObservedCall *outer_call = running_call;
    running = this;
    running_call = &call;
    call.status = aac_dec_decode(dec_);
    running = outer;
    running_call = outer_call;

    call.set_up_after = dec_->initialised != 0;
    call.error_count_delta = dec_->error_count - errors;
    call.frame_open_after = dec_->frame_open != 0;
    return call;
}
