// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/SearchablePage.h"

#include "Platform/ImageCodec.h"
#include "Platform/TextRecognizer.h"

#include <algorithm>
#include <array>
#include <cmath>
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

// The line's box on the page: read on the page's own picture or on a straightened copy of
// it, and scaled down when that picture was finer than the page.
Rect placed(const OCRLine& line, const SearchablePage& page) {
    const bool finer = page.readPixels.widthPoints > 0 && page.readPixels.heightPoints > 0;
    const PageSize picture = finer ? page.readPixels : page.size;
    Rect box = OCREngine::pageRect(line.box, page.frame.readSize);
    if (!page.frame.isPage(picture)) {
        const Point start = page.frame.toPage(picture).apply({box.x, box.y});
        box.x = start.x;
        box.y = start.y;
    }
    if (!finer)
        return box;
    const double across = page.size.widthPoints / picture.widthPoints;
    const double down = page.size.heightPoints / picture.heightPoints;
    return {box.x * across, box.y * down, box.width * across, box.height * down};
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

double readingScale(PageSize shown, double pageScale, const std::optional<PdfPageImage>& scan) {
    const double w = shown.widthPoints;
    const double h = shown.heightPoints;
    if (!scan || !(w > 0) || !(h > 0))
        return pageScale;
    // (w s + 1)(h s + 1) ≤ kMaxPixels bounds the product of the rendering's rounded sides.
    const auto most = static_cast<double>(ImageCodec::kMaxPixels);
    const double fitting =
        (std::sqrt((w + h) * (w + h) + 4 * w * h * (most - 1)) - (w + h)) / (2 * w * h);
    const double scale =
        std::min({scan->pixelsPerPoint(), kFinestReadingDpi / kPointsPerInch, fitting});
    return scale > pageScale ? scale : pageScale;
}

std::optional<SearchablePage> fromRendering(RenderedPdfPage rendered, TextRecognizer& recognizer) {
    Image& rendering = rendered.rendering;
    ImageCodec::reduceToGrayIfNeutral(rendering);
    rendering.dotsPerInch = kPointsPerInch * rendered.pixelsPerPoint;
    const PageSize unturned = rendered.scan ? rendered.pagePoints : sizeOf(rendering);
    PageReading reading = readUpright(std::move(rendering), recognizer);
    const int turn = reading.turnDegrees;
    const Affine sourceToPage =
        Affine::scaling(rendered.pageScale, rendered.pageScale)
            .then(Affine::quarterTurn(turn, unturned.widthPoints, unturned.heightPoints));
    if (rendered.scan) {
        const PageSize read = sizeOf(reading.upright);
        SearchablePage page = pageOf(std::move(reading));
        page.size =
            turn % 180 == 0 ? unturned : PageSize{unturned.heightPoints, unturned.widthPoints};
        if (read.widthPoints != page.size.widthPoints ||
            read.heightPoints != page.size.heightPoints)
            page.readPixels = read;
        page.scan = std::move(rendered.scan);
        page.sourceToPage = sourceToPage;
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
    page.sourceToPage = sourceToPage;
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
        page.scan ? writer.drawPageImage(*page.scan, page.sourceToPage)
                  : writer.drawImage(page.picture, 0, 0, width, height, page.exifOrientation);
    if (!drawn) {
        writer.endPage();
        return false;
    }
    for (const OCRLine& line : page.lines)
        drawInvisible(line.text, placed(line, page), writer, page.frame.slopeDegrees);
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
