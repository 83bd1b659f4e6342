// The decode call: first-call set-up of the frame resources, one frame
// parsed, reconstructed and windowed into output one frame behind the input,
// the end of a stream, and error concealment.
//
// Two frame workspaces alternate: the current one receives the frame being
// decoded, the previous one keeps the last good frame for the overlap.  The
// low 4 bits of the workspace and output block pointers carry their state.
#include <cmath>

#include "decoder/frame_slots.h"
#include "decoder/he_instance.h"
#include "decoder/layouts.h"
#include "frame/allocator.h"
#include "frame/error.h"
#include "lumdec.h"
#include "syntax/raw_data_block.h"
#include "syntax/records.h"
#include "synthesis/filterbank.h"
#include "synthesis/pipeline.h"

namespace lumdec {

namespace {

// The window set of output channel c: shared with an earlier channel of the
// same gain, none for a channel that is off, else a new one.  A set left by
// an earlier, failed set-up is reused.
aac_channel_gain *get_channel_gain(aac_decoder *dec, int c)
{
    for (int j = 0; j < c; j++)
        if (dec->gain[j] == dec->gain[c])
            return dec->channel_gain[j];
    if (std::fabs(dec->gain[c]) == 0.0f)
        return nullptr;
    if (dec->gain_alloc[c] == nullptr) {
        void *block = aac_alloc_aligned(sizeof(aac_channel_gain));
        if (block == nullptr)
            aac_raise(AAC_ERR_NO_MEMORY, "window set");
        dec->gain_alloc[c] = block;
    }
    auto *set = static_cast<aac_channel_gain *>(dec->gain_alloc[c]);
    aac_fill_channel_gain(set, dec->gain[c]);
    return set;
}

// Buffers that a failed set-up obtained stay recorded in the instance and
// are reused when the next call repeats the set-up, or released by destroy.
// The output block is the exception: the decode call gives it back to the
// pool when the set-up fails (see undo_block_of_failed_setup).
void setup_frame_resources(aac_decoder *dec)
{
    const aac_layout &layout = aac_layouts[dec->channel_configuration];
    dec->pns_state = 0;
    if (dec->pool != nullptr) {
        aac_status status = dec->pool->ops->get(dec->pool, &dec->out_block);
        if (status < 0)
            aac_raise(status);
    }
    for (void *&work : dec->work_alloc) {
        if (work == nullptr) {
            work = aac_alloc_aligned(aac_workspace_size(layout));
            if (work == nullptr)
                aac_raise(AAC_ERR_NO_MEMORY, "frame workspace");
        }
    }
    dec->cur_work = static_cast<char *>(dec->work_alloc[0]) + AAC_SLOT_EMPTY;
    dec->prev_work = static_cast<char *>(dec->work_alloc[1]) + AAC_SLOT_EMPTY;
    for (int c = 0; c < layout.num_channels; c++)
        dec->channel_gain[c] = get_channel_gain(dec, c);
    if (he_decoder *he = he_of(dec))
        he_setup(he);
    dec->initialised = 1;
}

}  // namespace

void reconstruct_elements(aac_decoder *dec, const aac_layout &layout, char *work)
{
    for (int i = 0; i < layout.num_elements; i++) {
        const aac_layout_element &e = layout.elements[i];
        char *record = work + aac_element_offset(layout, i);
        if (e.kind == AAC_ELEMENT_CPE) {
            if (dec->channel_gain[e.channel] || dec->channel_gain[e.channel + 1])
                decode_channel_pair(dec, reinterpret_cast<aac_channel_pair_state *>(record));
        } else if (dec->channel_gain[e.channel]) {
            decode_single_channel(dec, reinterpret_cast<aac_channel_state *>(record));
        }
    }
}

void drive_frame(aac_decoder *dec)
{
    const aac_layout &layout = aac_layouts[dec->channel_configuration];
    char *work = pointer_of(dec->cur_work);
    char *prev = pointer_of(dec->prev_work);
    uint32_t prev_state = state_of(dec->prev_work);
    auto *out = reinterpret_cast<float *>(pointer_of(dec->out_block));

    reconstruct_elements(dec, layout, work);

    if (dec->output_hook != nullptr && prev_state == AAC_SLOT_VALID && out != nullptr) {
        for (int i = 0; i < layout.num_elements; i++) {
            const aac_layout_element &e = layout.elements[i];
            uint32_t offset = aac_element_offset(layout, i);
            float *channel_out = out + AAC_FRAME_LENGTH * e.channel;
            if (e.kind == AAC_ELEMENT_CPE) {
                output_channel_pair(dec->channel_gain[e.channel], dec->channel_gain[e.channel + 1],
                                    channel_out,
                                    reinterpret_cast<const aac_channel_pair_state *>(prev + offset),
                                    reinterpret_cast<const aac_channel_pair_state *>(work + offset));
            } else {
                output_single_channel(dec->channel_gain[e.channel], channel_out,
                                      reinterpret_cast<const aac_channel_state *>(prev + offset),
                                      reinterpret_cast<const aac_channel_state *>(work + offset));
            }
        }
    }

    set_state(dec->cur_work, AAC_SLOT_VALID);
    exchange_workspaces(dec);
    dec->frame_open = 0;
    if (prev_state != AAC_SLOT_EMPTY) {
        set_state(dec->out_block, prev_state);
        call_output_hook(dec);
    }
}

namespace {

// The current frame failed: it becomes a lost frame, and the block that
// would have needed it is reported lost.
void drop_frame(aac_decoder *dec)
{
    dec->frame_open = 0;
    uint32_t prev_state = state_of(dec->prev_work);
    set_state(dec->cur_work, AAC_SLOT_LOST);
    exchange_workspaces(dec);
    if (prev_state != AAC_SLOT_EMPTY) {
        set_state(dec->out_block, AAC_SLOT_LOST);
        call_output_hook(dec);
    }
}

void end_stream(aac_decoder *dec)
{
    dec->frame_open = 0;
    set_state(dec->cur_work, AAC_SLOT_EMPTY);
    exchange_workspaces(dec);
    set_state(dec->out_block, AAC_SLOT_EMPTY);
    call_output_hook(dec);
}

// A set-up that took a block from the pool and then failed gives it back,
// so that the repeated set-up takes one again and no block is lost; the
// slot gets back what it held before, which may be a block the host placed
// there and still owns.
void undo_block_of_failed_setup(aac_decoder *dec, void *block_before)
{
    if (dec->initialised || dec->out_block == block_before)
        return;
    dec->pool->ops->put(dec->pool, pointer_of(dec->out_block));
    dec->out_block = block_before;
}

bool concealable(aac_status status)
{
    return status == AAC_ERR_CORRUPT_FRAME || status == AAC_ERR_BAD_STREAM;
}

}  // namespace

}  // namespace lumdec

using namespace lumdec;

extern "C" AAC_API aac_status AAC_CALL aac_dec_decode(aac_decoder *dec)
{
    if (dec == nullptr)
        return AAC_ERR_BAD_STREAM;
    bool conceal = dec->conceal_errors > 0;
    void *const block_before = dec->out_block;
    aac_guard guard;
    aac_status status = guard.run([dec] {
        if (!dec->initialised)
            setup_frame_resources(dec);
        dec->frame_open = 1;
        set_state(dec->cur_work, AAC_SLOT_VALID);
        if (dec->input_size >= 1) {
            if (dec->input_data == nullptr)
                aac_raise(AAC_ERR_CORRUPT_FRAME, "input_size without input_data");
            aac_parse_raw_data_block(dec);
            if (he_decoder *he = he_of(dec))
                he_drive_frame(he);
            else
                drive_frame(dec);
        } else {
            end_stream(dec);
        }
    });
    if (status != AAC_OK)
        undo_block_of_failed_setup(dec, block_before);
    if (status != AAC_OK && conceal && concealable(status)) {
        dec->error_count += 1;
        status = dec->frame_open == 1 ? guard.run([dec] { drop_frame(dec); }) : AAC_OK;
    }
    return status;
}
