// Sample descriptions, the sample table of a track and movie fragments.
#include <bit>
#include <cstring>

#include "mp4_reader.h"

namespace aacdec {

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
    uint16_t version = e.u16();
    e.skip(6);
    track.channel_count = e.u16();
    e.skip(6);
    track.sample_rate = e.u32() >> 16;
    if (version == 1) {
        e.skip(16);
    } else if (version == 2) {
        e.skip(4);
        uint64_t bits = e.u64();
        double rate;
        std::memcpy(&rate, &bits, sizeof rate);
        track.sample_rate = rate > 0 && rate < 1e7 ? static_cast<uint32_t>(rate) : 0;
        track.channel_count = static_cast<uint16_t>(e.u32());
        e.skip(20);
    }
    auto children = child_boxes(e.rest(), entry.type);
    const Box *esds = find_box(children, fourcc("esds"));
    if (!esds)
        if (const Box *wave = find_box(children, fourcc("wave")))
            esds = find_box(child_boxes(wave->payload, fourcc("wave")), fourcc("esds"));
    if (!esds)
        damaged("no 'esds' box in the 'mp4a' sample entry of track " +
                std::to_string(track.track_id));
    read_esds(esds->payload, track);
}

void read_sample_table(const std::vector<Box> &stbl, Mp4Track &track)
{
    uint32_t constant_size = 0, sample_count = 0;
    std::vector<uint32_t> sizes;
    if (const Box *stsz = find_box(stbl, fourcc("stsz"))) {
        Cursor c(stsz->payload, stsz->type);
        c.skip(4);
        constant_size = c.u32();
        sample_count = constant_size ? c.u32() : c.count(4);
        if (constant_size == 0)
            for (uint32_t i = 0; i < sample_count; i++)
                sizes.push_back(c.u32());
    } else if (const Box *stz2 = find_box(stbl, fourcc("stz2"))) {
        Cursor c(stz2->payload, stz2->type);
        c.skip(7);
        unsigned field = c.u8();
        if (field != 4 && field != 8 && field != 16)
            damaged("'stz2' field size " + std::to_string(field));
        sample_count = c.u32();
        if (sample_count > c.left() * 8 / field)
            damaged("'stz2' box is shorter than its sample count");
        uint8_t pair = 0;
        for (uint32_t i = 0; i < sample_count; i++) {
            if (field == 16)
                sizes.push_back(c.u16());
            else if (field == 8)
                sizes.push_back(c.u8());
            else if (i % 2 == 0)
                sizes.push_back((pair = c.u8()) >> 4);
            else
                sizes.push_back(pair & 15);
        }
    } else {
        damaged("no 'stsz' box in track " + std::to_string(track.track_id));
    }
    if (sample_count > kMaxSamples)
        damaged("track " + std::to_string(track.track_id) + " claims " +
                std::to_string(sample_count) + " samples");

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

    const Box *stsc = find_box(stbl, fourcc("stsc"));
    if (!stsc && sample_count > 0)
        damaged("no 'stsc' box in track " + std::to_string(track.track_id));
    if (!stsc)
        return;
    Cursor c(stsc->payload, stsc->type);
    c.skip(4);
    uint32_t runs = c.count(12);
    uint32_t sample = 0;
    uint64_t previous_first = 0;
    for (uint32_t r = 0; r < runs && sample < sample_count; r++) {
        uint64_t first = c.u32();
        uint32_t per_chunk = c.u32();
        uint32_t description = c.u32();
        if (first <= previous_first || first > chunks.size())
            damaged("'stsc' entry " + std::to_string(r + 1) + " names chunk " +
                    std::to_string(first) + " of " + std::to_string(chunks.size()));
        if (description == 0 || description > track.sample_descriptions)
            damaged("'stsc' entry " + std::to_string(r + 1) + " names sample description " +
                    std::to_string(description));
        if (description != 1)
            track.several_descriptions_used = true;
        previous_first = first;
        uint64_t last = chunks.size();
        if (r + 1 < runs) {
            // Peek at the next run's first chunk.
            Cursor peek = c;
            last = std::min<uint64_t>(peek.u32() - 1, chunks.size());
        }
        for (uint64_t chunk = first; chunk <= last && sample < sample_count; chunk++) {
            uint64_t offset = chunks[chunk - 1];
            for (uint32_t j = 0; j < per_chunk && sample < sample_count; j++, sample++) {
                uint32_t size = constant_size ? constant_size : sizes[sample];
                add_sample(track, offset, size);
                offset = add_offset(offset, size);
            }
        }
    }
    if (sample < sample_count)
        damaged("the chunks of track " + std::to_string(track.track_id) + " hold " +
                std::to_string(sample) + " of its " + std::to_string(sample_count) + " samples");
}

