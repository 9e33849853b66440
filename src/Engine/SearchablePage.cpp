// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/SearchablePage.h"

#include "Platform/ImageCodec.h"
#include "Platform/TextRecognizer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>

namespace SearchablePages {
namespace {

constexpr double kFontSizeFactor = 0.85;
constexpr double kSmallestFontSize = 1.0;
constexpr double kSmallestBoxSide = 1.0;
constexpr double kPointsPerInch = 72.0;

// A photo-like page by its sampled pixels: no colour covers at least this share of them (text
// on paper has one background colour; a photo or a textured scan has none) …
constexpr double kBackgroundShare = 0.5;
// … or more colours than anti-aliased text in a few inks produces.
constexpr std::size_t kPhotoColours = 4096;
constexpr std::size_t kSamples = 65536;

PageSize sizeOf(const Image& image) {
    return {static_cast<double>(image.widthPixels), static_cast<double>(image.heightPixels)};
}

// The page of a reading, without its picture.
SearchablePage pageOf(PageReading&& reading) {
    SearchablePage page;
    page.size = sizeOf(reading.upright);
    page.lines = std::move(reading.lines);
    page.frame = reading.frame;
    return page;
}

std::optional<SearchablePage> storedLosslessly(PageReading&& reading) {
    auto picture = PdfWriter::losslessImage(reading.upright);
    if (!picture)
        return std::nullopt;
    SearchablePage page = pageOf(std::move(reading));
    page.picture = std::move(*picture);
    return page;
}

bool startsLikeJpeg(std::span<const std::uint8_t> file) {
    return file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF;
}

// The JPEG file itself, when it holds exactly the picture that was decoded from it.
std::optional<PdfImageData> embeddableJpeg(std::span<const std::uint8_t> file,
                                           const Image& decoded) {
    if (!startsLikeJpeg(file))
        return std::nullopt;
    auto picture = PdfWriter::jpegImage(file);
    if (!picture || picture->widthPixels != decoded.widthPixels ||
        picture->heightPixels != decoded.heightPixels)
        return std::nullopt;
    return picture;
}

std::optional<Image> upright(Image&& image) {
    if (image.exifOrientation == 1)
        return std::move(image);
    return ImageCodec::turnedUpright(image);
}

PageReading readUpright(Image&& image, TextRecognizer& recognizer) {
    return PageReader::read(std::move(image), languages(), recognizer);
}

std::optional<PdfImageData> smallerJpeg(const Image& image, std::size_t thanBytes) {
    const auto jpeg = ImageCodec::encodeJpeg(image, kPhotoJpegQuality);
    if (!jpeg || jpeg->size() >= thanBytes)
        return std::nullopt;
    return PdfWriter::jpegImage(*jpeg);
}

std::vector<std::uint32_t> sampledColours(const Image& image) {
    const std::size_t pixels = image.pixels.size() / static_cast<std::size_t>(image.channels);
    const std::size_t step = std::max<std::size_t>(1, pixels / kSamples);
    std::vector<std::uint32_t> colours;
    colours.reserve(pixels / step + 1);
    for (std::size_t i = 0; i < pixels; i += step) {
        const std::uint8_t* pixel = &image.pixels[i * static_cast<std::size_t>(image.channels)];
        colours.push_back(image.channels >= 3
                              ? (std::uint32_t{pixel[0]} << 16) | (pixel[1] << 8) | pixel[2]
                              : std::uint32_t{pixel[0]} * 0x010101u);
    }
    return colours;
}

} // namespace

const std::vector<std::string>& languages() {
    static const std::vector<std::string> tags = {"es-ES", "en-US"};
    return tags;
}

std::optional<SearchablePage> fromImage(const Image& image, TextRecognizer& recognizer) {
    auto turned = ImageCodec::turnedUpright(image);
    if (!turned)
        return std::nullopt;
    return storedLosslessly(readUpright(std::move(*turned), recognizer));
}

std::optional<SearchablePage> fromFile(std::span<const std::uint8_t> file, int pageIndex,
                                       TextRecognizer& recognizer) {
    auto decoded = ImageCodec::decodeBytesPage(file, pageIndex);
    if (!decoded)
        return std::nullopt;
    auto jpeg = pageIndex == 0 ? embeddableJpeg(file, *decoded) : std::nullopt;
    const int orientation = decoded->exifOrientation;
    auto turned = upright(std::move(*decoded));
    if (!turned)
        return std::nullopt;
    PageReading reading = readUpright(std::move(*turned), recognizer);
    if (!jpeg)
        return storedLosslessly(std::move(reading));
    // The file's bytes stay as they are: the drawing turns them as both turns together say.
    const int shown = ImageCodec::turnedOrientation(orientation, reading.turnDegrees);
    SearchablePage page = pageOf(std::move(reading));
    page.picture = std::move(*jpeg);
    page.exifOrientation = shown;
    return page;
}

std::optional<SearchablePage> fromRendering(Image rendering, double dotsPerInch,
                                            const std::optional<PdfPageImage>& scan,
                                            TextRecognizer& recognizer) {
    ImageCodec::reduceToGrayIfNeutral(rendering);
    rendering.dotsPerInch = dotsPerInch;
    const PageSize rendered = sizeOf(rendering);
    PageReading reading = readUpright(std::move(rendering), recognizer);
    if (scan) {
        const double scale = dotsPerInch / kPointsPerInch;
        const Affine turn =
            Affine::quarterTurn(reading.turnDegrees, rendered.widthPoints, rendered.heightPoints);
        SearchablePage page = pageOf(std::move(reading));
        page.scan = scan;
        page.scanToPage = Affine::scaling(scale, scale).then(turn);
        return page;
    }
    auto picture = PdfWriter::losslessImage(reading.upright);
    if (!picture)
        return std::nullopt;
    if (isPhotoLike(reading.upright))
        if (auto jpeg = smallerJpeg(reading.upright, picture->byteCount()))
            picture = std::move(jpeg);
    SearchablePage page = pageOf(std::move(reading));
    page.picture = std::move(*picture);
    return page;
}

bool isPhotoLike(const Image& image) {
    if (image.channels < 1 || image.pixels.empty() || image.pixels.size() != image.byteCount())
        return false;
    auto colours = sampledColours(image);
    std::sort(colours.begin(), colours.end());
    std::size_t distinct = 0;
    std::size_t commonest = 0;
    for (auto run = colours.begin(); run != colours.end(); ++distinct) {
        const auto end = std::upper_bound(run, colours.end(), *run);
        commonest = std::max(commonest, static_cast<std::size_t>(end - run));
        run = end;
    }
    return static_cast<double>(commonest) <
               kBackgroundShare * static_cast<double>(colours.size()) ||
           distinct > kPhotoColours;
}

bool add(const SearchablePage& page, PdfWriter& writer) {
    const double width = page.size.widthPoints;
    const double height = page.size.heightPoints;
    if (!writer.beginPage(width, height))
        return false;
    const bool drawn =
        page.scan ? writer.drawPageImage(*page.scan, page.scanToPage)
                  : writer.drawImage(page.picture, 0, 0, width, height, page.exifOrientation);
    if (!drawn) {
        writer.endPage();
        return false;
    }
    const bool straight = page.frame.isPage(page.size);
    const Affine toPage = page.frame.toPage(page.size);
    for (const OCRLine& line : page.lines) {
        Rect box = OCREngine::pageRect(line.box, page.frame.readSize);
        if (!straight) {
            const Point start = toPage.apply({box.x, box.y});
            box.x = start.x;
            box.y = start.y;
        }
        drawInvisible(line.text, box, writer, page.frame.slopeDegrees);
    }
    writer.endPage();
    return true;
}

void drawInvisible(std::string_view text, const Rect& box, PdfWriter& writer, double slopeDegrees) {
    if (text.empty() || !(box.height > kSmallestBoxSide) || !(box.width > kSmallestBoxSide))
        return;
    const double fontSize = std::max(box.height * kFontSizeFactor, kSmallestFontSize);
    // A line the writer refuses (a coordinate that is not finite) is left out alone. Lines
    // that Helvetica would draw wider than their box are narrowed to it: run past the page's
    // edge, their words could be neither found nor selected.
    (void)writer.drawInvisibleText(text, box.x, box.y, fontSize, box.width, slopeDegrees);
}

} // namespace SearchablePages
