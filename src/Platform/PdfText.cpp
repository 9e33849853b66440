// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PdfText.h"

#include <algorithm>
#include <array>
#include <utility>

namespace PdfText {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Lead {
    int length = 0; // total bytes of the sequence; 0 when the byte cannot start one
    char32_t bits = 0;
    std::uint8_t lower = 0x80; // allowed range of the second byte
    std::uint8_t upper = 0xBF;
};

Lead lead(std::uint8_t byte) {
    if (byte >= 0xC2 && byte <= 0xDF)
        return {2, byte & 0x1Fu};
    if (byte >= 0xE0 && byte <= 0xEF)
        // E0 would be overlong below A0; ED followed by A0.. would be a surrogate.
        return {3, byte & 0x0Fu, std::uint8_t(byte == 0xE0 ? 0xA0 : 0x80),
                std::uint8_t(byte == 0xED ? 0x9F : 0xBF)};
    if (byte >= 0xF0 && byte <= 0xF4)
        return {4, byte & 0x07u, std::uint8_t(byte == 0xF0 ? 0x90 : 0x80),
                std::uint8_t(byte == 0xF4 ? 0x8F : 0xBF)};
    return {};
}

// WinAnsi's 0x80–0x9F row; the rest of 0x20–0xFF is ASCII and Latin-1 (0x7F excluded).
constexpr std::array<std::pair<char32_t, std::uint8_t>, 27> kHighRow = {{
    {0x0152, 0x8C}, {0x0153, 0x9C}, {0x0160, 0x8A}, {0x0161, 0x9A}, {0x0178, 0x9F}, {0x017D, 0x8E},
    {0x017E, 0x9E}, {0x0192, 0x83}, {0x02C6, 0x88}, {0x02DC, 0x98}, {0x2013, 0x96}, {0x2014, 0x97},
    {0x2018, 0x91}, {0x2019, 0x92}, {0x201A, 0x82}, {0x201C, 0x93}, {0x201D, 0x94}, {0x201E, 0x84},
    {0x2020, 0x86}, {0x2021, 0x87}, {0x2022, 0x95}, {0x2026, 0x85}, {0x2030, 0x89}, {0x2039, 0x8B},
    {0x203A, 0x9B}, {0x20AC, 0x80}, {0x2122, 0x99},
}};

} // namespace

std::u32string decodeUtf8(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto byte = static_cast<std::uint8_t>(utf8[i++]);
        if (byte < 0x80) {
            out.push_back(byte);
            continue;
        }
        Lead sequence = lead(byte);
        if (sequence.length == 0) {
            out.push_back(kReplacement);
            continue;
        }
        char32_t value = sequence.bits;
        int taken = 1;
        for (; taken < sequence.length && i < utf8.size(); ++taken, ++i) {
            const auto next = static_cast<std::uint8_t>(utf8[i]);
            if (next < sequence.lower || next > sequence.upper)
                break;
            value = (value << 6) | (next & 0x3Fu);
            sequence.lower = 0x80;
            sequence.upper = 0xBF;
        }
        out.push_back(taken == sequence.length ? value : kReplacement);
    }
    return out;
}

