// lumdec and libavcodec's AAC decoder timed on the same raw_data_blocks in
// one run, on one processor.  Both decoders decode the stream once before
// timing.  Each round then goes through the stream in runs of --run frames
// (default 16), each run decoded by one decoder and then by the other (the
// order alternates), every run timed on its own.  A run's time is the median
// over the rounds, so work of other programs that lands in a few rounds
// drops out; the time per frame is the sum of the runs' medians over the
// frames.  For measuring by hand, not a test.
//
//   side_by_side [--he] [--rounds N] [--run F] [--cpu C] STREAM.aac...
//
// --he decodes with implicit SBR and PS (lumdec through aac_dec_create_he;
// libavcodec finds SBR in the frames itself): times are per output frame.
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include "adts_stream.h"
#include "lumdec.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Stream {
    std::vector<uint8_t> file;
    std::vector<lumdec_host::AdtsFrame> frames;
};

aac_status AAC_CALL take_block(aac_decoder *, void **) { return AAC_OK; }

struct Lumdec {
    aac_decoder *dec = nullptr;
    aac_frame_alloc *pool = nullptr;
    int channels = 0;

    bool open(const Stream &s, bool he)
    {
        aac_he_config config{};
        config.core.profile = 1;
        config.core.sampling_frequency_index = s.frames[0].sampling_frequency_index;
        config.core.channel_configuration = s.frames[0].channel_configuration;
        config.sbr_mode = he ? AAC_SBR_IMPLICIT : AAC_SBR_OFF;
        config.ps_mode = he ? AAC_PS_IMPLICIT : AAC_PS_OFF;
        if ((he ? aac_dec_create_he(&dec, &config) : aac_dec_create(&dec, &config.core)) != AAC_OK)
            return false;
        aac_output_format format;
        aac_dec_get_format(dec, &format);
        if (aac_frame_alloc_create(&pool, format.block_bytes / 4096) != AAC_OK)
            return false;
        for (float &g : dec->gain)
            g = 1.0f;
        dec->pool = pool;
        dec->output_hook = take_block;
        return true;
    }

    bool decode(const Stream &s, size_t first, size_t end)
    {
        for (size_t i = first; i < end; i++) {
            const lumdec_host::AdtsFrame &f = s.frames[i];
            dec->input_data = s.file.data() + f.payload_offset;
            dec->input_size = static_cast<int32_t>(f.payload_size);
            if (aac_dec_decode(dec) != AAC_OK)
                return false;
        }
        return true;
    }

    // The end-of-stream call of a pass flushes the last block out.
    bool pass(const Stream &s)
    {
        if (!decode(s, 0, s.frames.size()))
            return false;
        dec->input_size = 0;
        aac_dec_decode(dec);
        aac_output_format format;
        aac_dec_get_format(dec, &format);
        channels = format.channels;
        return true;
    }

    ~Lumdec()
    {
        if (dec)
            aac_dec_destroy(dec);
        if (pool)
            pool->ops->destroy(pool);
    }
};

struct Libav {
    AVCodecContext *ctx = nullptr;
    AVFrame *frame = nullptr;
    std::vector<AVPacket *> packets;
    int channels = 0;

    // An AudioSpecificConfig of AAC LC from the ADTS header: libavcodec
    // then takes raw_data_blocks, and finds implicit SBR and PS itself.
    bool open(const Stream &s)
    {
        const AVCodec *codec = avcodec_find_decoder_by_name("aac");
        if (!codec || !(ctx = avcodec_alloc_context3(codec)) || !(frame = av_frame_alloc()))
            return false;
        const int sfi = s.frames[0].sampling_frequency_index;
        const int layout = s.frames[0].channel_configuration;
        ctx->extradata = static_cast<uint8_t *>(av_mallocz(2 + AV_INPUT_BUFFER_PADDING_SIZE));
        ctx->extradata[0] = static_cast<uint8_t>(2 << 3 | sfi >> 1);
        ctx->extradata[1] = static_cast<uint8_t>((sfi & 1) << 7 | layout << 3);
        ctx->extradata_size = 2;
        if (avcodec_open2(ctx, codec, nullptr) < 0)
            return false;
        for (const lumdec_host::AdtsFrame &f : s.frames) {
            AVPacket *p = av_packet_alloc();
            if (!p || av_new_packet(p, static_cast<int>(f.payload_size)) < 0)
                return false;
            std::memcpy(p->data, s.file.data() + f.payload_offset, f.payload_size);
            packets.push_back(p);
        }
        return true;
    }

