"""Huffman lookup tables: the scale factor book, the spectral codebooks 1 to
11 and the escape code, packed into two-level tables of 16-bit entries; and
the plain {length, code} list of every codeword, for the tests' encoder.

Entry layout (low byte / high byte):
  leaf          length (codebook 11: bits 0-4, with the escape flags of the
                first value in bit 6 and of the second in bit 5) / values
  second level  128 + k / start of the prefix's block in the second level,
                selected by the k bits that follow the first-level index
"""

import functools

from .common import header, load_json, output, rows

SCALEFACTOR_INDEX_BITS = 9
SCALEFACTOR_BLOCK_K = [1, 1, 1, 2, 3, 10]
SCALEFACTOR_SECOND_SIZE = 1042

# codebook: (first-level index bits, second-level entries, peek width)
SPECTRAL_LAYOUT = {
    1: (7, 48, 11), 2: (7, 34, 9), 3: (8, 294, 20), 4: (7, 76, 16),
    5: (7, 112, 13), 6: (7, 52, 11), 7: (7, 70, 14), 8: (7, 30, 12),
    9: (7, 360, 17), 10: (7, 144, 14), 11: (7, 274, 14),
}

ESCAPE_INDEX_BITS = 9


@functools.lru_cache(maxsize=None)
def _codebooks():
    return load_json("huffman.json")


def _two_level(codewords, index_bits, leaf):
    """First- and second-level tables; blocks in prefix order from 0, a short
    codeword repeated over every slot that begins with it."""
    longest = {}
    for c in codewords:
        if c["length"] > index_bits:
            prefix = c["code"] >> (c["length"] - index_bits)
            longest[prefix] = max(longest.get(prefix, 0), c["length"])
    first = [None] * (1 << index_bits)
    blocks = {}
    start = 0
    for prefix in sorted(longest):
        k = longest[prefix] - index_bits
        assert start < 256, "block start must fit the high byte"
        blocks[prefix] = (k, start)
        first[prefix] = (start << 8) | (128 + k)
        start += 1 << k
    second = [None] * start
    for c in codewords:
        n, code = c["length"], c["code"]
        if n <= index_bits:
            at, count, table, length = code << (index_bits - n), 1 << (index_bits - n), first, n
        else:
            k, block = blocks[code >> (n - index_bits)]
            length = n - index_bits
            rest = code & ((1 << length) - 1)
            at, count, table = block + (rest << (k - length)), 1 << (k - length), second
        entry = leaf(c, length)
        assert entry & 0x80 == 0
        for i in range(at, at + count):
            assert table[i] is None, "overlapping codewords"
            table[i] = entry
    assert None not in first and None not in second, "incomplete codebook"
    return first, second, [blocks[p][0] for p in sorted(blocks)]


def _scalefactor_tables():
    book = _codebooks()["scalefactor"]

    def leaf(c, length):
        return ((c["difference"] & 0xFF) << 8) | length
    first, second, ks = _two_level(book["codewords"], SCALEFACTOR_INDEX_BITS, leaf)
    assert ks == SCALEFACTOR_BLOCK_K and len(second) == SCALEFACTOR_SECOND_SIZE
    return first, second


def _spectral_leaf(number, dimension):
    def leaf(c, length):
        low, fields = length, []
        for position, v in enumerate(c["values"]):
            if number == 11 and v == 16:
                low |= 0x40 if position == 0 else 0x20
                v = 0
            fields.append(v & (3 if dimension == 4 else 15))
        high = 0
        for f in fields:
            high = (high << (2 if dimension == 4 else 4)) | f
        assert length < (32 if number == 11 else 128)
        return (high << 8) | low
    return leaf


def _spectral_tables(number):
    book = _codebooks()["spectral"][number - 1]
    assert book["codebook"] == number
    index_bits, second_size, peek = SPECTRAL_LAYOUT[number]
    sign_bits = 0 if book["signed"] else book["dimension"]
    assert book["max_length"] + sign_bits == peek
    first, second, _ = _two_level(book["codewords"], index_bits,
                                  _spectral_leaf(number, book["dimension"]))
    assert len(second) == second_size
    return first, second


def _escape_table():
    """Prefixes of N - 4 ones and a zero.  N = 4..6 fit the 9-bit index with
    their escape word and are leaves; longer prefixes give the prefix length
    and leave the word to be read.  Nine ones read as N = 12."""
    table = []
    for index in range(1 << ESCAPE_INDEX_BITS):
        text = format(index, "09b")
        ones = len(text) - len(text.lstrip("1"))
        n = min(ones, 8) + 4
        if n <= 6:
            length = n - 3 + n
            word = int(text[n - 3:length], 2)
            table.append((((1 << n) + word) << 8) | length)
        else:
            table.append(128 + n - 3)
    assert table[0b111111111] == 128 + 9 and table[0b111111110] == 128 + 9
    return table


