// The shared library exports the C interface under its plain names and
// nothing else, and it can be loaded and unloaded again and again: each
// unload frees the thread-local slot that its load took.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "lumdec.h"
#include "shared_library.h"

namespace {

const std::set<std::string> interface_names = {
    "aac_enc_create", "aac_enc_destroy", "aac_enc_encode",
    "aac_dec_create", "aac_dec_destroy", "aac_dec_decode",
    "aac_calc_crc_bytes", "aac_calc_crc_syn_elems",
    "aac_frame_alloc_create",
    "aac_set_malloc_func_table", "aac_set_debug_trace",
    "aac_convert_single_to_raw", "aac_convert_single_from_raw",
    "aac_convert_pair_to_raw", "aac_convert_pair_from_raw",
    "aac_downmix_3_2_to_pair_raw", "aac_downmix_3_2_to_pair",
    "aac_fade_in_channels", "aac_fade_out_channels", "aac_mute_channels",
};

TEST(SharedLibrary, ExportsExactlyTheCInterface)
{
    std::set<std::string> exported = exported_names(LUMDEC_SHARED_LIBRARY);
    ASSERT_FALSE(exported.empty()) << "could not read the exports of " LUMDEC_SHARED_LIBRARY;
    for (const std::string &name : exported)
        EXPECT_TRUE(interface_names.count(name)) << "unexpected export: " << name;
    for (const std::string &name : interface_names)
        EXPECT_TRUE(exported.count(name)) << "missing export: " << name;
}

// Each load takes a slot for the error frames, and its unload frees it.
TEST(SharedLibrary, EveryUnloadFreesTheSlotOfItsLoad)
{
    using create_fn = decltype(&aac_frame_alloc_create);
    for (int cycle = 0; cycle < 20; cycle++) {
        const unsigned free_before = lowest_free_slot();
        void *library = load_shared_library(LUMDEC_SHARED_LIBRARY);
        ASSERT_NE(library, nullptr) << "load " << cycle;
        EXPECT_GT(lowest_free_slot(), free_before) << "the load took no slot";
        auto create = reinterpret_cast<create_fn>(find_export(library, "aac_frame_alloc_create"));
        ASSERT_NE(create, nullptr);
        // A guarded export: it runs only with the load's slot in place.
        aac_frame_alloc *pool = nullptr;
        ASSERT_EQ(create(&pool, 1), AAC_OK) << "load " << cycle;
        EXPECT_EQ(pool->ops->destroy(pool), AAC_OK);
        unload_shared_library(library);
        EXPECT_LE(lowest_free_slot(), free_before + runtime_slots_kept_per_load)
            << "unload " << cycle << " kept a slot";
    }
}

}  // namespace
