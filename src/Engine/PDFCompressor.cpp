// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/PDFCompressor.h"

#include "Engine/ImageCompressor.h"
#include "Engine/OrderedPipeline.h"
#include "Engine/ParallelFor.h"
#include "Engine/QualitySearch.h"
#include "Platform/FileBytes.h"
#include "Platform/ImageCodec.h"
#include "Platform/PackedImage.h"
#include "Platform/PdfWriter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <utility>
#include <variant>

namespace PDFCompressor {
namespace {

constexpr double kMinQuality = 0.05;
constexpr double kMaxQuality = 1.0;
constexpr int kSteps = 6;

// Rendered pages are kept raw up to this many bytes in all and deflated beyond it, so that
// a long document costs memory in proportion to its compressed pages, not its raw bitmaps.
constexpr std::size_t kRawBudgetBytes = std::size_t{256} << 20;

template <typename Renderer>
std::optional<Image> renderScaled(const PdfDocument& document, const Renderer& renderer,
                                  int pageIndex, double dpiScale) {
    const auto box = document.mediaBox(pageIndex);
    if (!box)
        return std::nullopt;
    const double width = std::round(box->widthPoints * dpiScale);
    const double height = std::round(box->heightPoints * dpiScale);
    if (!(width >= 1 && height >= 1 && width <= 1e9 && height <= 1e9))
        return std::nullopt;
    auto image = renderer.renderPage(pageIndex, static_cast<int>(width), static_cast<int>(height));
    if (image)
        ImageCodec::reduceToGrayIfNeutral(*image);
    return image;
}

/// A PDF of JPEG pages, one page per encoding, each page as large in points as its JPEG is in
/// pixels. Missing encodings are left out. Each encoding is released once it is in the writer.
std::optional<Bytes> pdfFromJpegs(std::vector<std::optional<Bytes>>& jpegs,
                                  const std::vector<std::pair<int, int>>& sizesPixels) {
    PdfWriter writer;
    for (std::size_t i = 0; i < jpegs.size(); ++i) {
        if (!jpegs[i])
            continue;
        const auto [width, height] = sizesPixels[i];
        const bool drawn =
            writer.beginPage(width, height) && writer.drawJpeg(*jpegs[i], 0, 0, width, height);
        writer.endPage();
        if (!drawn)
            return std::nullopt;
        jpegs[i].reset();
    }
    return writer.finish();
}

/// What rendering leaves for the quality search. Each page's JPEG at the lowest quality, the
/// search's first probe, is made while the page is at hand. Their running total decides early
/// what the search will find: once it exceeds the budget, the lowest quality cannot fit and is
/// the answer, so the pages are no longer kept; once it reaches the file's own size, no rebuilt
/// PDF (which holds those JPEGs and more) can be smaller, so rendering stops. Otherwise the
/// pages are kept for the later probes, raw within a memory budget and deflated beyond it.
/// add() may be called from several threads at once for different pages.
class PageStore {
public:
    PageStore(int pageCount, std::int64_t budgetBytes, std::int64_t fileBytes, bool fitOrNothing)
        : m_pages(pageCount), m_sizes(pageCount), m_minimum(pageCount), m_budget(budgetBytes),
          m_fileBytes(fileBytes), m_fitOrNothing(fitOrNothing) {}

    bool add(int index, Image&& image) {
        m_sizes[index] = {image.widthPixels, image.heightPixels};
        auto jpeg = ImageCompressor::jpegData(image, kMinQuality);
        if (!jpeg)
            return false;
        const auto size = static_cast<std::int64_t>(jpeg->size());
        m_minimum[index] = std::move(jpeg);
        const std::int64_t total = m_minimumBytes.fetch_add(size) + size;
        if (total > m_budget)
            m_minimumTooLarge = true;
        if (total >= m_fileBytes)
            m_fileIsSmaller = true;
        return m_minimumTooLarge || keep(index, std::move(image));
    }

    bool minimumTooLarge() const { return m_minimumTooLarge; }
    /// Whether the rendering can stop: no rebuilt PDF would be used.
    bool hopeless() const { return m_fileIsSmaller || (m_fitOrNothing && m_minimumTooLarge); }

