// The state bits in the low 4 bits of the output block and workspace
// pointers, and the steps of the frame driver that the LC and the HE output
// paths share.
#pragma once

#include <cstdint>

#include "frame/error.h"
#include "lumdec.h"

namespace lumdec {

inline uint32_t state_of(void *slot)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(slot) & AAC_SLOT_STATE_MASK);
}

inline char *pointer_of(void *slot)
{
    return reinterpret_cast<char *>(reinterpret_cast<uintptr_t>(slot) &
                                    ~uintptr_t{AAC_SLOT_STATE_MASK});
}

// On the integer: the output block may be null (no pool), and no offset may
// be added to a null pointer.
inline void set_state(void *&slot, uint32_t state)
{
    slot = reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(pointer_of(slot)) | state);
}

inline void exchange_workspaces(aac_decoder *dec)
{
    void *work = dec->cur_work;
    dec->cur_work = dec->prev_work;
    dec->prev_work = work;
}

inline void call_output_hook(aac_decoder *dec)
{
    if (dec->output_hook == nullptr)
        return;
    aac_status status = dec->output_hook(dec, &dec->out_block);
    if (status < 0)
        aac_raise(status);
}

struct aac_layout;

// Spectral processing and synthesis of every element of the parsed frame in
// the workspace `work` whose channels are not all off.
void reconstruct_elements(aac_decoder *dec, const aac_layout &layout, char *work);

// The LC output step after a parsed frame: reconstruction of the elements
// that are on, the overlap of the previous and current frame into the
// output block, the exchange of the workspaces and the hook call.
void drive_frame(aac_decoder *dec);

}  // namespace lumdec
