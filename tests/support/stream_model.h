// What a host sees of the decode call, predicted from the documented frame
// driver: which blocks reach output_hook in which state, the status, the
// error count and whether the frame stays open.  Each call is checked
// against both readings of it, frame parsed or frame rejected; the host
// cannot tell which from outside, but only one of them can match what it
// observed.
#pragma once

#include <cstdint>
#include <vector>

#include "lumdec.h"

struct HookCall {
    unsigned state;     // low 4 bits of the slot on entry
    aac_status result;  // what the hook returned
};

// One decode call as the host saw it.
struct ObservedCall {
    bool with_input;
    bool conceal;              // conceal_errors > 0 at entry
    bool output_hook_set;
    bool set_up_before, set_up_after;  // `initialised` around the call
    bool syn_hook_set;
    bool syn_hook_called;
    aac_status syn_hook_result;
    std::vector<HookCall> hooks;
    aac_status status;
    int32_t error_count_delta;
    bool frame_open_after;
};

class StreamModel {
public:
    // Checks one call against the model and advances it; false when no
    // reading of the call explains the observation.
    bool step(const ObservedCall &call);

    // Blocks delivered by the calls so far, by state.
    int valid = 0, lost = 0, empty = 0;

private:
    struct Outcome {
        std::vector<unsigned> states;
        aac_status status = AAC_OK;
        int32_t error_count_delta = 0;
        bool frame_open = false;
        unsigned prev_after = 0;
    };

    Outcome parsed(const ObservedCall &call) const;
    Outcome rejected(const ObservedCall &call, aac_status failure) const;
    Outcome end_of_stream(const ObservedCall &call) const;
    static bool matches(const Outcome &o, const ObservedCall &call);

    unsigned prev_ = AAC_SLOT_EMPTY;  // state of the previous workspace
};
