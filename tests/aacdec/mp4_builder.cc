#include "mp4_builder.h"

#include <algorithm>
#include <cstring>

void put(Bytes &b, uint64_t value, int bytes)
{
    size_t at = b.size();
    b.resize(at + static_cast<size_t>(bytes));
    for (int i = 0; i < bytes; i++) {
        int shift = 8 * (bytes - 1 - i);  // runs of zero bytes may be longer than the value
        b[at + static_cast<size_t>(i)] = shift < 64 ? static_cast<uint8_t>(value >> shift) : 0;
    }
}

Bytes box(const std::string &type, const Bytes &payload)
{
    Bytes b;
    put(b, payload.size() + 8, 4);
    for (char c : type)
        put(b, static_cast<uint8_t>(c), 1);
    b.resize(8 + payload.size());
    std::copy(payload.begin(), payload.end(), b.begin() + 8);
    return b;
}

namespace {

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const Bytes &p : parts)
        b.insert(b.end(), p.begin(), p.end());
    return b;
}

// value in `bytes` big-endian bytes.
Bytes be(uint64_t value, int bytes)
{
    Bytes b;
    put(b, value, bytes);
    return b;
}

// An MPEG-4 descriptor with a one-byte size.
Bytes descriptor(uint8_t tag, const Bytes &payload) { return join({{tag, static_cast<uint8_t>(payload.size())}, payload}); }

}  // namespace

Bytes full_box(const std::string &type, uint8_t version, uint32_t flags, const Bytes &payload)
{
    return box(type, join({be(version, 1), be(flags, 3), payload}));
}

Bytes lc_config(int sampling_frequency_index, int channel_configuration)
{
    return be((2u << 11) | (unsigned(sampling_frequency_index) << 7) | (unsigned(channel_configuration) << 3), 2);
}

