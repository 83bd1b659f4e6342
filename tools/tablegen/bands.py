"""Scale factor band tables: the band ends of long and short windows for the
twelve sampling frequency indices, with the TNS band limits of the LC
profile."""

from .common import header, load_json, output, rows

# Highest band (exclusive) a TNS filter may reach, LC profile, by index.
TNS_MAX_BANDS_LONG = [31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39]
TNS_MAX_BANDS_SHORT = [9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14]


def _rate_name(hz):
    """96000 -> '96k', 44100 -> '44k1', 11025 -> '11k025'."""
    thousands, rest = divmod(hz, 1000)
    return "%dk%s" % (thousands, str(rest).rjust(3, "0").rstrip("0") if rest else "")


def _distinct(tables, kind, key):
    """Band-end arrays shared by rates that use the same table, each named
    by the highest of those rates, and the name each index uses."""
    names, arrays, which = [], [], []
    for t in tables:
        ends = tuple(t[key][1:])
        if ends not in arrays:
            arrays.append(ends)
            names.append("%s_ends_%s" % (kind, _rate_name(t["sampling_frequency"])))
        which.append(names[arrays.index(ends)])
    return list(zip(names, arrays)), which


@output("src/syntax/band_tables.cc")
def band_tables():
    tables = load_json("swb_offsets.json")["tables"]
    assert [t["sampling_frequency_index"] for t in tables] == list(range(12))
    out = [header("swb_offsets.json"), '#include "syntax/band_tables.h"', ""]
    out.append("namespace {")
    out.append("")
    for kind, key in (("long", "swb_offset_long"), ("short", "swb_offset_short")):
        arrays, _ = _distinct(tables, kind, key)
        for name, ends in arrays:
            out.append("const uint16_t %s[%d] = {" % (name, len(ends)))
            out.append(rows([str(v) for v in ends], 16))
            out.append("};")
            out.append("")
    out.append("}  // namespace")
    out.append("")
    _, long_of = _distinct(tables, "long", "swb_offset_long")
    _, short_of = _distinct(tables, "short", "swb_offset_short")
    out.append("const aac_band_table aac_band_tables[12] = {")
    for i, t in enumerate(tables):
        for key, count, last in (("swb_offset_long", "num_swb_long", 1024),
                                 ("swb_offset_short", "num_swb_short", 128)):
            offsets = t[key]
            assert len(offsets) == t[count] + 1 and offsets[0] == 0 and offsets[-1] == last
            assert all(a < b and (b - a) % 4 == 0 for a, b in zip(offsets, offsets[1:]))
        out.append("    {%d, %s, %d, %s, %d, %d},  // %d Hz" % (
            t["num_swb_long"], long_of[i], t["num_swb_short"], short_of[i],
            TNS_MAX_BANDS_LONG[i], TNS_MAX_BANDS_SHORT[i], t["sampling_frequency"]))
    out.append("};")
    return "\n".join(out) + "\n"
