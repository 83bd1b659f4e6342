// The element map: which element records of a frame workspace the elements
// of every frame are parsed into, built from a layout number or from a
// program_config_element.
#pragma once

#include <cstdint>

#include "lumdec.h"
#include "syntax/pce.h"

namespace lumdec {

// Binds the elements of layout 1..10 by their order of appearance: the k-th
// element of a kind takes map index k.  Any other layout raises
// AAC_ERR_BAD_STREAM.
void aac_map_from_layout(int32_t layout, aac_element_map *map);

// Binds the elements of an accepted program_config_element by their
// instance tags and returns its layout number.  Side, coupling and mixdown
// elements, element lists that match no layout, and two elements of one
// kind with the same tag raise AAC_ERR_BAD_STREAM.
int32_t aac_map_from_pce(const aac_pce *pce, aac_element_map *map);

}  // namespace lumdec
