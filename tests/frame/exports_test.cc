// liblumdec.so exports the C interface and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

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


std::set<std::string> exported_symbols(const char *library)
{
    std::string command = std::string("nm -D --defined-only '") + library + "' 2>&1";
    std::set<std::string> names;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        auto space = text.rfind(' ');
        names.insert(space == std::string::npos ? text : text.substr(space + 1));
    }
    pclose(pipe);
    return names;
}

TEST(SharedLibrary, ExportsExactlyTheCInterface)
{
    std::set<std::string> exported = exported_symbols(LUMDEC_SHARED_LIBRARY);
    ASSERT_FALSE(exported.empty()) << "could not read the symbols of " LUMDEC_SHARED_LIBRARY;
    for (const std::string &name : exported) {
        if (name.empty())
            continue;
        EXPECT_TRUE(interface_names.count(name)) << "unexpected export: " << name;
    }
    for (const std::string &name : interface_names)
        EXPECT_TRUE(exported.count(name)) << "missing export: " << name;
}

}  // namespace
