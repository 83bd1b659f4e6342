#include "decoding.h"

#include <cerrno>
#include <memory>
#include <unistd.h>

#include "audio_writer.h"
#include "interrupt.h"

namespace aacdec {

namespace {

// Standard input through the read hook; a stop request ends the read.
int64_t AAC_CALL read_stdin(void *, void *buffer, int32_t size)
{
    for (;;) {
        ssize_t got = ::read(STDIN_FILENO, buffer, static_cast<size_t>(size));
        if (got >= 0)
            return got;
        if (errno != EINTR || stop_signal() != 0)
            return -1;
    }
}

Failure failure_of(aac_status status)
{
    switch (status) {
    case AAC_ERR_BAD_STREAM: return Failure::unsupported;
    case AAC_ERR_ARGUMENT: return Failure::usage;
    case AAC_ERR_CORRUPT_FRAME: return Failure::decode;
    default: return Failure::input;
    }
}

}  // namespace

Input::Input(const std::string &path, int track, bool strict, float gain)
{
    aac_file_config config{};
    config.gain = gain;
    config.strict = strict ? 1 : 0;
    if (aac_file_create(&file_, &config) != AAC_OK)
        fail(Failure::input, "out of memory");
    // A constructor that throws runs no destructor: the handle is closed here.
    try {
        aac_status status;
        if (path == "-") {
            aac_file_io io{read_stdin, nullptr, nullptr, nullptr};
            status = aac_file_open_io(file_, &io, track);
        } else {
            status = aac_file_open_path(file_, path.c_str(), track);
        }
        if (status != AAC_OK)
            failed(status);
        aac_file_get_info(file_, &info_);
        if (track != 0 && info_.container == AAC_CONTAINER_ADTS)
            fail(Failure::usage, "--track applies to MP4 files; this is an ADTS stream");
    } catch (...) {
        aac_file_close(file_);
        throw;
    }
}

Input::~Input()
{
    aac_file_close(file_);
}

void Input::scan()
{
    aac_status status = aac_file_scan(file_);
    if (status != AAC_OK)
        failed(status);
    aac_file_get_info(file_, &info_);
}

void Input::failed(aac_status status) const
{
    check_stop();
    if (status == AAC_ERR_NO_MEMORY)
        fail(Failure::input, "out of memory");
    fail(failure_of(status), aac_file_error(file_));
}

DecodeSummary decode(Input &in, AudioWriter &out, Progress &progress)
{
    // Planes of 1024 samples, 16-byte aligned for the conversion services.
    struct alignas(16) Block {
        float samples[8 * 1024];
    };
    auto block = std::make_unique<Block>();
    const aac_file_info &info = in.info();
    DecodeSummary summary;
    for (;;) {
        check_stop();
        int32_t n = aac_file_read(in.handle(), block->samples, 1024,
                                  AAC_READ_PLANAR |
                                      (out.decoder_order() ? AAC_READ_DECODER_ORDER : 0));
        in.take_warnings([&](const std::string &w) { progress.warning(w); });
        if (n < 0)
            in.failed(n);
        if (n == 0)
            break;
        out.write(block->samples, 0, static_cast<size_t>(n));
        summary.samples += static_cast<uint64_t>(n);
        progress.advanced(aac_file_progress(in.handle()),
                          static_cast<double>(summary.samples) / info.sample_rate);
    }
    aac_file_stats stats{};
    aac_file_get_stats(in.handle(), &stats);
    summary.frames = static_cast<uint64_t>(stats.frames);
    summary.lost_frames = static_cast<uint64_t>(stats.lost_frames);
    summary.seconds = static_cast<double>(summary.samples) / info.sample_rate;
    return summary;
}

}  // namespace aacdec