namespace {

// The fields of an audio sample entry after data_reference_index: version,
// revision, vendor, 2 channels of 16 bits (informative), the rate in
// 16.16, and what QuickTime's versions 1 and 2 add.
Bytes audio_fields(const Mp4Layout &l)
{
    const int v = l.quicktime_version;
    if (v == 2) {
        double rate = l.sample_rate;
        uint64_t bits;
        std::memcpy(&bits, &rate, 8);
        return join({be(2, 2), be(0, 6), be(3, 2), be(16, 2), be(0xFFFE, 2), be(0, 2), be(65536, 4), be(72, 4),
                     be(bits, 8), be(2, 4), be(0x7F000000, 4), be(16, 4), be(0, 8), be(1024, 4)});
    }
    Bytes f = join({be(v, 2), be(0, 6), be(2, 2), be(16, 2), be(0, 4), be(uint64_t{l.sample_rate} << 16, 4)});
    return v == 1 ? join({f, be(1024, 4), be(0, 12)}) : f;
}

Bytes sample_entry(const Mp4Layout &l)
{
    Bytes e = join({Bytes(6, 0), be(1, 2), audio_fields(l)});
    if (l.esds) {
        Bytes config(13, 0);
        config[0] = 0x40;    // MPEG-4 audio
        config[1] = 0x15;    // audio stream
        Bytes es{0, 1, 0};   // ES_ID, flags
        Bytes dc = join({config, descriptor(0x05, l.audio_specific_config)});
        es = join({es, descriptor(0x04, dc), descriptor(0x06, {0x02})});
        Bytes esds = full_box("esds", 0, 0, descriptor(0x03, es));
        // QuickTime: frma, an 'mp4a' atom, the esds and a terminator.
        if (l.quicktime_version)
            esds = box("wave", join({box("frma", {'m', 'p', '4', 'a'}), box("mp4a", be(0, 4)), esds, be(8, 4), be(0, 4)}));
        e = join({e, esds});
    }
    return full_box("stsd", 0, 0, join({be(1, 4), box("mp4a", e)}));
}

// The sample table; offsets are the absolute positions of the frames.
Bytes sample_table(const std::vector<Bytes> &frames, const std::vector<uint64_t> &offsets,
                   const Mp4Layout &l)
{
    Bytes stsz, stsc, stco, stts;
    put(stsz, 0, 4);
    put(stsz, frames.size(), 4);
    for (const Bytes &f : frames)
        put(stsz, f.size(), 4);
    put(stts, frames.empty() ? 0 : 1, 4);
    if (!frames.empty()) {
        put(stts, frames.size(), 4);
        put(stts, 1024, 4);
    }
    uint32_t per = l.samples_per_chunk ? l.samples_per_chunk : static_cast<uint32_t>(frames.size());
    std::vector<uint64_t> chunks;
    for (size_t i = 0; i < frames.size(); i += per)
        chunks.push_back(offsets[i]);
    // Full chunks, then a shorter last one.
    uint32_t last = frames.empty() ? 0 : static_cast<uint32_t>(frames.size() - (chunks.size() - 1) * per);
    put(stsc, frames.empty() ? 0 : (last != per ? 2 : 1), 4);
    if (!frames.empty()) {
        put(stsc, 1, 4), put(stsc, per, 4), put(stsc, 1, 4);
        if (last != per)
            put(stsc, chunks.size(), 4), put(stsc, last, 4), put(stsc, 1, 4);
    }
    put(stco, chunks.size(), 4);
    for (uint64_t c : chunks)
        put(stco, c, l.co64 ? 8 : 4);
    return box("stbl", join({sample_entry(l), full_box("stts", 0, 0, stts),
                             full_box("stsc", 0, 0, stsc), full_box("stsz", 0, 0, stsz),
                             full_box(l.co64 ? "co64" : "stco", 0, 0, stco)}));
}

Bytes track(uint32_t id, const std::string &handler, const Bytes &stbl, size_t frames,
            const Mp4Layout &l)
{
    const Bytes tkhd = join({Bytes(8, 0), be(id, 4), be(0, 68)});
    const uint64_t duration = l.media_duration >= 0 ? static_cast<uint64_t>(l.media_duration)
                              : l.fragments == Fragments::none ? frames * 1024 : 0;
    const Bytes mdhd = join({Bytes(8, 0), be(l.sample_rate, 4), be(duration, 4), be(0, 4)});
    const Bytes hdlr = join({Bytes(4, 0), Bytes(handler.begin(), handler.end()), be(0, 13)});
    Bytes edts, elst = be(l.edits.size(), 4);
    for (auto [media_time, duration] : l.edits)
        elst = join({elst, be(duration, 4), be(static_cast<uint32_t>(media_time), 4), be(0x10000, 4)});
    if (!l.edits.empty())
        edts = box("edts", full_box("elst", 0, 0, elst));
    return box("trak", join({full_box("tkhd", 0, 3, tkhd), edts,
                             box("mdia", join({full_box("mdhd", 0, 0, mdhd), full_box("hdlr", 0, 0, hdlr),
                                               box("minf", stbl)}))}));
}

Bytes movie(const std::vector<Bytes> &frames, const std::vector<uint64_t> &offsets,
            const Mp4Layout &l)
{
    const Bytes mvhd = join({Bytes(8, 0), be(l.sample_rate, 4), be(0, 84)});
    bool fragmented = l.fragments != Fragments::none;
    std::vector<Bytes> none;
    Bytes stbl = fragmented ? sample_table(none, {}, l) : sample_table(frames, offsets, l);
    Bytes tracks;
    if (l.video_track_first)
        tracks = track(9, "vide", sample_table(none, {}, l), 0, l);
    tracks = join({tracks, track(1, "soun", stbl, frames.size(), l)});
    if (l.second_audio_track)
        tracks = join({tracks, track(2, "soun", stbl, frames.size(), l)});
    Bytes mvex;
    if (fragmented)  // track 1, description 1, duration 1024, the size if the defaults give it
        mvex = box("mvex", full_box("trex", 0, 0, join({be(1, 4), be(1, 4), be(1024, 4),
                                                         be(l.fragments == Fragments::trex_defaults ? frames[0].size() : 0, 4), be(0, 4)})));
    Bytes items;
    for (const auto &[type, text] : l.tags) {
        const Bytes data = box("data", join({be(1, 4), be(0, 4), Bytes(text.begin(), text.end())}));
        if (type.rfind("----:", 0) == 0) {
            // A freeform item: its mean and name, then the data.
            const std::string mean = "com.apple.iTunes", name = type.substr(5);
            items = join({items, box("----", join({full_box("mean", 0, 0, Bytes(mean.begin(), mean.end())),
                                                   full_box("name", 0, 0, Bytes(name.begin(), name.end())),
                                                   data}))});
        } else {
            items = join({items, box(type, data)});
        }
    }
    Bytes udta;
    if (!l.tags.empty())
        udta = box("udta", full_box("meta", 0, 0, join({full_box("hdlr", 0, 0, join({be(0, 4), Bytes{'m', 'd', 'i', 'r'}, be(0, 12)})),
                                                        box("ilst", items)})));
    return box("moov", join({full_box("mvhd", 0, 0, mvhd), tracks, mvex, udta}));
}

Bytes fragment(const std::vector<Bytes> &frames, size_t first, size_t count, uint64_t at,
               const Mp4Layout &l)
{
    Bytes data;
    for (size_t i = first; i < first + count; i++)
        data.insert(data.end(), frames[i].begin(), frames[i].end());
    // Built twice: the data offsets depend on the size of the moof itself.
    Bytes moof;
    for (int pass = 0; pass < 2; pass++) {
        uint64_t payload = at + moof.size() + 8;  // first byte of the mdat payload
        Bytes tfhd, runs;
        put(tfhd, 1, 4);
        uint32_t tfhd_flags = 0x20000;
        if (l.fragments == Fragments::explicit_base) {
            tfhd_flags = 0x1;
            put(tfhd, payload, 8);
        }
        auto run = [&](size_t from, size_t n, bool offset) {
            Bytes r;
            bool sizes = l.fragments != Fragments::trex_defaults;
            put(r, n, 4);
            if (offset) {
                uint64_t skip = 0;
                for (size_t i = first; i < from; i++)
                    skip += frames[i].size();
                put(r, payload - at + skip, 4);
            }
            for (size_t i = from; i < from + n; i++)
                if (sizes)
                    put(r, frames[i].size(), 4);
            return full_box("trun", 0, (offset ? 0x1 : 0) | (sizes ? 0x200 : 0), r);
        };
        if (l.fragments == Fragments::explicit_base) {
            size_t half = count / 2;
            runs = join({run(first, half, false), run(first + half, count - half, false)});
        } else {
            runs = run(first, count, true);
        }
        moof = box("moof", join({full_box("mfhd", 0, 0, be(1, 4)),
                                 box("traf", join({full_box("tfhd", 0, tfhd_flags, tfhd), runs}))}));
    }
    return join({moof, box("mdat", data)});
}

}  // namespace