void read_movie_fragment(std::span<const uint8_t> moof, uint64_t moof_offset,
                         const std::vector<TrackDefaults> &defaults,
                         std::vector<Mp4Track> &tracks)
{
    uint64_t data_end = moof_offset;
    bool first_traf = true;
    for (const Box &traf : child_boxes(moof, fourcc("moof"))) {
        if (traf.type != fourcc("traf"))
            continue;
        auto boxes = child_boxes(traf.payload, traf.type);
        Cursor h(require_box(boxes, fourcc("tfhd"), traf.type).payload, fourcc("tfhd"));
        uint32_t flags = full_box_flags(h);
        uint32_t track_id = h.u32();
        TrackDefaults d;
        for (const TrackDefaults &t : defaults)
            if (t.track_id == track_id)
                d = t;
        uint64_t base = (flags & 0x20000) || first_traf ? moof_offset : data_end;
        if (flags & 0x01)
            base = h.u64();
        if (flags & 0x02)
            d.sample_description_index = h.u32();
        if (flags & 0x08)
            h.skip(4);
        if (flags & 0x10)
            d.sample_size = h.u32();
        Mp4Track *track = nullptr;
        for (Mp4Track &t : tracks)
            if (t.track_id == track_id)
                track = &t;
        if (track && d.sample_description_index != 1)
            track->several_descriptions_used = true;

        uint64_t next = base;
        for (const Box &b : boxes) {
            if (b.type != fourcc("trun"))
                continue;
            Cursor r(b.payload, b.type);
            uint32_t run_flags = full_box_flags(r);
            uint32_t n = r.u32();
            uint64_t offset = next;
            if (run_flags & 0x01) {
                int64_t delta = static_cast<int32_t>(r.u32());
                if (delta < 0 && static_cast<uint64_t>(-delta) > base)
                    damaged("'trun' data offset points before the start of the file");
                offset = base + static_cast<uint64_t>(delta);
            }
            if (run_flags & 0x04)
                r.skip(4);
            size_t per_sample = 4 * static_cast<size_t>(std::popcount(run_flags & 0xF00));
            if (per_sample > 0 && n > r.left() / per_sample)
                damaged("'trun' box claims " + std::to_string(n) + " samples");
            if (!track && !(run_flags & 0x200)) {
                offset = add_offset(offset, uint64_t{n} * d.sample_size);
                n = 0;
            }
            for (uint32_t i = 0; i < n; i++) {
                if (track && track->samples_cut > 0 && !(run_flags & 0x200)) {
                    // Past the file's end with one size for all: count the
                    // rest instead of walking a run that may claim billions.
                    uint64_t rest = n - i;
                    track->samples_cut += rest;
                    offset = add_offset(offset, rest * d.sample_size);
                    break;
                }
                if (run_flags & 0x100)
                    r.skip(4);
                uint32_t size = run_flags & 0x200 ? r.u32() : d.sample_size;
                r.skip(((run_flags & 0x400) ? 4 : 0) + ((run_flags & 0x800) ? 4 : 0));
                if (track)
                    add_sample(*track, offset, size);
                offset = add_offset(offset, size);
            }
            next = offset;
        }
        data_end = next;
        first_traf = false;
    }
}

}  // namespace aacdec
