// A host program of the shared library (on Windows, of lumdec01.dll through
// its import library).  It decodes every test stream through the library
// and prints one line per stream with a hash of everything the decoder
// handed back: statuses, bytes used, block states and samples.  Builds for
// other platforms compare their lines with those of the native build, so
// the decoded output must be the same bytes on every build.
//
//   library_host [--write FILE] [--expect FILE] [--threads N]
//
// --write saves the lines, --expect compares them with saved ones, and
// --threads N also decodes every stream on N threads at once, each of which
// must get the same lines as the first pass.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "decode_stream.h"
#include "test_streams.h"

namespace {

// FNV-1a over the bytes of each field, each vector preceded by its length.
struct Fnv64 {
    uint64_t value = 0xCBF29CE484222325u;
    void bytes(const void *data, size_t size)
    {
        for (size_t i = 0; i < size; i++)
            value = (value ^ static_cast<const unsigned char *>(data)[i]) * 0x100000001B3u;
    }
    template <class T>
    void all(const std::vector<T> &v)
    {
        const uint64_t n = v.size();
        bytes(&n, sizeof n);
        bytes(v.data(), v.size() * sizeof(T));
    }
};

std::vector<std::string> describe_all()
{
    std::vector<std::string> lines;
    for (const TestStream &stream : test_streams()) {
        const DecodeResult r = decode_stream(stream);
        Fnv64 h;
        h.bytes(&r.create_status, sizeof r.create_status);
        h.all(r.status);
        h.all(r.bytes_used);
        h.all(r.block_states);
        h.all(r.samples);
        h.bytes(&r.error_count, sizeof r.error_count);
        char line[256];
        std::snprintf(line, sizeof line, "%s create=0x%08" PRIX32 " blocks=%zu samples=%zu hash=%016" PRIx64,
                      stream.name.c_str(), static_cast<uint32_t>(r.create_status), r.block_states.size(),
                      r.samples.size(), h.value);
        lines.push_back(line);
    }
    return lines;
}

int fail(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "library_host: %s%s\n", what, detail.c_str());
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    const char *write_path = nullptr, *expect_path = nullptr;
    int threads = 0;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--write") && i + 1 < argc)
            write_path = argv[++i];
        else if (!std::strcmp(argv[i], "--expect") && i + 1 < argc)
            expect_path = argv[++i];
        else if (!std::strcmp(argv[i], "--threads") && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else
            return fail("usage: library_host [--write FILE] [--expect FILE] [--threads N]", "");
    }

    int failures = 0;
    const std::vector<TestStream> &streams = test_streams();
    std::vector<std::string> lines = describe_all();
    for (size_t i = 0; i < streams.size(); i++) {
        std::printf("%s\n", lines[i].c_str());
        char expected[32];
        std::snprintf(expected, sizeof expected, "create=0x%08" PRIX32,
                      static_cast<uint32_t>(streams[i].expected_status));
        if (lines[i].find(expected) == std::string::npos)
            failures += fail("creation status is not the listed one: ", lines[i]);
    }

    if (threads > 0) {
        std::vector<std::vector<std::string>> results(threads);
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; t++)
            pool.emplace_back([&results, t] { results[t] = describe_all(); });
        for (std::thread &thread : pool)
            thread.join();
        for (int t = 0; t < threads; t++)
            for (size_t i = 0; i < lines.size(); i++)
                if (results[t][i] != lines[i])
                    failures += fail("a thread decoded differently: ", results[t][i]);
        std::printf("%d threads decoded the same\n", threads);
    }

    if (write_path) {
        std::ofstream out(write_path);
        for (const std::string &line : lines)
            out << line << '\n';
        if (!out)
            failures += fail("cannot write ", write_path);
    }

    if (expect_path) {
        std::ifstream in(expect_path);
        std::map<std::string, std::string> expected;
        for (std::string line; std::getline(in, line);)
            expected[line.substr(0, line.find(' '))] = line;
        if (expected.empty())
            return fail("no lines to compare with in ", expect_path);
        size_t same = 0;
        for (const std::string &line : lines) {
            auto it = expected.find(line.substr(0, line.find(' ')));
            if (it == expected.end())
                failures += fail("not in the expected lines: ", line);
            else if (it->second != line)
                failures += fail("differs: ", line + "\n    expected: " + it->second);
            else
                same++;
        }
        if (expected.size() != lines.size())
            failures += fail("the expected lines list other streams: ", expect_path);
        std::printf("%zu of %zu streams decode to the same bytes as in %s\n", same, lines.size(),
                    expect_path);
    }
    return failures != 0;
}
