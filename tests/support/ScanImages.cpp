// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScanImages.h"

#include "Platform/PdfDocument.h"
#include "Platform/PdfWriter.h"

#include <cctype>
#include <cmath>
#include <map>
#include <numbers>
#include <stdexcept>
#include <vips/vips8>

namespace ScanImages {
namespace {

using TextPages::Word;
using vips::VImage;

VImage vipsOf(const Image& image) {
    return VImage::new_from_memory(const_cast<std::uint8_t*>(image.pixels.data()),
                                   image.pixels.size(), image.widthPixels, image.heightPixels,
                                   image.channels, VIPS_FORMAT_UCHAR)
        .copy_memory();
}

Image imageOf(const VImage& image) {
    std::size_t size = 0;
    void* memory = image.write_to_memory(&size);
    Image result{image.width(), image.height(), image.bands(), 1, {}};
    result.pixels.assign(static_cast<std::uint8_t*>(memory),
                         static_cast<std::uint8_t*>(memory) + size);
    g_free(memory);
    return result;
}

std::map<std::string, int> wordCounts(const std::string& text) {
    std::map<std::string, int> counts;
    std::string word;
    for (const char c : text + " ") {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || byte >= 0x80) {
            word += static_cast<char>(std::tolower(byte));
        } else if (!word.empty()) {
            ++counts[word];
            word.clear();
        }
    }
    return counts;
}

} // namespace

Image turnedBy(const Image& image, int clockwiseDegrees) {
    const VImage source = vipsOf(image);
    switch (clockwiseDegrees) {
    case 90:
        return imageOf(source.rot90());
    case 180:
        return imageOf(source.rot180());
    case 270:
        return imageOf(source.rot270());
    default:
        return image;
    }
}

std::vector<Word> turnedWords(std::vector<Word> words, int clockwiseDegrees, double width,
                              double height) {
    for (Word& word : words) {
        const Word o = word;
        if (clockwiseDegrees == 90)
            word = {o.text, height - o.bottom, o.left, height - o.top, o.right, 0};
        else if (clockwiseDegrees == 180)
            word = {o.text, width - o.right, height - o.bottom, width - o.left, height - o.top, 0};
        else if (clockwiseDegrees == 270)
            word = {o.text, o.top, width - o.right, o.bottom, width - o.left, 0};
    }
    return words;
}

Image skewedBy(const Image& image, double degrees, std::pair<int, int> canvas,
               std::vector<Word>& words) {
    const double radians = degrees * std::numbers::pi / 180;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const double cx = image.widthPixels / 2.0;
    const double cy = image.heightPixels / 2.0;
    const double ox = canvas.first / 2.0;
    const double oy = canvas.second / 2.0;
    // y grows downwards, so this matrix turns anticlockwise as seen.
    const VImage turned = vipsOf(image).affine(
        {c, s, -s, c}, VImage::option()
                           ->set("oarea", std::vector<int>{0, 0, canvas.first, canvas.second})
                           ->set("idx", -cx)
                           ->set("idy", -cy)
                           ->set("odx", ox)
                           ->set("ody", oy)
                           ->set("background", std::vector<double>{255}));
    for (Word& word : words) {
        const double x = (word.left + word.right) / 2 - cx;
        const double y = (word.top + word.bottom) / 2 - cy;
        const double halfWidth = (word.right - word.left) / 2;
        const double halfHeight = (word.bottom - word.top) / 2;
        const double nx = c * x + s * y + ox;
        const double ny = -s * x + c * y + oy;
        word = {word.text, nx - halfWidth, ny - halfHeight, nx + halfWidth, ny + halfHeight, 0};
    }
    return imageOf(turned.cast(VIPS_FORMAT_UCHAR));
}

double meanDifference(const Image& a, const Image& b) {
    if (a.widthPixels != b.widthPixels || a.heightPixels != b.heightPixels)
        return 255;
    double sum = 0;
    const auto pixels = static_cast<std::size_t>(a.widthPixels) * a.heightPixels;
    const auto channel = [](const Image& image, std::size_t pixel, int k) {
        return image.pixels[pixel * image.channels + (image.channels == 3 ? k : 0)];
    };
    for (std::size_t i = 0; i < pixels; ++i)
        for (int k = 0; k < 3; ++k)
            sum += std::abs(channel(a, i, k) - channel(b, i, k));
    return sum / (3.0 * static_cast<double>(pixels));
}

Image shownAlone(const Image& picture) {
    PdfWriter writer;
    const auto stored = PdfWriter::losslessImage(picture);
    const double width = picture.widthPixels;
    const double height = picture.heightPixels;
    if (!stored || !writer.beginPage(width, height) ||
        !writer.drawImage(*stored, 0, 0, width, height))
        throw std::runtime_error("the picture could not be drawn");
    return rendered(*writer.finish());
}

Image rendered(const Bytes& pdf, int page, double scale) {
    const auto document = PdfDocument::openBytes(pdf);
    const auto box = document ? document->mediaBox(page) : std::nullopt;
    auto image =
        box ? document->renderPage(page, static_cast<int>(std::lround(box->widthPoints * scale)),
                                   static_cast<int>(std::lround(box->heightPoints * scale)))
            : std::nullopt;
    if (!image)
        throw std::runtime_error("the page did not render");
    return std::move(*image);
}

double transcriptRecall(const std::string& transcript, const std::vector<Word>& found) {
    std::string text;
    for (const Word& word : found)
        text += word.text + " ";
    auto available = wordCounts(text);
    int total = 0;
    int hits = 0;
    for (const auto& [word, count] : wordCounts(transcript)) {
        total += count;
        hits += std::min(count, available[word]);
    }
    return total > 0 ? static_cast<double>(hits) / total : 1;
}

} // namespace ScanImages