std::optional<std::uint8_t> winAnsiByte(char32_t codePoint) {
    if ((codePoint >= 0x20 && codePoint < 0x7F) || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<std::uint8_t>(codePoint);
    const auto* found =
        std::find_if(kHighRow.begin(), kHighRow.end(),
                     [codePoint](const auto& entry) { return entry.first == codePoint; });
    if (found == kHighRow.end())
        return std::nullopt;
    return found->second;
}

std::vector<Run> runs(std::u32string_view text) {
    std::vector<Run> result;
    for (const char32_t c : text) {
        const bool winAnsi = winAnsiByte(c).has_value();
        if (result.empty() || result.back().winAnsi != winAnsi)
            result.push_back({winAnsi, {}});
        result.back().text.push_back(c);
    }
    return result;
}

namespace {

// The standard Helvetica's advance widths (its font metrics) for WinAnsi bytes 32–255; 0 for
// bytes WinAnsi leaves undefined.
constexpr std::array<std::uint16_t, 224> kHelveticaWidths = {
    278,  278, 355, 556, 556, 889,  667,  191,  333, 333,  389, 584, 278,  333, 278, 278, // 32
    556,  556, 556, 556, 556, 556,  556,  556,  556, 556,  278, 278, 584,  584, 584, 556, // 48
    1015, 667, 667, 722, 722, 667,  611,  778,  722, 278,  500, 667, 556,  833, 722, 778, // 64
    667,  778, 722, 667, 611, 722,  667,  944,  667, 667,  611, 278, 278,  278, 469, 556, // 80
    333,  556, 556, 500, 556, 556,  278,  556,  556, 222,  222, 500, 222,  833, 556, 556, // 96
    556,  556, 333, 500, 278, 556,  500,  722,  500, 500,  500, 334, 260,  334, 584, 0,   // 112
    556,  0,   222, 556, 333, 1000, 556,  556,  333, 1000, 667, 333, 1000, 0,   611, 0,   // 128
    0,    222, 222, 333, 333, 350,  556,  1000, 333, 1000, 500, 333, 944,  0,   500, 667, // 144
    278,  333, 556, 556, 556, 556,  260,  556,  333, 737,  370, 556, 584,  333, 737, 333, // 160
    400,  584, 333, 333, 333, 556,  537,  278,  333, 333,  365, 556, 834,  834, 834, 611, // 176
    667,  667, 667, 667, 667, 667,  1000, 722,  667, 667,  667, 667, 278,  278, 278, 278, // 192
    722,  722, 778, 778, 778, 778,  778,  584,  778, 722,  722, 722, 722,  667, 667, 611, // 208
    556,  556, 556, 556, 556, 556,  889,  500,  556, 556,  556, 556, 278,  278, 278, 278, // 224
    556,  556, 556, 556, 556, 556,  556,  584,  611, 556,  556, 556, 556,  500, 556, 500, // 240
};

} // namespace

int advance(char32_t c) {
    if (const auto byte = winAnsiByte(c); byte && *byte >= 32)
        return kHelveticaWidths[*byte - 32];
    return isWide(c) ? 1000 : 500;
}

bool isWide(char32_t c) {
    static constexpr std::array<std::pair<char32_t, char32_t>, 12> kWide = {{
        {0x1100, 0x115F},   // Hangul Jamo initials
        {0x2E80, 0x303E},   // CJK radicals, punctuation
        {0x3041, 0x33FF},   // kana, CJK compatibility
        {0x3400, 0x4DBF},   // CJK extension A
        {0x4E00, 0x9FFF},   // CJK unified ideographs
        {0xA000, 0xA4CF},   // Yi
        {0xAC00, 0xD7A3},   // Hangul syllables
        {0xF900, 0xFAFF},   // CJK compatibility ideographs
        {0xFE30, 0xFE4F},   // CJK compatibility forms
        {0xFF00, 0xFF60},   // fullwidth forms
        {0x1F300, 0x1FAFF}, // emoji and pictographs
        {0x20000, 0x3FFFD}, // CJK extensions B onwards
    }};
    return std::any_of(kWide.begin(), kWide.end(),
                       [c](const auto& range) { return c >= range.first && c <= range.second; });
}

std::string utf16Hex(char32_t codePoint) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    const auto unit = [&](char32_t value) {
        for (int shift = 12; shift >= 0; shift -= 4)
            hex.push_back(kDigits[(value >> shift) & 0xF]);
    };
    if (codePoint < 0x10000) {
        unit(codePoint);
    } else {
        const char32_t offset = codePoint - 0x10000;
        unit(0xD800 + (offset >> 10));
        unit(0xDC00 + (offset & 0x3FF));
    }
    return hex;
}

} // namespace PdfText
