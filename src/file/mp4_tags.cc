// The iTunes metadata list: moov/udta/meta/ilst, one box per tag holding a
// 'data' box with a type, a locale and the value.
#include "file/mp4_reader.h"

namespace lumdec::file {

namespace {

constexpr uint32_t kCopyright = 0xA9u << 24;  // the (c) sign that starts most tag names

const struct {
    uint32_t type;
    const char *name;
} kTagNames[] = {
    {kCopyright | ('n' << 16) | ('a' << 8) | 'm', "title"},
    {kCopyright | ('A' << 16) | ('R' << 8) | 'T', "artist"},
    {fourcc("aART"), "album artist"},
    {kCopyright | ('a' << 16) | ('l' << 8) | 'b', "album"},
    {kCopyright | ('d' << 16) | ('a' << 8) | 'y', "date"},
    {kCopyright | ('g' << 16) | ('e' << 8) | 'n', "genre"},
    {kCopyright | ('w' << 16) | ('r' << 8) | 't', "composer"},
    {kCopyright | ('c' << 16) | ('m' << 8) | 't', "comment"},
    {kCopyright | ('t' << 16) | ('o' << 8) | 'o', "encoder"},
};

constexpr size_t kMaxTagText = 1024;

// A 'meta' box is a full box in MP4 files and a plain container in
// QuickTime ones: its children start after 4 bytes of version and flags
// when those are 0.
std::vector<Box> meta_children(std::span<const uint8_t> meta)
{
    bool full = meta.size() >= 8 && meta[0] == 0 && meta[1] == 0 && meta[2] == 0 && meta[3] == 0;
    return child_boxes(full ? meta.subspan(4) : meta, fourcc("meta"));
}

// The UTF-8 text of a tag's first 'data' box (type 1), without control
// characters; empty for other types.
std::string tag_text(std::span<const uint8_t> tag, uint32_t type)
{
    const Box *data = nullptr;
    auto children = child_boxes(tag, type);
    data = find_box(children, fourcc("data"));
    if (!data || data->payload.size() < 8)
        return {};
    Cursor c(data->payload, fourcc("data"));
    if ((c.u32() & 0xFFFFFF) != 1)
        return {};
    c.skip(4);  // locale
    auto text = c.rest();
    std::string value;
    for (size_t i = 0; i < text.size() && i < kMaxTagText; i++)
        value += text[i] < 0x20 ? ' ' : static_cast<char>(text[i]);
    return value;
}

// A freeform item ('----': mean, name, data) the reader keeps: the gapless
// playback record, whose fields are the encoder delay, the padding and the
// length in hexadecimal.
std::string freeform_name(std::span<const uint8_t> item)
{
    auto children = child_boxes(item, fourcc("----"));
    const Box *name = find_box(children, fourcc("name"));
    if (!name || name->payload.size() < 4)
        return {};
    auto text = name->payload.subspan(4);
    return std::string(text.begin(), text.end());
}

}  // namespace

std::vector<Mp4Tag> read_tags(const std::vector<Box> &moov)
{
    std::vector<Mp4Tag> tags;
    const Box *udta = find_box(moov, fourcc("udta"));
    if (!udta)
        return tags;
    // Metadata is a courtesy: damage in it costs the tags, not the file.
    try {
        auto udta_children = child_boxes(udta->payload, fourcc("udta"));
        const Box *meta = find_box(udta_children, fourcc("meta"));
        if (!meta)
            return tags;
        auto meta_boxes = meta_children(meta->payload);
        const Box *ilst = find_box(meta_boxes, fourcc("ilst"));
        if (!ilst)
            return tags;
        for (const Box &tag : child_boxes(ilst->payload, fourcc("ilst"))) {
            if (tag.type == fourcc("----") && freeform_name(tag.payload) == kGaplessTag)
                if (std::string text = tag_text(tag.payload, tag.type); !text.empty())
                    tags.push_back({kGaplessTag, text});
            for (const auto &known : kTagNames)
                if (tag.type == known.type)
                    if (std::string text = tag_text(tag.payload, tag.type); !text.empty())
                        tags.push_back({known.name, text});
        }
    } catch (const FileError &) {
        tags.clear();
    }
    return tags;
}

}  // namespace lumdec::file
