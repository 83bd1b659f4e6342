"""Huffman lookup tables: the scale factor book, the spectral codebooks 1 to
11 and the escape code, packed into two-level tables; and the plain {length,
code} list of every codeword, for the tests' encoder.

Scale factor entries are 16 bits (low byte / high byte):
  leaf          length / the difference
  second level  128 + k / start of the prefix's block in the second level,
                selected by the k bits that follow the first-level index

Spectral entries are 32 bits, so that one lookup says everything the decoder
needs to take a codeword and its sign bits at once:
  leaf          bits 0-4 the bits to consume (codeword and sign bits),
                bits 8-12 the codeword's own length (where its sign bits
                start), bits 16-31 the values (see SPECTRAL_COMMENT)
  second level  bit 7 set, bits 0-6 k, bits 8-31 the block start
Lengths in a second-level block count from the end of the first-level index.
"""

import functools

from .common import header, load_json, output, rows

SCALEFACTOR_INDEX_BITS = 9
SCALEFACTOR_BLOCK_K = [1, 1, 1, 2, 3, 10]
SCALEFACTOR_SECOND_SIZE = 1042

# codebook: (first-level index bits, second-level entries, peek width).
# Wide first levels keep the second-level branch, which mispredicts, rare:
# with 7 bits it was taken for 12 % of codebook 2, 6 % of codebook 4 and 55 %
# of codebook 11 codewords.  A 1024-entry table is 4 KB.
SPECTRAL_LAYOUT = {
    1: (9, 24, 11), 2: (9, 0, 9), 3: (10, 80, 20), 4: (10, 14, 16),
    5: (10, 34, 13), 6: (10, 4, 11), 7: (10, 12, 14), 8: (10, 0, 12),
    9: (10, 134, 17), 10: (10, 30, 14), 11: (10, 50, 14),
}

SPECTRAL_COMMENT = [
    "// Spectral codebooks 1..11 (layout in tools/tablegen/huffman.py).  Values,",
    "// first value highest: signed quads as four 2-bit fields in bits 24-31;",
    "// unsigned quads as four 2-bit magnitudes there and which of them are",
    "// not zero in bits 20-23 (a quad's index into aac_quad_sign_masks);",
    "// signed pairs as two 4-bit fields in bits 24-31; unsigned pairs as two",
    "// 4-bit magnitudes there and the second value's rank in bit 16; codebook",
    "// 11 as two 5-bit magnitudes in bits 27-31 and 22-26 (16: an escape",
    "// follows) and the second value's rank in bit 16.",
]

ESCAPE_INDEX_BITS = 9


@functools.lru_cache(maxsize=None)
def _codebooks():
    return load_json("huffman.json")


def _two_level(codewords, index_bits, leaf, pointer_flag=0x80, block_limit=256):
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
        assert start < block_limit, "block start must fit its field"
        blocks[prefix] = (k, start)
        first[prefix] = (start << 8) | pointer_flag | k
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


def _spectral_leaf(number, dimension, signed):
    def leaf(c, length):
        values = c["values"]
        signs = 0 if signed else sum(1 for v in values if v != 0)
        assert length + signs < 32
        entry = (length << 8) | (length + signs)
        ranks = [sum(1 for v in values[:i] if v != 0) for i in range(dimension)]
        assert ranks[0] == 0
        if dimension == 4:
            for i, v in enumerate(values):
                entry |= (v & 3) << (30 - 2 * i)
                if not signed and v:
                    entry |= 1 << (23 - i)
        elif number == 11:
            entry |= values[0] << 27 | values[1] << 22 | ranks[1] << 16
        else:
            for i, v in enumerate(values):
                entry |= (v & 15) << (28 - 4 * i)
            if not signed:
                entry |= ranks[1] << 16
        return entry
    return leaf


def _spectral_tables(number):
    book = _codebooks()["spectral"][number - 1]
    assert book["codebook"] == number
    index_bits, second_size, peek = SPECTRAL_LAYOUT[number]
    sign_bits = 0 if book["signed"] else book["dimension"]
    assert book["max_length"] + sign_bits == peek
    first, second, _ = _two_level(book["codewords"], index_bits,
                                  _spectral_leaf(number, book["dimension"], book["signed"]),
                                  block_limit=1 << 24)
    assert len(second) == second_size, (number, len(second))
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


def _quad_sign_masks():
    """By (non-zero lanes << 4 | the next four bits): byte i all ones when
    value i of a quad is not zero and its sign bit is set.  The sign bits
    follow the codeword in the order of the non-zero values."""
    table = []
    for index in range(256):
        nonzero, bits = index >> 4, index & 15
        mask, rank = 0, 0
        for i in range(4):
            if nonzero >> (3 - i) & 1:
                if bits >> (3 - rank) & 1:
                    mask |= 0xFF << (8 * i)
                rank += 1
        table.append(mask)
    return table


def _hex_rows(values):
    return rows(["0x%04x" % v for v in values], 12)


def _array(name, values):
    return ["const uint16_t %s[%d] = {" % (name, len(values)), _hex_rows(values), "};", ""]


def _array32(name, values):
    # A block of a book without a second level still needs an address.
    values = values or [0]
    cells = rows(["0x%08x" % v for v in values], 8)
    return ["const uint32_t %s[%d] = {" % (name, len(values)), cells, "};", ""]


@output("src/syntax/huffman_tables.h")
def huffman_tables_header():
    out = [header("huffman.json"),
           "// Two-level Huffman lookup tables.  A leaf has bit 7 clear and its",
           "// length in the low bits (after the first-level index in a second-level",
           "// table); an entry with bit 7 set says that the next k bits (bits 0-6)",
           "// select an entry of the block that starts at bit 8 in the second-level",
           "// table.  Scale factor and escape entries are 16 bits, spectral entries",
           "// 32 bits with the length of the sign bits too.",
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
    out += SPECTRAL_COMMENT
    for number in range(1, 12):
        first, second = _spectral_tables(number)
        out.append("extern const uint32_t aac_spectral_first_%d[%d];" % (number, len(first)))
        out.append("extern const uint32_t aac_spectral_second_%d[%d];" % (
            number, max(len(second), 1)))
    out.append("")
    out.append("struct aac_spectral_codebook {")
    out.append("    const uint32_t *first;")
    out.append("    const uint32_t *second;")
    out.append("    int index_bits;   // of the first level")
    out.append("    int peek_bits;    // longest codeword and the sign bits after it")
    out.append("    bool two_levels;  // some codewords are longer than the index")
    out.append("};")
    out.append("")
    out.append("inline constexpr aac_spectral_codebook aac_spectral_codebooks[12] = {")
    out.append("    {nullptr, nullptr, 0, 0, false},")
    for number in range(1, 12):
        index_bits, second_size, peek = SPECTRAL_LAYOUT[number]
        out.append("    {aac_spectral_first_%d, aac_spectral_second_%d, %d, %d, %s}," % (
            number, number, index_bits, peek, "true" if second_size else "false"))
    out.append("};")
    out.append("")
    out.append("// Sign masks of an unsigned quad by its non-zero values (bits 20-23 of")
    out.append("// the leaf) and the four bits after its codeword: byte i is 0xff when")
    out.append("// value i is negative.")
    out.append("extern const uint32_t aac_quad_sign_masks[256];")
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
        out += _array32("aac_spectral_first_%d" % number, first)
        out += _array32("aac_spectral_second_%d" % number, second)
    out += _array32("aac_quad_sign_masks", _quad_sign_masks())
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