    bool decode(size_t first, size_t end)
    {
        for (size_t i = first; i < end; i++) {
            if (avcodec_send_packet(ctx, packets[i]) < 0)
                return false;
            while (avcodec_receive_frame(ctx, frame) == 0) {
                channels = frame->ch_layout.nb_channels;
                av_frame_unref(frame);
            }
        }
        return true;
    }

    ~Libav()
    {
        for (AVPacket *p : packets)
            av_packet_free(&p);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
    }
};

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

int run(const std::string &path, bool he, int rounds, size_t run_frames)
{
    Stream s;
    s.file = lumdec_host::read_file(path);
    s.frames = lumdec_host::split_adts(s.file);
    if (s.frames.empty()) {
        std::fprintf(stderr, "side_by_side: %s holds no ADTS frame\n", path.c_str());
        return 2;
    }
    Lumdec ours;
    Libav theirs;
    if (!ours.open(s, he) || !theirs.open(s)) {
        std::fprintf(stderr, "side_by_side: cannot set up the decoders for %s\n", path.c_str());
        return 2;
    }
    if (!ours.pass(s) || !theirs.decode(0, s.frames.size())) {
        std::fprintf(stderr, "side_by_side: %s does not decode\n", path.c_str());
        return 2;
    }
    const size_t runs = (s.frames.size() + run_frames - 1) / run_frames;
    std::vector<std::vector<double>> t_ours(runs), t_theirs(runs);
    for (int r = 0; r < rounds; r++) {
        for (size_t j = 0; j < runs; j++) {
            const size_t first = j * run_frames;
            const size_t end = std::min(first + run_frames, s.frames.size());
            for (int k = 0; k < 2; k++) {
                const bool lumdec_now = (r + j + k) % 2 == 0;
                const Clock::time_point start = Clock::now();
                const bool ok = lumdec_now ? ours.decode(s, first, end) : theirs.decode(first, end);
                const double t = seconds_since(start);
                if (!ok)
                    return 2;
                (lumdec_now ? t_ours : t_theirs)[j].push_back(t);
            }
        }
    }
    double a = 0, b = 0;
    for (size_t j = 0; j < runs; j++) {
        a += median(t_ours[j]);
        b += median(t_theirs[j]);
    }
    a /= static_cast<double>(s.frames.size());
    b /= static_cast<double>(s.frames.size());
    std::string name = path.substr(path.find_last_of('/') + 1);
    std::printf("%-36s %2d/%d ch  lumdec %8.2f us  libavcodec %8.2f us  per frame  ratio %.3f\n",
                name.c_str(), ours.channels, theirs.channels, a * 1e6, b * 1e6, a / b);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    bool he = false;
    int rounds = 41, cpu = -1, run_frames = 16;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--he")
            he = true;
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--run" && i + 1 < argc)
            run_frames = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--cpu" && i + 1 < argc)
            cpu = std::atoi(argv[++i]);
        else
            paths.push_back(arg);
    }
    if (paths.empty()) {
        std::fprintf(stderr, "usage: side_by_side [--he] [--rounds N] [--run F] [--cpu C] STREAM.aac...\n");
        return 2;
    }
    // One processor for both: by default the one this program starts on.
    if (cpu < 0)
        cpu = sched_getcpu();
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (sched_setaffinity(0, sizeof set, &set) != 0)
        std::fprintf(stderr, "side_by_side: not pinned to processor %d\n", cpu);
    av_log_set_level(AV_LOG_ERROR);
    std::printf("processor %d, %d rounds, median time per %sframe\n", cpu, rounds,
                he ? "output " : "");
    int status = 0;
    for (const std::string &p : paths) {
        try {
            status = std::max(status, run(p, he, rounds, static_cast<size_t>(run_frames)));
        } catch (const std::exception &e) {
            std::fprintf(stderr, "side_by_side: %s\n", e.what());
            status = 2;
        }
    }
    return status;
}
