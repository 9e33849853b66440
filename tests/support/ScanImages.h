// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"
#include "support/TextPages.h"

#include <utility>
#include <vector>

/// Scans turned and skewed by libvips, with their words following them.
namespace ScanImages {

/// The picture turned clockwise by 0, 90, 180 or 270 degrees.
Image turnedBy(const Image& image, int clockwiseDegrees);

/// Words of a width × height picture where they lie once it is turned as turnedBy turns it.
std::vector<TextPages::Word> turnedWords(std::vector<TextPages::Word> words, int clockwiseDegrees,
                                         double width, double height);

/// The picture turned anticlockwise by `degrees` about its centre onto a white canvas of
/// `canvas` pixels (width, height) with the same centre; `words` follow it.
Image skewedBy(const Image& image, double degrees, std::pair<int, int> canvas,
               std::vector<TextPages::Word>& words);

/// Mean absolute difference per channel (gray counts as three equal channels); 255 when the
/// sizes differ.
double meanDifference(const Image& a, const Image& b);

/// The picture rendered as Poppler shows it alone on a page of its size (one point per pixel),
/// to compare other renderings with.
Image shownAlone(const Image& picture);

/// A PDF's page rendered at `scale` pixels per point of its media box.
Image rendered(const Bytes& pdf, int page = 0, double scale = 1);

/// Word recall as the benchmark measures it: the share of the transcript's words (lower-cased
/// runs of letters and digits, with multiplicity) among the words found.
double transcriptRecall(const std::string& transcript, const std::vector<TextPages::Word>& found);

} // namespace ScanImages
