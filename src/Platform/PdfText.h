// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Text as the PDF writer shows it: decoding UTF-8, the standard Helvetica's WinAnsi encoding,
/// and the split of a line into runs for Helvetica and for the fallback font. Pure functions,
/// safe on any thread; never throw (beyond std::bad_alloc).
namespace PdfText {

/// The code points of UTF-8 text. Each maximal ill-formed subsequence (a stray continuation
/// byte, a truncated sequence, an overlong form, a surrogate, a value above U+10FFFF) becomes
/// one U+FFFD, as Unicode recommends.
std::u32string decodeUtf8(std::string_view utf8);

/// The WinAnsiEncoding byte that shows the character in the standard Helvetica, or absent
/// when that encoding lacks it (control characters, Greek, Cyrillic, CJK, emoji…).
std::optional<std::uint8_t> winAnsiByte(char32_t codePoint);

/// A stretch of text drawn with one font.
struct Run {
    bool winAnsi = false; // true: Helvetica; false: the fallback font
    std::u32string text;
};
/// The text cut where it switches between WinAnsi characters and others; no run is empty.
std::vector<Run> runs(std::u32string_view text);

/// Whether the character is shown a full em wide (East Asian wide or fullwidth, emoji) rather
/// than about half an em.
bool isWide(char32_t codePoint);

/// How far the character advances the text position, in thousandths of an em: the standard
/// Helvetica's width for WinAnsi characters, the fallback font's (500, or 1000 when wide) for
/// the others.
int advance(char32_t codePoint);

/// Upper-case hexadecimal of the character's UTF-16BE code units (4 or 8 digits).
std::string utf16Hex(char32_t codePoint);

} // namespace PdfText