Bytes build_mp4(const std::vector<Bytes> &frames, const Mp4Layout &l)
{
    Bytes ftyp = box("ftyp", {'M', '4', 'A', ' ', 0, 0, 0, 0, 'i', 's', 'o', 'm'});
    if (l.fragments != Fragments::none) {
        Bytes file = join({ftyp, movie(frames, {}, l)});
        for (size_t i = 0; i < frames.size(); i += l.samples_per_fragment) {
            size_t n = std::min<size_t>(l.samples_per_fragment, frames.size() - i);
            file = join({file, fragment(frames, i, n, file.size(), l)});
        }
        return file;
    }
    Bytes data;
    for (const Bytes &f : frames)
        data.insert(data.end(), f.begin(), f.end());
    std::vector<uint64_t> offsets(frames.size());
    auto place = [&](uint64_t mdat_payload) {
        uint64_t at = mdat_payload;
        for (size_t i = 0; i < frames.size(); i++, at += frames[i - 1].size())
            offsets[i] = at;
    };
    if (!l.moov_first) {
        place(ftyp.size() + 8);
        return join({ftyp, box("mdat", data), movie(frames, offsets, l)});
    }
    place(0);
    uint64_t moov_size = movie(frames, offsets, l).size();
    place(ftyp.size() + moov_size + 8);
    return join({ftyp, movie(frames, offsets, l), box("mdat", data)});
}
