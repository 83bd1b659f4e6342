#include "stream_model.h"

#include <cstddef>

namespace {

bool concealable(aac_status status) { return status == AAC_ERR_CORRUPT_FRAME || status == AAC_ERR_BAD_STREAM; }

// The observed hook results go, in order, to the hook calls the model
// predicts, so that both see the same host decisions.
aac_status first_result(const ObservedCall &call) { return call.hooks.empty() ? AAC_OK : call.hooks[0].result; }

// A hook result raised after the frame was closed: concealed when it may
// be, otherwise returned.
void raise_closed(aac_status result, bool conceal, aac_status &status, int32_t &delta)
{
    if (result >= 0)
        return;
    if (conceal && concealable(result)) {
        delta++;
        status = AAC_OK;
    } else {
        status = result;
    }
}

}  // namespace

StreamModel::Outcome StreamModel::parsed(const ObservedCall &call) const
{
    Outcome o;
    o.prev_after = AAC_SLOT_VALID;
    if (prev_ != AAC_SLOT_EMPTY && call.output_hook_set) {
        o.states.push_back(prev_);
        raise_closed(first_result(call), call.conceal, o.status, o.error_count_delta);
    }
    return o;
}

StreamModel::Outcome StreamModel::rejected(const ObservedCall &call, aac_status failure) const
{
    Outcome o;
    if (!(call.conceal && concealable(failure))) {
        o.status = failure;
        o.frame_open = true;
        o.prev_after = prev_;
        return o;
    }
    // Concealment is used up: a failing hook inside the drop is returned.
    o.error_count_delta = 1;
    o.prev_after = AAC_SLOT_LOST;
    if (prev_ != AAC_SLOT_EMPTY && call.output_hook_set) {
        o.states.push_back(AAC_SLOT_LOST);
        if (first_result(call) < 0)
            o.status = first_result(call);
    }
    return o;
}

StreamModel::Outcome StreamModel::end_of_stream(const ObservedCall &call) const
{
    Outcome o;
    o.prev_after = AAC_SLOT_EMPTY;
    if (call.output_hook_set) {
        o.states.push_back(AAC_SLOT_EMPTY);
        raise_closed(first_result(call), call.conceal, o.status, o.error_count_delta);
    }
    return o;
}

bool StreamModel::matches(const Outcome &o, const ObservedCall &call)
{
    if (o.states.size() != call.hooks.size())
        return false;
    for (size_t i = 0; i < o.states.size(); i++)
        if (o.states[i] != call.hooks[i].state)
            return false;
    return o.status == call.status && o.error_count_delta == call.error_count_delta &&
           o.frame_open == call.frame_open_after;
}

bool StreamModel::step(const ObservedCall &call)
{
    if (!call.set_up_before) {
        if (!call.set_up_after)  // a failed set-up changes nothing and is never concealed
            return call.status == AAC_ERR_NO_MEMORY && call.hooks.empty() &&
                   !call.syn_hook_called && call.error_count_delta == 0;
        prev_ = AAC_SLOT_EMPTY;
    }

    std::vector<Outcome> readings;
    if (!call.with_input) {
        if (call.syn_hook_called)
            return false;
        readings.push_back(end_of_stream(call));
    } else if (call.syn_hook_called) {
        // The hook runs after the last check of the parse: its result alone
        // decides whether the frame was rejected.
        readings.push_back(call.syn_hook_result < 0 ? rejected(call, call.syn_hook_result)
                                                    : parsed(call));
    } else {
        if (!call.syn_hook_set)
            readings.push_back(parsed(call));
        readings.push_back(rejected(call, AAC_ERR_CORRUPT_FRAME));
        readings.push_back(rejected(call, AAC_ERR_BAD_STREAM));
    }

    // The two rejections differ in the status alone, so a concealed one
    // matches twice; readings that match must leave the same state.
    const Outcome *chosen = nullptr;
    for (const Outcome &o : readings) {
        if (!matches(o, call))
            continue;
        if (chosen != nullptr && chosen->prev_after != o.prev_after)
            return false;
        chosen = &o;
    }
    if (chosen == nullptr)
        return false;
    for (unsigned state : chosen->states) {
        valid += state == AAC_SLOT_VALID;
        lost += state == AAC_SLOT_LOST;
        empty += state == AAC_SLOT_EMPTY;
    }
    prev_ = chosen->prev_after;
    return true;
}
