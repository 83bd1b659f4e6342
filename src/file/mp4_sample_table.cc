// Sample descriptions, the sample table of a track and movie fragments.
#include <algorithm>
#include <bit>
#include <cstring>

#include "file/mp4_reader.h"

namespace lumdec::file {

namespace {

uint32_t full_box_flags(Cursor &c)
{
    return c.u32() & 0xFFFFFF;
}

// An MPEG-4 descriptor header: tag and a size of up to four 7-bit bytes.
Cursor descriptor(Cursor &c, uint8_t &tag)
{
    tag = c.u8();
    size_t size = 0;
    for (int i = 0; i < 4; i++) {
        uint8_t b = c.u8();
        size = (size << 7) | (b & 0x7F);
        if (!(b & 0x80))
            break;
    }
    return Cursor(c.bytes(size), fourcc("esds"));
}

void read_decoder_config(Cursor d, Mp4Track &track)
{
    track.object_type_indication = d.u8();
    d.skip(12);  // stream type, buffer size, bitrates
    while (d.left() > 0) {
        uint8_t tag;
        Cursor info = descriptor(d, tag);
        if (tag == 0x05) {
            auto asc = info.rest();
            track.audio_specific_config.assign(asc.begin(), asc.end());
            return;
        }
    }
}

uint64_t add_offset(uint64_t offset, uint64_t size)
{
    if (size > UINT64_MAX - offset)
        damaged("sample offsets overflow");
    return offset + size;
}

uint64_t add_saturated(uint64_t a, uint64_t b)
{
    return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

void add_sample(Mp4Track &track, uint64_t offset, uint32_t size)
{
    if (track.samples.size() >= kMaxSamples)
        damaged("track " + std::to_string(track.track_id) + " has more than " +
                std::to_string(kMaxSamples) + " samples");
    uint64_t claim = size > 0 ? size : 1;
    if (track.samples_cut > 0 || offset > track.file_size || size > track.file_size - offset ||
        claim > track.file_size - track.claimed_bytes) {
        track.samples_cut++;
        return;
    }
    track.claimed_bytes += claim;
    track.samples.push_back({offset, size});
}

}  // namespace

void read_esds(std::span<const uint8_t> esds, Mp4Track &track)
{
    Cursor c(esds, fourcc("esds"));
    c.skip(4);
    while (c.left() > 0) {
        uint8_t tag;
        Cursor d = descriptor(c, tag);
        if (tag == 0x04) {
            read_decoder_config(d, track);
            return;
        }
        if (tag != 0x03)
            continue;
        d.skip(2);  // ES_ID
        uint8_t flags = d.u8();
        if (flags & 0x80)
            d.skip(2);
        if (flags & 0x40)
            d.skip(d.u8());
        if (flags & 0x20)
            d.skip(2);
        while (d.left() > 0) {
            Cursor sub = descriptor(d, tag);
            if (tag == 0x04) {
                read_decoder_config(sub, track);
                return;
            }
        }
    }
    damaged("the 'esds' box holds no decoder configuration");
}

namespace {

// The fields of an 'mp4a' sample entry after its reserved bytes and data
// reference index: the QuickTime versions 1 and 2 add fields of their own.
void read_audio_fields(Cursor &e, Mp4Track &track)
{
    uint16_t version = e.u16();
    e.skip(6);  // revision, vendor
    track.channel_count = e.u16();
    e.skip(6);  // sample size, compression id, packet size
    track.sample_rate = e.u32() >> 16;
    if (version == 1) {
        e.skip(16);  // samples per packet, bytes per packet, frame and sample
    } else if (version == 2) {
        e.skip(4);  // size of the structure
        uint64_t bits = e.u64();
        double rate;
        std::memcpy(&rate, &bits, sizeof rate);
        track.sample_rate = rate > 0 && rate < 1e7 ? static_cast<uint32_t>(rate) : 0;
        track.channel_count = static_cast<uint16_t>(e.u32());
        e.skip(20);
    }
}

}  // namespace

void read_sample_entry(std::span<const uint8_t> stsd, Mp4Track &track)
{
    Cursor c(stsd, fourcc("stsd"));
    c.skip(4);
    track.sample_descriptions = c.count(8);
    if (track.sample_descriptions == 0)
        damaged("track " + std::to_string(track.track_id) + " has no sample description");
    auto entries = child_boxes(c.rest(), fourcc("stsd"));
    if (entries.empty())
        damaged("the 'stsd' box holds no sample entry");
    const Box &entry = entries[0];
    track.sample_entry = entry.type;
    if (entry.type != fourcc("mp4a"))
        return;

    Cursor e(entry.payload, entry.type);
    e.skip(8);  // reserved, data_reference_index
    read_audio_fields(e, track);
    // The 'esds' is a child of the entry or, as QuickTime writes it, of its
    // 'wave' box; both lists live to the end of this function.
    auto children = child_boxes(e.rest(), entry.type);
    const Box *esds = find_box(children, fourcc("esds"));
    std::vector<Box> wave_children;
    if (const Box *wave = find_box(children, fourcc("wave")); !esds && wave) {
        wave_children = child_boxes(wave->payload, fourcc("wave"));
        esds = find_box(wave_children, fourcc("esds"));
    }
    if (!esds)
        damaged("no 'esds' box in the 'mp4a' sample entry of track " +
                std::to_string(track.track_id));
    read_esds(esds->payload, track);
}

namespace {

// Sample sizes from 'stsz' (one size for all, or one each) or 'stz2'.
struct SampleSizes {
    uint32_t constant = 0;
    uint32_t count = 0;
    std::vector<uint32_t> each;
    uint32_t at(uint32_t i) const { return constant ? constant : each[i]; }
};

void read_compact_sizes(const Box &stz2, SampleSizes &sizes)
{
    Cursor c(stz2.payload, stz2.type);
    c.skip(7);
    unsigned field = c.u8();
    if (field != 4 && field != 8 && field != 16)
        damaged("'stz2' field size " + std::to_string(field));
    sizes.count = c.u32();
    if (sizes.count > c.left() * 8 / field)
        damaged("'stz2' box is shorter than its sample count");
    uint8_t pair = 0;
    for (uint32_t i = 0; i < sizes.count; i++) {
        if (field == 16)
            sizes.each.push_back(c.u16());
        else if (field == 8)
            sizes.each.push_back(c.u8());
        else if (i % 2 == 0)
            sizes.each.push_back((pair = c.u8()) >> 4);
        else
            sizes.each.push_back(pair & 15);
    }
}

SampleSizes read_sample_sizes(const std::vector<Box> &stbl, const Mp4Track &track)
{
    SampleSizes sizes;
    if (const Box *stsz = find_box(stbl, fourcc("stsz"))) {
        Cursor c(stsz->payload, stsz->type);
        c.skip(4);
        sizes.constant = c.u32();
        sizes.count = sizes.constant ? c.u32() : c.count(4);
        if (sizes.constant == 0)
            for (uint32_t i = 0; i < sizes.count; i++)
                sizes.each.push_back(c.u32());
    } else if (const Box *stz2 = find_box(stbl, fourcc("stz2"))) {
        read_compact_sizes(*stz2, sizes);
    } else {
        damaged("no 'stsz' box in track " + std::to_string(track.track_id));
    }
    if (sizes.count > kMaxSamples)
        damaged("track " + std::to_string(track.track_id) + " claims " +
                std::to_string(sizes.count) + " samples");
    return sizes;
}

std::vector<uint64_t> read_chunk_offsets(const std::vector<Box> &stbl, const Mp4Track &track,
                                         uint32_t sample_count)
{
    std::vector<uint64_t> chunks;
    if (const Box *stco = find_box(stbl, fourcc("stco"))) {
        Cursor c(stco->payload, stco->type);
        c.skip(4);
        for (uint32_t i = 0, n = c.count(4); i < n; i++)
            chunks.push_back(c.u32());
    } else if (const Box *co64 = find_box(stbl, fourcc("co64"))) {
        Cursor c(co64->payload, co64->type);
        c.skip(4);
        for (uint32_t i = 0, n = c.count(8); i < n; i++)
            chunks.push_back(c.u64());
    } else if (sample_count > 0) {
        damaged("no 'stco' or 'co64' box in track " + std::to_string(track.track_id));
    }
    return chunks;
}

// The sample-to-chunk runs: each names the first chunk it applies to and
// holds to the next run's first chunk.
void place_samples(const Box *stsc, const SampleSizes &sizes, const std::vector<uint64_t> &chunks,
                   Mp4Track &track)
{
    Cursor c(stsc->payload, stsc->type);
    c.skip(4);
    uint32_t runs = c.count(12);
    uint32_t sample = 0;
    uint64_t previous_first = 0;
    for (uint32_t r = 0; r < runs && sample < sizes.count; r++) {
        uint64_t first = c.u32();
        uint32_t per_chunk = c.u32();
        uint32_t description = c.u32();
        std::string entry = "'stsc' entry " + std::to_string(r + 1);
        if (first <= previous_first || first > chunks.size())
            damaged(entry + " names chunk " + std::to_string(first) + " of " +
                    std::to_string(chunks.size()));
        if (description == 0 || description > track.sample_descriptions)
            damaged(entry + " names sample description " + std::to_string(description));
        track.several_descriptions_used |= description != 1;
        previous_first = first;
        uint64_t last = chunks.size();
        if (r + 1 < runs)
            last = std::min<uint64_t>(Cursor(c).u32() - 1, chunks.size());  // next run's first
        for (uint64_t chunk = first; chunk <= last && sample < sizes.count; chunk++) {
            uint64_t offset = chunks[chunk - 1];
            for (uint32_t j = 0; j < per_chunk && sample < sizes.count; j++, sample++) {
                add_sample(track, offset, sizes.at(sample));
                offset = add_offset(offset, sizes.at(sample));
            }
        }
    }
    if (sample < sizes.count)
        damaged("the chunks of track " + std::to_string(track.track_id) + " hold " +
                std::to_string(sample) + " of its " + std::to_string(sizes.count) + " samples");
}

// The decoding times ('stts'): runs of samples of one duration.
void read_durations(const std::vector<Box> &stbl, Mp4Track &track)
{
    const Box *stts = find_box(stbl, fourcc("stts"));
    if (!stts)
        return;
    Cursor c(stts->payload, stts->type);
    c.skip(4);
    for (uint32_t i = 0, n = c.count(8); i < n; i++) {
        uint64_t count = c.u32();
        track.sample_durations = add_saturated(track.sample_durations, count * c.u32());
        track.has_durations = true;
    }
}

}  // namespace

void read_sample_table(const std::vector<Box> &stbl, Mp4Track &track)
{
    SampleSizes sizes = read_sample_sizes(stbl, track);
    std::vector<uint64_t> chunks = read_chunk_offsets(stbl, track, sizes.count);
    read_durations(stbl, track);
    const Box *stsc = find_box(stbl, fourcc("stsc"));
    if (!stsc && sizes.count > 0)
        damaged("no 'stsc' box in track " + std::to_string(track.track_id));
    if (stsc)
        place_samples(stsc, sizes, chunks, track);
}

namespace {

// A track fragment's header: its track, the defaults that hold within it
// and where its data starts.
struct FragmentHeader {
    Mp4Track *track = nullptr;
    TrackDefaults defaults;
    uint64_t base = 0;
};

FragmentHeader read_fragment_header(const Box &tfhd, uint64_t default_base,
                                    const FragmentTracks &index)
{
    Cursor h(tfhd.payload, fourcc("tfhd"));
    uint32_t flags = full_box_flags(h);
    uint32_t track_id = h.u32();
    FragmentHeader f;
    if (auto d = index.defaults.find(track_id); d != index.defaults.end())
        f.defaults = d->second;
    if (auto t = index.tracks.find(track_id); t != index.tracks.end())
        f.track = t->second;
    f.base = flags & 0x01 ? h.u64() : default_base;
    if (flags & 0x02)
        f.defaults.sample_description_index = h.u32();
    if (flags & 0x08)
        f.defaults.sample_duration = h.u32();
    if (flags & 0x10)
        f.defaults.sample_size = h.u32();
    if (f.track && f.defaults.sample_description_index != 1)
        f.track->several_descriptions_used = true;
    return f;
}

// One track run; returns where its data ends.
uint64_t read_track_run(const Box &trun, uint64_t next, const FragmentHeader &f)
{
    Cursor r(trun.payload, trun.type);
    uint32_t flags = full_box_flags(r);
    uint32_t n = r.u32();
    uint64_t offset = next;
    if (flags & 0x01) {
        int64_t delta = static_cast<int32_t>(r.u32());
        if (delta < 0 && static_cast<uint64_t>(-delta) > f.base)
            damaged("'trun' data offset points before the start of the file");
        offset = f.base + static_cast<uint64_t>(delta);
    }
    if (flags & 0x04)
        r.skip(4);
    size_t per_sample = 4 * static_cast<size_t>(std::popcount(flags & 0xF00));
    if (per_sample > 0 && n > r.left() / per_sample)
        damaged("'trun' box claims " + std::to_string(n) + " samples");
    Mp4Track *track = f.track;
    for (uint32_t i = 0; i < n; i++) {
        if (!(flags & 0x300) && (!track || track->samples_cut > 0)) {
            // One size and duration for all, and nothing to keep (another
            // track, or past the file's end): count the rest instead of
            // walking a run that may claim billions.
            uint64_t rest = n - i;
            if (track) {
                track->samples_cut += rest;
                track->sample_durations =
                    add_saturated(track->sample_durations, rest * f.defaults.sample_duration);
            }
            return add_offset(offset, rest * f.defaults.sample_size);
        }
        uint32_t duration = flags & 0x100 ? r.u32() : f.defaults.sample_duration;
        uint32_t size = flags & 0x200 ? r.u32() : f.defaults.sample_size;
        r.skip(((flags & 0x400) ? 4 : 0) + ((flags & 0x800) ? 4 : 0));
        if (track) {
            add_sample(*track, offset, size);
            track->sample_durations = add_saturated(track->sample_durations, duration);
            track->has_durations |= duration > 0;
        }
        offset = add_offset(offset, size);
    }
    return offset;
}

}  // namespace

void read_movie_fragment(std::span<const uint8_t> moof, uint64_t moof_offset,
                         const FragmentTracks &index)
{
    // Without an explicit base, the first track fragment's data starts at
    // the moof and each later one's where the previous one's ended (unless
    // default-base-is-moof says the moof again).
    uint64_t data_end = moof_offset;
    bool first_traf = true;
    for (const Box &traf : child_boxes(moof, fourcc("moof"))) {
        if (traf.type != fourcc("traf"))
            continue;
        auto boxes = child_boxes(traf.payload, traf.type);
        const Box &tfhd = require_box(boxes, fourcc("tfhd"), traf.type);
        bool moof_based = first_traf || (tfhd.payload.size() >= 4 && (tfhd.payload[1] & 0x02));
        FragmentHeader f = read_fragment_header(tfhd, moof_based ? moof_offset : data_end, index);
        uint64_t next = f.base;
        for (const Box &b : boxes)
            if (b.type == fourcc("trun"))
                next = read_track_run(b, next, f);
        data_end = next;
        first_traf = false;
    }
}

}  // namespace lumdec::file
