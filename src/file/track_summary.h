// What the file interface reports about an opened input: the info record
// with the strings it points into, the track list, and the warnings in the
// order they were found.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file/input.h"
#include "lumdec.h"

namespace lumdec::file {

class FileDecoder;

struct Summary {
    aac_file_info info{};
    std::vector<aac_file_track> tracks;
    // Storage of the strings the records point into.
    std::string container, codec, layout_name, speakers, unsupported;
    std::string title, artist, album, encoder;
    std::vector<std::string> track_codecs;
    // End-of-stream warnings of a scan.
    std::vector<std::string> scan_warnings;
};

// Fills s in place (its records point into it); decoder is null when the
// track cannot be decoded.
void summarise(Summary &s, const OpenedInput &in, const FileDecoder *decoder);
// Frames and bytes counted by a scan of an ADTS stream, and the frames it
// presumes lost in skipped bytes (concealed, so they add to the length).
void complete_counts(Summary &summary, uint64_t frames, uint64_t lost, uint64_t bytes);

// Warnings of the opener, of a scan, then of the decoding.
size_t warning_count(const Summary &summary, const InputInfo &info, FileDecoder *decoder);
const std::string *warning_at(const Summary &summary, const InputInfo &info, FileDecoder *decoder,
                              size_t index);

}  // namespace lumdec::file
