#include "options.h"

#include <cstdlib>
#include <set>
#include <thread>

#include "tool_error.h"

namespace aacdec {

namespace {

int number(const std::string &option, const std::string &text, int low, int high)
{
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < low || v > high)
        fail(Failure::usage, option + " takes a number from " + std::to_string(low) + " to " +
                                 std::to_string(high) + ", not '" + text + "'");
    return static_cast<int>(v);
}

std::string stem(const std::string &path)
{
    size_t slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

bool takes_value(const std::string &name)
{
    for (const char *n : {"-o", "--output", "-d", "--directory", "-f", "--format", "--track", "-j", "--jobs"})
        if (name == n)
            return true;
    return false;
}

void set_value(Options &o, const std::string &name, const std::string &value)
{
    if (name == "-o" || name == "--output") {
        o.output = value;
    } else if (name == "-d" || name == "--directory") {
        o.directory = value;
    } else if (name == "-f" || name == "--format") {
        o.format = format_named(value);
        if (!o.format)
            fail(Failure::usage, "unknown format '" + value + "'");
    } else if (name == "--track") {
        o.track = number(name, value, 1, 1 << 20);
    } else {
        o.jobs = number(name, value, 0, 256);
        if (o.jobs == 0)
            o.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
}

// False for an unknown option.
bool set_flag(Options &o, const std::string &arg)
{
    if (arg == "--downmix")
        o.downmix = true;
    else if (arg == "--strict")
        o.strict = true;
    else if (arg == "--info")
        o.info = true;
    else if (arg == "-q" || arg == "--quiet")
        o.quiet++;
    else if (arg == "-qq")
        o.quiet += 2;
    else if (arg == "-h" || arg == "--help")
        o.help = true;
    else if (arg == "--version")
        o.version = true;
    else
        return false;
    return true;
}

}  // namespace

const char *usage_text()
{
    return "usage: aacdec [options] FILE...\n"
           "Decodes AAC LC from ADTS (.aac) and MP4/M4A files; FILE '-' reads standard input.\n"
           "\n"
           "  -o FILE         output file ('-': standard output); one input only\n"
           "  -d DIR          directory for the default output names (default: current)\n"
           "  -f FORMAT       wav16 (default), wav24, wavf (32-bit float), flac, flac24,\n"
           "                  f32 (raw little-endian float, decoder channel order);\n"
           "                  without -f the extension of -o decides\n"
           "      --downmix   fold 3.0 to 7.1 to stereo (centre and surrounds at -3 dB,\n"
           "                  LFE dropped, scaled so that nothing clips)\n"
           "      --track N   decode the Nth audio track of an MP4 file (default 1)\n"
           "      --strict    stop at the first damaged frame (exit status 5)\n"
           "      --info      describe the input without decoding\n"
           "  -j N            decode up to N files at once (0: one per processor)\n"
           "  -q              no progress line; -qq: no warnings either\n"
           "  -h, --help      this text\n"
           "      --version   the version\n"
           "\n"
           "Exit status: 0 success, 1 usage, 2 unreadable or damaged input, 3 unsupported\n"
           "stream, 4 output not writable, 5 damaged frame with --strict, 128 + the signal\n"
           "when interrupted (130 SIGINT, 143 SIGTERM).\n";
}

Options parse_options(int argc, const char *const *argv)
{
    Options o;
    bool only_files = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (only_files || arg == "-" || arg.empty() || arg[0] != '-') {
            o.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            only_files = true;
            continue;
        }
        // Options with a value: "-o FILE", "-oFILE", "--track N", "--track=N".
        std::string name = arg, value;
        bool inline_value = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                inline_value = true;
            }
        } else if (arg.size() > 2 && arg != "-qq") {
            name = arg.substr(0, 2);
            value = arg.substr(2);
            inline_value = true;
        }
        auto take_value = [&]() -> std::string {
            if (inline_value)
                return value;
            if (i + 1 >= argc)
                fail(Failure::usage, name + " needs a value");
            return argv[++i];
        };
        if (takes_value(name))
            set_value(o, name, take_value());
        else if (inline_value || !set_flag(o, arg))
            fail(Failure::usage, "unknown option '" + arg + "'");
    }
    if (!o.help && !o.version && o.inputs.empty())
        fail(Failure::usage, "no input file");
    return o;
}

std::vector<Job> plan_jobs(const Options &o)
{
    if (!o.output.empty() && o.inputs.size() > 1)
        fail(Failure::usage, "-o names one output, but there are " +
                                 std::to_string(o.inputs.size()) + " inputs (use -d)");
    if (!o.output.empty() && !o.directory.empty())
        fail(Failure::usage, "-o and -d exclude each other");
    std::vector<Job> jobs;
    std::set<std::string> outputs;
    for (const std::string &input : o.inputs) {
        Job job{input, o.output, o.format.value_or(Format::wav16)};
        if (!job.output.empty()) {
            if (!o.format && job.output != "-") {
                std::optional<Format> f = format_for_path(job.output);
                if (!f && has_extension(job.output))
                    fail(Failure::usage, "cannot tell the format of " + job.output +
                                             " (.wav, .flac, .f32 or .raw; or give -f)");
                job.format = f.value_or(Format::wav16);
            }
        } else if (input == "-") {
            fail(Failure::usage, "standard input needs -o to name its output");
        } else {
            std::string dir = o.directory.empty() ? "" : o.directory + "/";
            job.output = dir + stem(input) + extension_of(job.format);
        }
        if (job.output != "-" && !outputs.insert(job.output).second)
            fail(Failure::usage, "two inputs would both be written to " + job.output);
        jobs.push_back(job);
    }
    return jobs;
}

}  // namespace aacdec
