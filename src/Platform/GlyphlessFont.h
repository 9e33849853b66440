// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"

/// A TrueType font program with two glyphs (.notdef and one other), both without outlines.
/// Embedded behind the fallback text font, it lets a PDF carry characters of any script as
/// invisible, extractable text without shipping real glyphs. Thread-safe; never throws
/// (beyond std::bad_alloc).
namespace GlyphlessFont {

/// Font units per em of the program; advances in its metrics are in these units.
inline constexpr int kUnitsPerEm = 1000;
/// The glyph every character is drawn with.
inline constexpr int kGlyphIndex = 1;
/// Ascent and descent in font units, as the font's descriptor must repeat them.
inline constexpr int kAscent = 800;
inline constexpr int kDescent = -200;

/// The complete font file (sfnt), the same bytes on every call.
Bytes trueType();

} // namespace GlyphlessFont
