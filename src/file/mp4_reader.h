// A reader for the audio tracks of ISO base media (MP4/M4A) files: sample
// descriptions, sample tables, movie fragments and edit lists.  It keeps
// the boxes that describe the media and leaves the media data in the file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "file/byte_source.h"
#include "file/mp4_box.h"

namespace lumdec::file {

struct Mp4Sample {
    uint64_t offset;
    uint32_t size;
};

struct Mp4Edit {
    uint64_t segment_duration;  // movie timescale
    int64_t media_time;         // media timescale; -1 for an empty edit
    int32_t media_rate;         // 16.16
};

struct Mp4Track {
    uint32_t track_id = 0;
    uint32_t media_timescale = 0;
    uint64_t media_duration = 0;
    uint32_t sample_entry = 0;  // fourcc of the first sample description
    uint32_t sample_descriptions = 0;
    bool several_descriptions_used = false;
    uint16_t channel_count = 0;  // as the sample entry states them
    uint32_t sample_rate = 0;
    int object_type_indication = -1;  // of the esds; -1 without one
    std::vector<uint8_t> audio_specific_config;
    bool has_edit_list = false;
    std::vector<Mp4Edit> edits;
    std::vector<Mp4Sample> samples;
    // Sum of the sample durations the tables give (media timescale), and
    // whether they give any: the media ends there.
    uint64_t sample_durations = 0;
    bool has_durations = false;
    // Samples are taken only while they fit in the file: each counts at
    // least one byte, so a damaged table cannot claim more samples than the
    // file has bytes.  The ones left out count as missing at the end.
    uint64_t file_size = UINT64_MAX;
    uint64_t claimed_bytes = 0;
    uint64_t samples_cut = 0;
};

struct Mp4Tag {
    std::string name;   // "title", "artist", ...
    std::string value;  // UTF-8
};

struct Mp4File {
    uint32_t movie_timescale = 0;
    std::vector<Mp4Tag> tags;  // the iTunes metadata list of the movie
    bool fragmented = false;
    bool moov_before_mdat = false;
    std::vector<Mp4Track> audio_tracks;  // in file order
};

inline constexpr uint32_t kMaxSamples = 1u << 24;  // per track, some 100 hours

// Whether the bytes at the start of a file look like an MP4 box.
bool looks_like_mp4(std::span<const uint8_t> head);

// Reads the file's structure; FileError (input) when it is damaged.
Mp4File read_mp4(ByteSource &file);

// The parts, for the reader and its tests.
void read_sample_entry(std::span<const uint8_t> stsd, Mp4Track &track);
void read_esds(std::span<const uint8_t> esds, Mp4Track &track);
void read_sample_table(const std::vector<Box> &stbl, Mp4Track &track);

struct TrackDefaults {
    uint32_t sample_description_index = 1;
    uint32_t sample_duration = 0;
    uint32_t sample_size = 0;
};

// What the fragments of a file refer to by track_ID: the defaults of the
// movie's track extends boxes and the audio tracks samples are added to.
struct FragmentTracks {
    std::unordered_map<uint32_t, TrackDefaults> defaults;
    std::unordered_map<uint32_t, Mp4Track *> tracks;
};

// Appends the samples of one movie fragment (the payload of a moof box
// that starts at moof_offset in the file) to the tracks they belong to.
void read_movie_fragment(std::span<const uint8_t> moof, uint64_t moof_offset,
                         const FragmentTracks &index);

// The name under which read_tags returns the gapless playback record.
inline constexpr const char *kGaplessTag = "iTunSMPB";
// The iTunes metadata list ('ilst', inside 'udta'/'meta' of the movie).
std::vector<Mp4Tag> read_tags(const std::vector<Box> &moov);

}  // namespace lumdec::file
