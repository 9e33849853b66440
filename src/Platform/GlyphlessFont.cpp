// SPDX-License-Identifier: GPL-3.0-or-later
//
// The font is assembled table by table: each table is a big-endian byte string, and the file
// is the sfnt header, the table directory (sorted by tag, with checksums) and the tables padded
// to four bytes. PDF readers need only the tables a TrueType rasteriser opens (head, hhea,
// maxp, loca, glyf, hmtx); cmap, name and post keep stricter font parsers content.

#include "Platform/GlyphlessFont.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace GlyphlessFont {
namespace {

constexpr int kGlyphCount = 2;
constexpr int kAdvance = kUnitsPerEm / 2;

class BigEndian {
public:
    BigEndian& u16(int value) {
        m_bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xff));
        m_bytes.push_back(static_cast<std::uint8_t>(value & 0xff));
        return *this;
    }
    BigEndian& u32(std::uint32_t value) {
        u16(static_cast<int>(value >> 16));
        return u16(static_cast<int>(value & 0xffff));
    }
    BigEndian& zeros(int count) {
        m_bytes.insert(m_bytes.end(), static_cast<std::size_t>(count), 0);
        return *this;
    }
    Bytes take() { return std::move(m_bytes); }

private:
    Bytes m_bytes;
};

std::uint32_t checksum(const Bytes& bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 4; ++k)
            word = (word << 8) | (i + k < bytes.size() ? bytes[i + k] : 0u);
        sum += word;
    }
    return sum;
}

Bytes head() {
    BigEndian t;
    t.u32(0x00010000).u32(0x00010000).u32(0); // version, revision, checksum adjustment
    t.u32(0x5F0F3CF5).u16(0x0003).u16(kUnitsPerEm);
    t.zeros(16);                          // created, modified
    t.u16(0).u16(kDescent & 0xffff);      // xMin, yMin
    t.u16(kUnitsPerEm).u16(kAscent);      // xMax, yMax
    t.u16(0).u16(8).u16(2).u16(0).u16(0); // style, smallest size, direction, short loca, format
    return t.take();
}

Bytes hhea() {
    BigEndian t;
    t.u32(0x00010000).u16(kAscent).u16(kDescent & 0xffff).u16(0);
    t.u16(kAdvance).u16(0).u16(0).u16(0); // widest advance, bearings, extent
    t.u16(1).u16(0).u16(0).zeros(8);      // caret upright, reserved
    t.u16(0).u16(kGlyphCount);
    return t.take();
}

Bytes maxp() {
    BigEndian t;
    t.u32(0x00010000).u16(kGlyphCount).zeros(10).u16(2).zeros(16);
    return t.take();
}

Bytes hmtx() {
    BigEndian t;
    for (int glyph = 0; glyph < kGlyphCount; ++glyph)
        t.u16(kAdvance).u16(0);
    return t.take();
}

Bytes loca() {
    // Every offset 0: both glyphs are empty, so the glyf table has no bytes.
    return BigEndian().zeros(2 * (kGlyphCount + 1)).take();
}

Bytes cmap() {
    // One empty format 6 subtable, shared by the Macintosh and Windows symbol encodings.
    BigEndian t;
    t.u16(0).u16(2).u16(1).u16(0).u32(20).u16(3).u16(0).u32(20);
    t.u16(6).u16(10).u16(0).u16(0).u16(0);
    return t.take();
}

Bytes name() {
    const std::vector<std::pair<int, std::string>> records = {
        {1, "ParvoGlyphless"}, {2, "Regular"}, {4, "ParvoGlyphless"}, {6, "ParvoGlyphless"}};
    BigEndian t;
    t.u16(0).u16(static_cast<int>(records.size())).u16(6 + 12 * static_cast<int>(records.size()));
    int offset = 0;
    for (const auto& [id, text] : records) {
        const int length = 2 * static_cast<int>(text.size());
        t.u16(3).u16(1).u16(0x0409).u16(id).u16(length).u16(offset);
        offset += length;
    }
    for (const auto& [id, text] : records)
        for (const char c : text)
            t.u16(static_cast<unsigned char>(c)); // UTF-16BE of ASCII
    return t.take();
}

Bytes post() {
    BigEndian t;
    t.u32(0x00030000).u32(0).u16(-100 & 0xffff).u16(50).zeros(20);
    return t.take();
}

} // namespace

Bytes trueType() {
    // Sorted by tag, as the directory must be.
    const std::vector<std::pair<std::string, Bytes>> tables = {
        {"cmap", cmap()}, {"glyf", {}},     {"head", head()}, {"hhea", hhea()}, {"hmtx", hmtx()},
        {"loca", loca()}, {"maxp", maxp()}, {"name", name()}, {"post", post()}};
    const int count = static_cast<int>(tables.size());
    int searchRange = 16;
    int selector = 0;
    while (searchRange * 2 <= count * 16) {
        searchRange *= 2;
        ++selector;
    }
    BigEndian directory;
    directory.u32(0x00010000).u16(count).u16(searchRange).u16(selector);
    directory.u16(count * 16 - searchRange);
    const std::size_t directoryBytes = 12 + 16 * tables.size();
    Bytes body;
    std::size_t headOffset = 0;
    for (const auto& [tag, bytes] : tables) {
        const std::size_t offset = directoryBytes + body.size();
        if (tag == "head")
            headOffset = offset;
        directory.u16((tag[0] << 8) | tag[1]).u16((tag[2] << 8) | tag[3]);
        directory.u32(checksum(bytes)).u32(static_cast<std::uint32_t>(offset));
        directory.u32(static_cast<std::uint32_t>(bytes.size()));
        body.insert(body.end(), bytes.begin(), bytes.end());
        body.resize((body.size() + 3) & ~std::size_t{3}, 0);
    }
    Bytes font = directory.take();
    font.insert(font.end(), body.begin(), body.end());
    // head's checkSumAdjustment (its third word) makes the whole file sum to a fixed value.
    const std::uint32_t adjustment = 0xB1B0AFBAu - checksum(font);
    for (int k = 0; k < 4; ++k)
        font[headOffset + 8 + static_cast<std::size_t>(k)] =
            static_cast<std::uint8_t>(adjustment >> (24 - 8 * k));
    return font;
}

} // namespace GlyphlessFont
