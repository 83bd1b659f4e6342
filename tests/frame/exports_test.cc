// liblumdec.so exports the C interface and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

TEST(SharedLibrary, ExportsExactlyTheCInterface)
{
    const std::set<std::string> interface = {
        "aac_enc_create", "aac_enc_destroy", "aac_enc_encode", "aac_dec_create", "aac_dec_destroy",
        "aac_dec_decode", "aac_calc_crc_bytes", "aac_calc_crc_syn_elems", "aac_frame_alloc_create",
        "aac_set_malloc_func_table", "aac_set_debug_trace", "aac_convert_single_to_raw",
        "aac_convert_single_from_raw", "aac_convert_pair_to_raw", "aac_convert_pair_from_raw",
        "aac_downmix_3_2_to_pair_raw", "aac_downmix_3_2_to_pair", "aac_fade_in_channels",
        "aac_fade_out_channels", "aac_mute_channels",
    };
    std::set<std::string> exported;
    FILE *pipe = popen("nm -D --defined-only '" LUMDEC_SHARED_LIBRARY "' 2>&1", "r");
    ASSERT_NE(pipe, nullptr);
    char name[512];
    for (char line[512]; std::fgets(line, sizeof line, pipe);)
        if (std::sscanf(line, "%*s %*s %511s", name) == 1)
            exported.insert(name);
    pclose(pipe);
    EXPECT_EQ(exported, interface);
}

}  // namespace
