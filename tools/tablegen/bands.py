"""Scale factor band tables: the band ends of long and short windows for the
twelve sampling frequency indices, with the TNS band limits of the LC
profile."""

from .common import header, load_json, output, rows

# Highest band (exclusive) a TNS filter may reach, LC profile, by index.
TNS_MAX_BANDS_LONG = [31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39]
TNS_MAX_BANDS_SHORT = [9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14]


def _distinct(tables, key):
    """Band-end arrays shared by rates that use the same table, and the
    array each index uses."""
    arrays, which = [], []
    for t in tables:
        ends = tuple(t[key][1:])
        if ends not in arrays:
            arrays.append(ends)
        which.append(arrays.index(ends))
    return arrays, which


@output("src/syntax/band_tables.cc")
def band_tables():
    tables = load_json("swb_offsets.json")["tables"]
    assert [t["sampling_frequency_index"] for t in tables] == list(range(12))
    out = [header("swb_offsets.json"), '#include "syntax/band_tables.h"', ""]
    out.append("namespace {")
    out.append("")
    for kind, key in (("long", "swb_offset_long"), ("short", "swb_offset_short")):
        arrays, _ = _distinct(tables, key)
        for i, ends in enumerate(arrays):
            out.append("const uint16_t %s_ends_%d[%d] = {" % (kind, i, len(ends)))
            out.append(rows([str(v) for v in ends], 16))
            out.append("};")
            out.append("")
    out.append("}  // namespace")
    out.append("")
    _, long_of = _distinct(tables, "swb_offset_long")
    _, short_of = _distinct(tables, "swb_offset_short")
    out.append("const aac_band_table aac_band_tables[12] = {")
    for i, t in enumerate(tables):
        assert len(t["swb_offset_long"]) == t["num_swb_long"] + 1
        assert len(t["swb_offset_short"]) == t["num_swb_short"] + 1
        out.append("    {%d, long_ends_%d, %d, short_ends_%d, %d, %d},  // %d Hz" % (
            t["num_swb_long"], long_of[i], t["num_swb_short"], short_of[i],
            TNS_MAX_BANDS_LONG[i], TNS_MAX_BANDS_SHORT[i], t["sampling_frequency"]))
    out.append("};")
    return "\n".join(out) + "\n"