    /// The PDF at the lowest quality, from the JPEGs made while rendering. Once only.
    std::optional<Bytes> assembleMinimum() {
        auto jpegs = std::exchange(m_minimum, {});
        if (jpegs.empty())
            return std::nullopt;
        return pdfFromJpegs(jpegs, m_sizes);
    }

    std::optional<Bytes> encode(int index, double quality) const {
        if (const auto* raw = std::get_if<Image>(&m_pages[index]))
            return ImageCompressor::jpegData(*raw, quality);
        const auto* packed = std::get_if<PackedImage>(&m_pages[index]);
        const auto image = packed ? unpack(*packed) : std::nullopt;
        if (!image)
            return std::nullopt;
        return ImageCompressor::jpegData(*image, quality);
    }

    int count() const { return static_cast<int>(m_pages.size()); }
    const std::vector<std::pair<int, int>>& sizesPixels() const { return m_sizes; }

private:
    bool keep(int index, Image&& image) {
        const std::size_t bytes = image.byteCount();
        if (m_rawBytes.fetch_add(bytes) + bytes <= kRawBudgetBytes) {
            m_pages[index] = std::move(image);
            return true;
        }
        m_rawBytes.fetch_sub(bytes);
        auto packed = pack(image);
        if (!packed)
            return false;
        m_pages[index] = std::move(*packed);
        return true;
    }

