// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"

#include <string>
#include <vector>

/// Pages of known text that tests draw, render and read back (Poppler's text extraction).
namespace TextPages {

/// A line of Helvetica: its baseline's start and its size in points; WinAnsi text.
struct Line {
    std::string text;
    double x = 0;
    double baseline = 0;
    double size = 12;
};

struct Page {
    double widthPoints = 300;
    double heightPoints = 120;
    std::vector<Line> lines;
};

/// Pixels per point of the rendered "scans".
inline constexpr double kScale = 2;

/// Born-digital pages of the lines (Helvetica, not embedded).
Bytes pdf(const std::vector<Page>& pages);

/// The page rendered at kScale, gray: a clean scan of known text.
Image image(const Page& page);

/// Common English words in columns of short lines (about `measurePoints` wide) filling a page
/// of the given size at `size` points: enough characters for orientation detection to be
/// sure, in lines short enough that the invisible text, drawn at its font's natural advance,
/// stays on the words.
Page paragraph(double widthPoints, double heightPoints, double size = 13,
               double measurePoints = 70);

/// A word as Poppler extracts it, in points, origin top-left.
struct Word {
    std::string text;
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    double fontSize = 0;
};

std::vector<std::vector<Word>> words(const Bytes& pdf);

/// The page's words where image() draws them, in its pixels (origin top-left).
std::vector<Word> drawnWords(const Page& page);

/// The share of `expected` words (by text, with multiplicity) among `found`.
double recall(const std::vector<Word>& found, const std::vector<Word>& expected);

/// The share of `expected` words that a found word of the same text overlaps.
double onWords(const std::vector<Word>& found, const std::vector<Word>& expected);

} // namespace TextPages
