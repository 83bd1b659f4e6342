#include "file/mp4_reader.h"

#include <optional>

namespace lumdec::file {

namespace {

// Boxes read into memory; anything larger is not a description of audio.
constexpr uint64_t kMaxMoov = 256u << 20;
constexpr uint64_t kMaxMoof = 64u << 20;
constexpr size_t kMaxTopLevelBoxes = 1u << 22;

struct TopLevelBox {
    uint64_t offset, size;
    size_t header;
};

// Skips the version and flags of a full box and returns the version.
uint8_t full_box(Cursor &c)
{
    uint8_t version = c.u8();
    c.skip(3);
    return version;
}

uint32_t read_track_id(std::span<const uint8_t> tkhd)
{
    Cursor c(tkhd, fourcc("tkhd"));
    c.skip(full_box(c) == 1 ? 16 : 8);
    return c.u32();
}

void read_media_header(std::span<const uint8_t> mdhd, Mp4Track &track)
{
    Cursor c(mdhd, fourcc("mdhd"));
    if (full_box(c) == 1) {
        c.skip(16);
        track.media_timescale = c.u32();
        track.media_duration = c.u64();
    } else {
        c.skip(8);
        track.media_timescale = c.u32();
        track.media_duration = c.u32();
    }
    if (track.media_timescale == 0)
        damaged("media timescale of track " + std::to_string(track.track_id) + " is 0");
}

void read_edit_list(std::span<const uint8_t> elst, Mp4Track &track)
{
    Cursor c(elst, fourcc("elst"));
    bool wide = full_box(c) == 1;
    uint32_t n = c.count(wide ? 20 : 12);
    track.has_edit_list = true;
    for (uint32_t i = 0; i < n; i++) {
        Mp4Edit e;
        if (wide) {
            e.segment_duration = c.u64();
            e.media_time = static_cast<int64_t>(c.u64());
        } else {
            e.segment_duration = c.u32();
            e.media_time = static_cast<int32_t>(c.u32());
        }
        e.media_rate = static_cast<int32_t>(c.u32());
        track.edits.push_back(e);
    }
}

std::optional<Mp4Track> read_track(std::span<const uint8_t> trak, uint64_t file_size)
{
    auto boxes = child_boxes(trak, fourcc("trak"));
    auto mdia = child_boxes(require_box(boxes, fourcc("mdia"), fourcc("trak")).payload,
                            fourcc("mdia"));
    Cursor hdlr(require_box(mdia, fourcc("hdlr"), fourcc("mdia")).payload, fourcc("hdlr"));
    full_box(hdlr);
    hdlr.skip(4);
    if (hdlr.u32() != fourcc("soun"))
        return std::nullopt;

    Mp4Track track;
    track.file_size = file_size;
    track.track_id = read_track_id(require_box(boxes, fourcc("tkhd"), fourcc("trak")).payload);
    read_media_header(require_box(mdia, fourcc("mdhd"), fourcc("mdia")).payload, track);
    if (const Box *edts = find_box(boxes, fourcc("edts"))) {
        auto edits = child_boxes(edts->payload, fourcc("edts"));
        if (const Box *elst = find_box(edits, fourcc("elst")))
            read_edit_list(elst->payload, track);
    }
    auto minf = child_boxes(require_box(mdia, fourcc("minf"), fourcc("mdia")).payload,
                            fourcc("minf"));
    auto stbl = child_boxes(require_box(minf, fourcc("stbl"), fourcc("minf")).payload,
                            fourcc("stbl"));
    read_sample_entry(require_box(stbl, fourcc("stsd"), fourcc("stbl")).payload, track);
    read_sample_table(stbl, track);
    return track;
}

// The track extends boxes, by track: fragments look theirs up once each.
std::unordered_map<uint32_t, TrackDefaults> read_track_extends(const std::vector<Box> &moov)
{
    std::unordered_map<uint32_t, TrackDefaults> defaults;
    const Box *mvex = find_box(moov, fourcc("mvex"));
    if (!mvex)
        return defaults;
    for (const Box &b : child_boxes(mvex->payload, fourcc("mvex"))) {
        if (b.type != fourcc("trex"))
            continue;
        Cursor c(b.payload, b.type);
        full_box(c);
        uint32_t track_id = c.u32();
        TrackDefaults d;
        d.sample_description_index = c.u32();
        d.sample_duration = c.u32();
        d.sample_size = c.u32();
        defaults.emplace(track_id, d);
    }
    return defaults;
}

std::vector<uint8_t> read_box_payload(ByteSource &file, const TopLevelBox &box, uint64_t limit,
                                      const char *name)
{
    uint64_t size = box.size - box.header;
    if (size > limit)
        damaged(std::string("'") + name + "' box of " + std::to_string(size) +
                " bytes is beyond any sane size");
    std::vector<uint8_t> payload(static_cast<size_t>(size));
    if (!file.read_at(box.offset + box.header, payload.data(), payload.size()))
        damaged("box runs past the end of the file");
    return payload;
}

}  // namespace

bool looks_like_mp4(std::span<const uint8_t> head)
{
    if (head.size() < 8)
        return false;
    uint32_t type = (uint32_t{head[4]} << 24) | (uint32_t{head[5]} << 16) |
                    (uint32_t{head[6]} << 8) | head[7];
    for (uint32_t known : {fourcc("ftyp"), fourcc("moov"), fourcc("mdat"), fourcc("free"),
                           fourcc("skip"), fourcc("wide"), fourcc("styp"), fourcc("pnot")})
        if (type == known)
            return true;
    return false;
}

namespace {

// The top-level box at pos: its type and its extent (a cut last box runs
// to the end of the file), or nothing when the file ends in its header.
std::optional<std::pair<uint32_t, TopLevelBox>> top_level_box(ByteSource &file, uint64_t pos)
{
    uint64_t end = file.size();
    uint8_t h[16];
    file.read_at(pos, h, 8);
    Cursor c(std::span<const uint8_t>(h, 8), 0);
    uint64_t size = c.u32();
    uint32_t type = c.u32();
    size_t header = 8;
    if (size == 1) {
        if (!file.read_at(pos + 8, h + 8, 8))
            return std::nullopt;
        size = Cursor(std::span<const uint8_t>(h + 8, 8), type).u64();
        header = 16;
    } else if (size == 0) {
        size = end - pos;
    }
    if (size < header)
        damaged("top-level " + quoted(type) + " box has size " + std::to_string(size));
    if (size > end - pos) {
        if (type == fourcc("moov"))
            damaged("the 'moov' box runs past the end of the file (truncated file?)");
        // A cut mdat still holds the samples before the cut.
        size = end - pos;
    }
    return std::make_pair(type, TopLevelBox{pos, size, header});
}

}  // namespace

Mp4File read_mp4(ByteSource &file)
{
    Mp4File result;
    std::optional<TopLevelBox> moov;
    std::vector<TopLevelBox> moofs;
    bool seen_mdat = false;
    size_t count = 0;
    for (uint64_t pos = 0; file.size() - pos >= 8;) {
        auto found = top_level_box(file, pos);
        if (!found)
            break;
        auto [type, box] = *found;
        if (++count > kMaxTopLevelBoxes)
            damaged("too many top-level boxes");
        if (type == fourcc("moov")) {
            if (moov)
                damaged("two 'moov' boxes");
            moov = box;
            result.moov_before_mdat = !seen_mdat;
        } else if (type == fourcc("moof")) {
            moofs.push_back(box);
        } else if (type == fourcc("mdat")) {
            seen_mdat = true;
        }
        pos += box.size;
    }
    if (!moov)
        damaged("no 'moov' box (truncated file?)");

    std::vector<uint8_t> moov_payload = read_box_payload(file, *moov, kMaxMoov, "moov");
    auto boxes = child_boxes(moov_payload, fourcc("moov"));
    Cursor mvhd(require_box(boxes, fourcc("mvhd"), fourcc("moov")).payload, fourcc("mvhd"));
    mvhd.skip(full_box(mvhd) == 1 ? 16 : 8);
    result.movie_timescale = mvhd.u32();
    for (const Box &b : boxes)
        if (b.type == fourcc("trak"))
            if (auto track = read_track(b.payload, file.size()))
                result.audio_tracks.push_back(std::move(*track));

    result.tags = read_tags(boxes);

    FragmentTracks index;
    index.defaults = read_track_extends(boxes);
    for (Mp4Track &t : result.audio_tracks)
        index.tracks.emplace(t.track_id, &t);
    result.fragmented = !index.defaults.empty() || !moofs.empty();
    for (const TopLevelBox &moof : moofs) {
        std::vector<uint8_t> payload = read_box_payload(file, moof, kMaxMoof, "moof");
        read_movie_fragment(payload, moof.offset, index);
    }
    return result;
}

}  // namespace lumdec::file