    std::vector<std::variant<std::monostate, Image, PackedImage>> m_pages;
    std::vector<std::pair<int, int>> m_sizes;
    std::vector<std::optional<Bytes>> m_minimum;
    const std::int64_t m_budget;
    const std::int64_t m_fileBytes;
    const bool m_fitOrNothing;
    std::atomic<std::size_t> m_rawBytes{0};
    std::atomic<std::int64_t> m_minimumBytes{0};
    std::atomic<bool> m_minimumTooLarge{false};
    std::atomic<bool> m_fileIsSmaller{false};
};

/// Renders every page on `threads` threads, each with its own renderer, until the store has
/// seen enough, telling `progress` in page order on this thread. False as soon as any page
/// cannot be rendered (a rebuilt document must hold every page of its source), and when the
/// store has seen enough before the last page.
bool renderAll(const PdfDocument& document, double dpiScale, int threads, PageStore& store,
               const PageProgress& progress) {
    std::vector<std::optional<PdfPageRenderer>> renderers;
    for (int worker = 0; worker < std::max(threads, 1); ++worker) {
        renderers.push_back(document.renderer());
        if (!renderers.back())
            return false;
    }
    const std::function<bool(int, int)> render = [&](int index, int worker) {
        if (store.hopeless())
            return false;
        auto image = renderScaled(document, *renderers[worker], index, dpiScale);
        return image && store.add(index, std::move(*image));
    };
    const std::function<bool(int, bool&&)> rendered = [&](int index, bool&& stored) {
        if (!stored || store.hopeless())
            return false;
        if (progress)
            progress(index + 1, store.count());
        return true;
    };
    // Only flags wait to be taken, never pages: no limit on how far rendering runs ahead.
    return runOrdered<bool>(store.count(), std::max(threads, 1), store.count(), {}, render,
                            rendered);
}

/// One probe: every page encoded at `quality` (on `threads` threads) and assembled. Absent
/// when any page fails to encode, so that no probe result ever lacks a page.
std::optional<Bytes> assembleAll(const PageStore& store, double quality, int threads) {
    std::vector<std::optional<Bytes>> jpegs(store.count());
    parallelFor(store.count(), threads,
                [&](int index, int) { jpegs[index] = store.encode(index, quality); });
    for (const auto& jpeg : jpegs)
        if (!jpeg)
            return std::nullopt;
    return pdfFromJpegs(jpegs, store.sizesPixels());
}

/// The search over a rendered document, its first probe already made while rendering.
/// Whether encoding the pages of one probe on `threads` threads keeps them all busy. When one
/// page outweighs the rest (a large plate among small pages), the threads are better spent on
/// two probes at once, each encoding its pages on one thread.
bool pagesShareWell(const PageStore& store, int threads) {
    double total = 0;
    double largest = 0;
    for (const auto& [width, height] : store.sizesPixels()) {
        const double pixels = static_cast<double>(width) * height;
        total += pixels;
        largest = std::max(largest, pixels);
    }
    // Two probes at a time finish a search in about 1.6 times fewer rounds.
    constexpr double kSpeculationGain = 1.6;
    return threads < 2 || total >= kSpeculationGain * largest;
}

/// The search over a rendered document, its first probe already made while rendering.
std::optional<QualitySearch::Found> search(PageStore& store, std::int64_t budget, int threads) {
    if (store.minimumTooLarge()) {
        auto pdf = store.assembleMinimum();
        if (!pdf)
            return std::nullopt;
        return QualitySearch::Found{kMinQuality, std::move(*pdf), 1};
    }
    const bool byPage = pagesShareWell(store, threads);
    const int pageThreads = byPage ? threads : 1;
    return QualitySearch::bestEncoding(
        budget, kMinQuality, kMaxQuality, kSteps,
        [&store, pageThreads](double quality) {
            return quality == kMinQuality ? store.assembleMinimum()
                                          : assembleAll(store, quality, pageThreads);
        },
        byPage ? 1 : 2);
}

Compression unchanged(Bytes&& file, int assemblies = 0) {
    return Compression{std::move(file), false, 0, assemblies};
}

} // namespace

std::vector<Image> pageImages(const PdfDocument& document, double dpiScale) {
    std::vector<Image> pages;
    for (int index = 0; index < document.pageCount(); ++index)
        if (auto image = renderScaled(document, document, index, dpiScale))
            pages.push_back(std::move(*image));
    return pages;
}

std::optional<Bytes> assemble(const std::vector<Image>& pages, double quality) {
    if (pages.empty())
        return std::nullopt;
    std::vector<std::optional<Bytes>> jpegs;
    std::vector<std::pair<int, int>> sizes;
    for (const Image& page : pages) {
        jpegs.push_back(ImageCompressor::jpegData(page, quality));
        sizes.emplace_back(page.widthPixels, page.heightPixels);
    }
    return pdfFromJpegs(jpegs, sizes);
}

std::optional<Compression> compressDetailed(const std::filesystem::path& pdfAt, SizeTarget target,
                                            double dpiScale, int threads,
                                            const PageProgress& progress) {
    auto file = readFileBytes(pdfAt);
    if (!file)
        return std::nullopt;
    return compressDetailed(std::move(*file), target, dpiScale, threads, progress);
}

std::optional<Compression> compressDetailed(Bytes file, SizeTarget target, double dpiScale,
                                            int threads, const PageProgress& progress,
                                            bool fitOrNothing) {
    const auto fileBytes = static_cast<std::int64_t>(file.size());
    if (fileBytes <= target.bytes())
        return unchanged(std::move(file));
    // A file over the budget that is no document to work on is a failure to report, not a
    // file that is already as small as it gets.
    const auto document = PdfDocument::openBytes(file);
    if (!document || document->pageCount() < 1)
        return std::nullopt;
    PageStore store(document->pageCount(), target.bytes(), fileBytes, fitOrNothing);
    if (!renderAll(*document, dpiScale, threads, store, progress) || store.hopeless())
        return unchanged(std::move(file));
    auto found = search(store, target.bytes(), threads);
    const int assemblies = found ? found->encodings : 0;
    if (!found || static_cast<std::int64_t>(found->bytes.size()) >= fileBytes)
        return unchanged(std::move(file), assemblies);
    return Compression{std::move(found->bytes), true, found->quality, assemblies};
}

std::optional<Bytes> compress(const std::filesystem::path& pdfAt, SizeTarget target,
                              double dpiScale) {
    auto result = compressDetailed(pdfAt, target, dpiScale);
    if (!result)
        return std::nullopt;
    return std::move(result->bytes);
}

} // namespace PDFCompressor