def _hex_rows(values):
    return rows(["0x%04x" % v for v in values], 12)


def _array(name, values):
    return ["const uint16_t %s[%d] = {" % (name, len(values)), _hex_rows(values), "};", ""]


@output("src/syntax/huffman_tables.h")
def huffman_tables_header():
    out = [header("huffman.json"),
           "// Two-level Huffman lookup tables of 16-bit entries.  Low byte below",
           "// 128: a leaf, its codeword length (after the first-level index in a",
           "// second-level table) and its values in the high byte.  Low byte 128 + k:",
           "// the next k bits select an entry of the block that starts at the high",
           "// byte in the second-level table.",
           "#pragma once",
           "",
           "#include <cstdint>",
           ""]
    first, second = _scalefactor_tables()
    out.append("// Scale factor differences, -60..60 as signed high bytes.")
    out.append("inline constexpr int AAC_SCALEFACTOR_INDEX_BITS = %d;" % SCALEFACTOR_INDEX_BITS)
    out.append("extern const uint16_t aac_scalefactor_first[%d];" % len(first))
    out.append("extern const uint16_t aac_scalefactor_second[%d];" % len(second))
    out.append("")
    out.append("// Spectral codebooks 1..11: quads in four 2-bit fields, pairs in two")
    out.append("// 4-bit fields, first value highest; codebook 11 flags its escapes in")
    out.append("// bits 6 and 5 of the leaf.")
    for number in range(1, 12):
        first, second = _spectral_tables(number)
        out.append("extern const uint16_t aac_spectral_first_%d[%d];" % (number, len(first)))
        out.append("extern const uint16_t aac_spectral_second_%d[%d];" % (number, len(second)))
    out.append("")
    out.append("struct aac_spectral_codebook {")
    out.append("    const uint16_t *first;")
    out.append("    const uint16_t *second;")
    out.append("    int index_bits;   // of the first level")
    out.append("    int peek_bits;    // longest codeword and the sign bits after it")
    out.append("};")
    out.append("")
    out.append("inline constexpr aac_spectral_codebook aac_spectral_codebooks[12] = {")
    out.append("    {nullptr, nullptr, 0, 0},")
    for number in range(1, 12):
        index_bits, _, peek = SPECTRAL_LAYOUT[number]
        out.append("    {aac_spectral_first_%d, aac_spectral_second_%d, %d, %d}," % (
            number, number, index_bits, peek))
    out.append("};")
    out.append("")
    out.append("// Escape sequences by their first 9 bits: leaves for N = 4..6 (value")
    out.append("// 2^N + escape_word in the high byte), else 128 + the prefix length.")
    out.append("inline constexpr int AAC_ESCAPE_INDEX_BITS = %d;" % ESCAPE_INDEX_BITS)
    out.append("extern const uint16_t aac_escape_table[%d];" % (1 << ESCAPE_INDEX_BITS))
    return "\n".join(out) + "\n"


@output("src/syntax/huffman_tables.cc")
def huffman_tables_source():
    out = [header("huffman.json"), '#include "syntax/huffman_tables.h"', ""]
    first, second = _scalefactor_tables()
    out += _array("aac_scalefactor_first", first)
    out += _array("aac_scalefactor_second", second)
    for number in range(1, 12):
        first, second = _spectral_tables(number)
        out += _array("aac_spectral_first_%d" % number, first)
        out += _array("aac_spectral_second_%d" % number, second)
    out += _array("aac_escape_table", _escape_table())
    return "\n".join(out).rstrip("\n") + "\n"


@output("tests/syntax/huffman_codewords.inc")
def huffman_codewords():
    books = _codebooks()
    out = [header("huffman.json"),
           "// {length, code} of every codeword, in the order of the standard's",
           "// tables: the scale factor book (index = difference + 60), then the",
           "// spectral codebooks by index (values + off, digits base mod, first",
           "// value most significant).  The includer defines HuffmanCodeword.",
           ""]

    def array(name, codewords):
        cells = ["{%d, 0x%x}" % (c["length"], c["code"]) for c in codewords]
        return ["const HuffmanCodeword %s[%d] = {" % (name, len(cells)), rows(cells, 8), "};", ""]
    out += array("kScalefactorCodewords", books["scalefactor"]["codewords"])
    for book in books["spectral"]:
        out += array("kSpectralCodewords%d" % book["codebook"], book["codewords"])
    out.append("const HuffmanCodeword *const kSpectralCodewords[12] = {")
    out.append("    nullptr,")
    out.append(rows(["kSpectralCodewords%d" % n for n in range(1, 12)], 4))
    out.append("};")
    return "\n".join(out) + "\n"
