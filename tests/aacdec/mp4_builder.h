// Builds small MP4 files around given AAC frames, laid out the ways the
// reader has to handle: moov before or after mdat, chunking, 64-bit chunk
// offsets, edit lists, movie fragments with their different ways of giving
// offsets and sizes, and a second audio track.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

void put(Bytes &b, uint64_t value, int bytes);
Bytes box(const std::string &type, const Bytes &payload);
Bytes full_box(const std::string &type, uint8_t version, uint32_t flags, const Bytes &payload);

enum class Fragments {
    none,
    moof_relative,   // default-base-is-moof, data offset and size per sample
    explicit_base,   // base offset in tfhd, two runs per fragment, no data offsets
    trex_defaults,   // sizes from trex (all frames the same size), data offsets
};

struct Mp4Layout {
    bool moov_first = false;
    bool co64 = false;
    uint32_t samples_per_chunk = 0;  // 0: one chunk
    Fragments fragments = Fragments::none;
    uint32_t samples_per_fragment = 5;
    // Edit list entries {media_time, segment_duration}, timescales = rate.
    std::vector<std::pair<int64_t, uint64_t>> edits;
    uint32_t sample_rate = 48000;
    Bytes audio_specific_config;
    bool esds = true;
    bool video_track_first = false;  // a non-audio track ahead of the audio
    bool second_audio_track = false; // the same frames again, as track 2
    int quicktime_version = 0;       // 1 or 2: a QuickTime entry, the 'esds' inside 'wave'
    int64_t media_duration = -1;     // of the media header; -1: the frames' length
    // iTunes list: type, text; a type "----:NAME" is a freeform item.
    std::vector<std::pair<std::string, std::string>> tags;
};

Bytes build_mp4(const std::vector<Bytes> &frames, const Mp4Layout &layout);

// An AudioSpecificConfig for AAC LC without extensions.
Bytes lc_config(int sampling_frequency_index, int channel_configuration);
