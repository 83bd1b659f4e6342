// aacdec: decodes AAC LC, HE-AAC and HE-AAC v2 from ADTS and MP4/M4A files
// with lumdec.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "audio_writer.h"
#include "console.h"
#include "decoding.h"
#include "downmix.h"
#include "info.h"
#include "interrupt.h"
#include "options.h"
#include "output_file.h"
#include "tool_error.h"

using namespace aacdec;

namespace {

void on_signal(int signal)
{
    request_stop(signal);
}

// Without SA_RESTART, so that a read or write blocked on a pipe returns and
// sees the request.
void catch_signal(int signal)
{
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

// The fold --downmix asks for, after saying what it does.
const Downmix *chosen_downmix(int layout, const std::string &file, Console &console)
{
    const Downmix *mix = downmix_for(layout);
    if (mix)
        console.note(file, mix->description);
    else if (layout == 10)
        console.warning(file, "--downmix: dual mono holds two programmes; both channels are "
                              "written as they are");
    return mix;
}

bool same_file(const std::string &a, const std::string &b)
{
    struct stat sa, sb;
    return a != "-" && b != "-" && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int decode_file(const Job &job, const Options &options, Console &console, std::string position)
{
    try {
        if (same_file(job.input, job.output))
            fail(Failure::usage, "the output " + job.output + " is the input itself");
        check_stop();
        Input in(job.input, options.track, options.strict, decoder_gain(job.format));
        in.take_warnings([&](const std::string &w) { console.warning(job.input, w); });
        const aac_file_info &info = in.info();
        if (!info.decodable)
            fail(Failure::unsupported, info.unsupported);
        const Downmix *mix =
            options.downmix ? chosen_downmix(info.layout, job.input, console) : nullptr;
        AudioWriter writer(job.output, job.format, info.channels, info.channel_mask, mix,
                           static_cast<uint32_t>(info.sample_rate));
        FileProgress progress(console, job.input, std::move(position));
        DecodeSummary summary = decode(in, writer, progress);
        writer.finish();
        progress.finished(summary, job.output == "-" ? "standard output" : job.output);
        return 0;
    } catch (const ToolError &e) {
        console.error(job.input, e.what());
        return exit_status(e.failure());
    } catch (const std::bad_alloc &) {
        console.error(job.input, "out of memory");
        return exit_status(Failure::input);
    }
}

int describe(const Options &options, Console &console)
{
    int status = 0;
    for (size_t i = 0; i < options.inputs.size(); i++) {
        try {
            if (i > 0)
                std::fputc('\n', stdout);
            print_info(options.inputs[i], options.track, console, stdout);
        } catch (const ToolError &e) {
            console.error(options.inputs[i], e.what());
            if (status == 0)
                status = exit_status(e.failure());
        }
    }
    return status;
}

// Each thread takes the next file; statuses are kept per file so the exit
// status is that of the first failed file in command-line order.
std::vector<int> run_jobs(const std::vector<Job> &jobs, const Options &options, Console &console)
{
    std::vector<int> status(jobs.size(), 0);
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i; stop_signal() == 0 && (i = next++) < jobs.size();) {
            char position[48] = "";
            if (jobs.size() > 1)
                std::snprintf(position, sizeof position, "[%zu/%zu] ", i + 1, jobs.size());
            status[i] = decode_file(jobs[i], options, console, position);
        }
    };
    size_t threads = std::min<size_t>(static_cast<size_t>(options.jobs), jobs.size());
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; t++)
        pool.emplace_back(worker);
    worker();
    for (std::thread &t : pool)
        t.join();
    return status;
}

}  // namespace

int main(int argc, char **argv)
{
    remember_umask();
    std::signal(SIGPIPE, SIG_IGN);
    catch_signal(SIGINT);
    catch_signal(SIGTERM);

    Options options;
    std::vector<Job> jobs;
    try {
        options = parse_options(argc, argv);
        if (!options.help && !options.version && !options.info)
            jobs = plan_jobs(options);
    } catch (const ToolError &e) {
        std::fprintf(stderr, "aacdec: %s\nTry 'aacdec --help'.\n", e.what());
        return exit_status(e.failure());
    }
    if (options.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("aacdec %s (lumdec)\n", LUMDEC_VERSION);
        return 0;
    }
    Console console(options.quiet, ::isatty(STDERR_FILENO) == 1);
    if (options.info)
        return describe(options, console);
    if (!options.directory.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.directory, error);
        if (error) {
            console.error("", "cannot create the directory " + options.directory + ": " +
                                  error.message());
            return exit_status(Failure::output);
        }
    }

    std::vector<int> status = run_jobs(jobs, options, console);
    console.clear();
    if (stop_signal() != 0)
        return exit_status(Failure::interrupted);
    for (int s : status)
        if (s != 0)
            return s;
    return 0;
}
