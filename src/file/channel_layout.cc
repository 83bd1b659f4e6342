#include "file/channel_layout.h"

namespace lumdec::file {

namespace {

// Speaker bits of WAVE_FORMAT_EXTENSIBLE.
enum : uint32_t {
    FL = 0x1, FR = 0x2, FC = 0x4, LFE = 0x8, BL = 0x10, BR = 0x20, BC = 0x100,
    SL = 0x200, SR = 0x400,
};

const LayoutInfo kLayouts[10] = {
    {1, "mono", "C", {0}, FC},
    {2, "stereo", "L R", {0, 1}, FL | FR},
    {3, "3.0", "C L R", {1, 2, 0}, FL | FR | FC},
    {4, "4.0", "C L R Cs", {1, 2, 0, 3}, FL | FR | FC | BC},
    {5, "5.0", "C L R Ls Rs", {1, 2, 0, 3, 4}, FL | FR | FC | BL | BR},
    {6, "5.1", "C L R Ls Rs LFE", {1, 2, 0, 5, 3, 4}, FL | FR | FC | LFE | BL | BR},
    // The second pair are the sides and the third the backs, as encoders
    // code channel configuration 7 for 7.1.
    {8, "7.1", "C L R Lss Rss Lrs Rrs LFE", {1, 2, 0, 7, 5, 6, 3, 4},
     FL | FR | FC | LFE | BL | BR | SL | SR},
    {3, "3.0 (back centre)", "L R Cs", {0, 1, 2}, FL | FR | BC},
    {4, "quad", "L R Ls Rs", {0, 1, 2, 3}, FL | FR | BL | BR},
    {2, "dual mono", "A B", {0, 1}, FL | FR},
};

}  // namespace

const LayoutInfo *layout_info(int layout)
{
    return layout >= 1 && layout <= 10 ? &kLayouts[layout - 1] : nullptr;
}

}  // namespace lumdec::file
