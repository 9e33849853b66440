// SPDX-License-Identifier: GPL-3.0-or-later
//
// The image step decodes each image once and encodes it at every rung of the ladder right
// away, keeping the sizes (and, while a rung may still be chosen, the encodings). A rung's
// document size is then known without writing it: the lossless document's size, less the
// images' stored bytes, plus their bytes at that rung. Images are independent, so this costs
// one decode per image instead of one per probe of a bisection, and finds the best fitting
// rung even where encoded sizes are not perfectly monotone. A rung is given up as soon as
// the images seen so far already take more than the budget leaves them, so the encodings
// kept never take much more than the budget for each rung still in play.

#include "Engine/KeepingPDFCompressor.h"

#include "Engine/KeepingPictures.h"
#include "Engine/OrderedPipeline.h"
#include "Engine/ParallelFor.h"
#include "Platform/FileBytes.h"
#include "Platform/ImageCodec.h"
#include "Platform/ImageResample.h"
#include "Platform/PdfCompaction.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfImageEncoding.h"
#include "Platform/PdfImageSet.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace KeepingPDFCompressor {
namespace {

// 1-bit images (scans of text and line art) keep this many pixels per inch at every rung:
// fewer would break thin strokes, and their lossless encodings are small anyway.
constexpr double kBilevelPixelsPerInch = 300;

/// Runs make(index) for every index on `threads` threads and take(index, result) on this
/// thread in index order, holding only a few results at a time.
template <typename Result>
bool inOrder(int count, int threads, const std::function<Result(int)>& make,
             const std::function<bool(int, Result&&)>& take) {
    const int workers = std::max(threads, 1);
    return runOrdered<Result>(
        count, workers, 2 * workers, {}, [&](int index, int) { return make(index); }, take);
}

/// The document without loss, in fewer bytes; absent if writing it failed.
std::optional<Bytes> compactLosslessly(PdfCompaction& compaction, int threads) {
    compaction.shareIdenticalStreams();
    parallelFor(compaction.streamCount(), std::max(threads, 1),
                [&](int index, int) { compaction.recompress(index); });
    return compaction.write();
}

/// Whether a result reads back whole: as many pages as its source, counted by QPDF and
/// Poppler alike. Checked after the source's structure is gone, so the two are never held
/// at once.
bool holdsPages(const Bytes& pdf, int pageCount) {
    const auto document = PdfDocument::openBytes(pdf);
    return document && document->pageCount() == pageCount;
}

bool holdsPages(const std::optional<Bytes>& pdf, int pageCount) {
    return pdf && holdsPages(*pdf, pageCount);
}

/// Tells `progress` only pages beyond those it was told already, so that a later step that
/// counts pages again does not take the count back.
PageProgress forwardOnly(const PageProgress& progress, int& reported) {
    if (!progress)
        return {};
    return [&progress, &reported](int done, int count) {
        if (done > reported)
            progress(reported = done, count);
    };
}

// ---- images ------------------------------------------------------------------------------

/// One image at one rung: the bytes it will take and, when it is to be replaced there (its
/// new stream is smaller than its stored one), the replacement.
struct Encoded {
    std::int64_t bytes = 0;
    std::optional<PdfImageReplacement> replacement;
};
using Row = std::vector<Encoded>; // one per rung

int sideFor(int pixels, double inches, double pixelsPerInch) {
    const double wanted = std::ceil(inches * pixelsPerInch - 1e-6);
    if (!(wanted < pixels))
        return pixels;
    return std::max(1, static_cast<int>(wanted));
}

std::optional<PdfImageData> encodeImage(const PdfImagePixels& pixels, bool bilevel,
                                        double quality) {
    if (bilevel) {
        Image blackAndWhite = pixels.image;
        ImageResample::threshold(blackAndWhite);
        return PdfImageEncoding::bilevel(blackAndWhite);
    }
    const auto jpeg = ImageCodec::encodeJpeg(pixels.image, quality, pixels.cmykMarking);
    return jpeg ? PdfWriter::jpegImage(*jpeg) : std::nullopt;
}

/// The image reduced to width × height, and its soft mask in the same proportion.
std::optional<PdfImagePixels> reduce(const PdfImagePixels& source, int width, int height) {
    auto image = ImageResample::reduced(source.image, width, height);
    if (!image)
        return std::nullopt;
    if (!source.mask)
        return PdfImagePixels{std::move(*image), std::nullopt, source.cmykMarking};
    const auto scaled = [](int side, int newSide, int oldSide) {
        return std::max(1, static_cast<int>(std::lround(double(side) * newSide / oldSide)));
    };
    auto mask = ImageResample::reduced(
        *source.mask, scaled(source.mask->widthPixels, width, source.image.widthPixels),
        scaled(source.mask->heightPixels, height, source.image.heightPixels));
    if (!mask)
        return std::nullopt;
    return PdfImagePixels{std::move(*image), std::move(*mask), source.cmykMarking};
}

std::optional<Encoded> encode(const PdfImagePixels& pixels, bool bilevel, double quality) {
    auto image = encodeImage(pixels, bilevel, quality);
    if (!image)
        return std::nullopt;
    std::optional<PdfImageData> mask;
    if (pixels.mask && !(mask = PdfImageEncoding::flate(*pixels.mask)))
        return std::nullopt;
    const auto bytes =
        static_cast<std::int64_t>(image->byteCount() + (mask ? mask->byteCount() : 0));
    return Encoded{bytes, PdfImageReplacement{std::move(*image), std::move(mask)}};
}

/// The pictures an image's rungs are made from. Each rung's picture is reduced from the
/// last "anchor" above it: the source, then each rung's picture at most a quarter of the
/// anchor before it (reducing from a picture far larger than needed would cost more, from
/// a closer one blur more). Anchors follow from the sizes alone, so a rung's pixels never
/// depend on which rungs are encoded, and the anchors together hold at most a third of the
/// source's pixels; only rungs above the first anchor go back to the source.
class Anchors {
public:
    using Size = std::pair<int, int>;

    Anchors(PdfImagePixels source, const std::vector<Size>& sizes) : m_of(sizes.size(), 0) {
        m_anchors.push_back(std::move(source));
        for (std::size_t rung = 0; rung < sizes.size(); ++rung) {
            const auto [width, height] = sizes[rung];
            const PdfImagePixels& last = m_anchors.back();
            if (!hasSize(last, width, height) &&
                4 * static_cast<std::int64_t>(width) * height <= pixelCount(last)) {
                auto next = reduce(last, width, height);
                if (!next) {
                    m_anchors.clear();
                    return;
                }
                m_anchors.push_back(std::move(*next));
            }
            m_of[rung] = m_anchors.size() - 1;
        }
    }

    bool valid() const { return !m_anchors.empty(); }

    /// The picture of `rung` at width × height; the last one made is kept for the next call.
    const PdfImagePixels* at(std::size_t rung, int width, int height) {
        const PdfImagePixels& anchor = m_anchors[m_of[rung]];
        if (hasSize(anchor, width, height))
            return &anchor;
        if (!(m_picture && hasSize(*m_picture, width, height)))
            m_picture = reduce(anchor, width, height);
        return m_picture ? &*m_picture : nullptr;
    }

private:
    static bool hasSize(const PdfImagePixels& pixels, int width, int height) {
        return pixels.image.widthPixels == width && pixels.image.heightPixels == height;
    }
    static std::int64_t pixelCount(const PdfImagePixels& pixels) {
        return static_cast<std::int64_t>(pixels.image.widthPixels) * pixels.image.heightPixels;
    }

    std::vector<PdfImagePixels> m_anchors;
    std::vector<std::size_t> m_of;
    std::optional<PdfImagePixels> m_picture;
};

/// Image `index` at every `wanted` rung (the others keep its stored size). The rungs are
/// encoded from the smallest up: sizes only grow up the ladder, so once the image alone takes
/// more than `imageBudget` at a rung, the rungs above cannot be chosen and are not encoded
/// (their size is taken as that rung's, a lower bound); once its new stream is no smaller
/// than the stored one, the rungs above keep the stored image. A giant image under a tight
/// budget is so encoded only at the few small rungs within reach.
Row encodeRungs(PdfImageSet& set, int index, const std::vector<Setting>& settings,
                const std::vector<bool>& wanted, std::int64_t imageBudget) {
    const PdfImageInfo& info = set.images()[static_cast<std::size_t>(index)];
    Row row(settings.size(), Encoded{info.storedBytes, std::nullopt});
    const auto last = std::find(wanted.rbegin(), wanted.rend(), true);
    const std::size_t end = static_cast<std::size_t>(wanted.rend() - last);
    if (end == 0)
        return row;
    std::vector<Anchors::Size> sizes;
    for (std::size_t rung = 0; rung < end; ++rung) {
        const double cap = info.bilevel ? kBilevelPixelsPerInch : settings[rung].pixelsPerInch;
        sizes.emplace_back(sideFor(info.widthPixels, info.widthInches, cap),
                           sideFor(info.heightPixels, info.heightInches, cap));
    }
    auto source = set.pixels(index);
    if (!source)
        return row;
    Anchors anchors(std::move(*source), sizes);
    if (!anchors.valid())
        return row;
    for (std::size_t rung = end; rung-- > 0;) {
        if (!wanted[rung])
            continue;
        const auto [width, height] = sizes[rung];
        const PdfImagePixels* picture = anchors.at(rung, width, height);
        auto encoded =
            picture ? encode(*picture, info.bilevel, settings[rung].quality) : std::nullopt;
        if (!encoded || encoded->bytes >= info.storedBytes)
            break;
        const std::int64_t bytes = encoded->bytes;
        row[rung] = std::move(*encoded);
        // A 1-bit image is stored alike at every rung.
        if (info.bilevel) {
            for (std::size_t above = 0; above < rung; ++above)
                row[above] = row[rung];
            break;
        }
        if (bytes > imageBudget) {
            for (std::size_t above = 0; above < rung; ++above)
                row[above].bytes = bytes;
            break;
        }
    }
    return row;
}

/// The rows of every image, and each rung's total. A rung whose total already exceeds the
/// budget can no longer be chosen, nor can the rungs above it (sizes only grow up the
/// ladder), so their encodings are dropped; the last rung's are always kept, as the smallest
/// result there is. So are those of the "runner-up", the rung just above the best that may
/// still be chosen: the bytes a chosen rung leaves unused go to taking some images from it.
/// The rungs that may be chosen are always the lowest ones, so an image encoded while more
/// were wanted holds the same encodings at every rung kept as one encoded later.
class Table {
public:
    Table(std::size_t images, std::size_t rungs, std::int64_t budgetBytes)
        : m_rows(images), m_totals(rungs, 0), m_alive(rungs, true), m_budget(budgetBytes) {}

    /// Adds an image's row. Called on one thread; wanted() may be called meanwhile.
    void take(std::size_t index, Row&& row) {
        bool died = false;
        for (std::size_t rung = 0; rung < m_totals.size(); ++rung) {
            m_totals[rung] += row[rung].bytes;
            if (m_alive[rung] && m_totals[rung] > m_budget && rung + 1 < m_totals.size()) {
                const std::lock_guard lock(m_aliveLock);
                std::fill(m_alive.begin(), m_alive.begin() + static_cast<std::ptrdiff_t>(rung) + 1,
                          false);
                died = true;
            }
        }
        m_rows[index] = std::move(row);
        for (std::size_t rung = 0; rung < m_totals.size(); ++rung) {
            if (kept(rung))
                continue;
            if (!died) {
                m_rows[index][rung].replacement.reset();
                continue;
            }
            for (Row& each : m_rows)
                if (!each.empty())
                    each[rung].replacement.reset();
        }
    }

    /// The rungs whose encodings are kept: images need not be encoded at the others.
    std::vector<bool> wanted() const {
        const std::lock_guard lock(m_aliveLock);
        std::vector<bool> out(m_totals.size());
        for (std::size_t rung = 0; rung < out.size(); ++rung)
            out[rung] = kept(rung);
        return out;
    }

    /// The best rung whose images take at most `budgetBytes`.
    std::optional<std::size_t> best(std::int64_t budgetBytes) const {
        for (std::size_t rung = 0; rung < m_totals.size(); ++rung)
            if (m_alive[rung] && m_totals[rung] <= budgetBytes)
                return rung;
        return std::nullopt;
    }

    std::vector<std::optional<PdfImageReplacement>> replacements(std::size_t rung) const {
        std::vector<std::optional<PdfImageReplacement>> out;
        for (const Row& row : m_rows)
            out.push_back(row.empty() ? std::nullopt : row[rung].replacement);
        return out;
    }

    /// replacements(rung), with images taken from the runner-up instead, in their order, as
    /// long as what they add stays within `budgetBytes`; absent when there is nothing to add.
    std::optional<std::vector<std::optional<PdfImageReplacement>>>
    filled(std::size_t rung, std::int64_t budgetBytes) const {
        if (rung == 0 || rung != firstAlive())
            return std::nullopt;
        auto out = replacements(rung);
        std::int64_t spare = budgetBytes - m_totals[rung];
        bool added = false;
        for (std::size_t image = 0; image < m_rows.size(); ++image) {
            if (m_rows[image].empty() || !m_rows[image][rung - 1].replacement)
                continue;
            const std::int64_t more = m_rows[image][rung - 1].bytes - m_rows[image][rung].bytes;
            if (more > 0 && more <= spare) {
                out[image] = m_rows[image][rung - 1].replacement;
                spare -= more;
                added = true;
            }
        }
        return added ? std::optional(std::move(out)) : std::nullopt;
    }

    std::size_t lastRung() const { return m_totals.size() - 1; }

private:
    std::size_t firstAlive() const {
        return static_cast<std::size_t>(std::find(m_alive.begin(), m_alive.end(), true) -
                                        m_alive.begin());
    }
    bool kept(std::size_t rung) const { return m_alive[rung] || rung + 1 == firstAlive(); }

    std::vector<Row> m_rows;
    std::vector<std::int64_t> m_totals;
    std::vector<bool> m_alive;
    mutable std::mutex m_aliveLock;
    std::int64_t m_budget;
};

struct Written {
    Bytes bytes;
    bool fits = false;
};

/// Writes the best rung that fits. The size of a rung is known but for a few bytes of
/// dictionaries per image; when a written document is over the budget by some bytes, the
/// next choice is made with that many bytes less.
std::optional<Written> writeBest(PdfImageSet& set, const Table& table, std::int64_t budget,
                                 std::int64_t imageBudget) {
    if (const auto rung = table.best(imageBudget)) {
        if (const auto filled = table.filled(*rung, imageBudget)) {
            auto bytes = set.write(*filled);
            if (bytes && static_cast<std::int64_t>(bytes->size()) <= budget)
                return Written{std::move(*bytes), true};
        }
    }
    for (std::size_t attempt = 0; attempt <= table.lastRung(); ++attempt) {
        const auto rung = table.best(imageBudget);
        if (!rung)
            break;
        auto bytes = set.write(table.replacements(*rung));
        if (!bytes)
            return std::nullopt;
        const auto size = static_cast<std::int64_t>(bytes->size());
        if (size <= budget)
            return Written{std::move(*bytes), true};
        imageBudget -= size - budget;
    }
    auto bytes = set.write(table.replacements(table.lastRung()));
    if (!bytes)
        return std::nullopt;
    const bool fits = static_cast<std::int64_t>(bytes->size()) <= budget;
    return Written{std::move(*bytes), fits};
}

/// Step 3 over a (lossless) document. Absent when it has no image that a rung stores in
/// fewer bytes, or writing fails.
std::optional<Written> compressImages(const Bytes& pdf, std::int64_t budget, int threads,
                                      const PageProgress& progress) {
    auto set = PdfImageSet::open(pdf);
    if (!set || set->images().empty())
        return std::nullopt;
    const auto& images = set->images();
    std::int64_t stored = 0;
    for (const auto& info : images)
        stored += info.storedBytes;
    const std::int64_t imageBudget = budget - (static_cast<std::int64_t>(pdf.size()) - stored);
    Table table(images.size(), ladder().size(), imageBudget);
    int reported = 0;
    inOrder<Row>(
        static_cast<int>(images.size()), threads,
        [&](int index) { return encodeRungs(*set, index, ladder(), table.wanted(), imageBudget); },
        [&](int index, Row&& row) {
            table.take(static_cast<std::size_t>(index), std::move(row));
            const auto next = static_cast<std::size_t>(index) + 1;
            const int done = next < images.size() ? images[next].firstPage : set->pageCount();
            if (progress && done > reported)
                progress(reported = done, set->pageCount());
            return true;
        });
    const auto smallest = table.replacements(table.lastRung());
    if (std::none_of(smallest.begin(), smallest.end(), [](const auto& r) { return r.has_value(); }))
        return std::nullopt;
    return writeBest(*set, table, budget, imageBudget);
}

} // namespace

const std::vector<Setting>& ladder() {
    // Seen at reading sizes, a picture loses far less to a lower JPEG quality than to fewer
    // pixels: resampled even slightly, its fine detail no longer lines up with the source's
    // (a scan at 150 ppi: SSIM 0.94 at quality 0.45, 0.90 at 135 ppi and quality 0.80). The
    // quality falls first, the cap slowly, and neither ever rises.
    static const std::vector<Setting> settings = {
        {300, 0.85}, {300, 0.75}, {250, 0.70}, {200, 0.65}, {200, 0.55}, {200, 0.48},
        {175, 0.45}, {150, 0.45}, {150, 0.40}, {135, 0.40}, {120, 0.38}, {110, 0.36},
        {100, 0.34}, {90, 0.32},  {80, 0.30},  {72, 0.30},  {60, 0.30},  {50, 0.30}};
    return settings;
}

std::optional<Compression> compress(Bytes file, SizeTarget target, int threads,
                                    const PageProgress& progress) {
    const std::int64_t budget = target.bytes();
    if (static_cast<std::int64_t>(file.size()) <= budget)
        return Compression{std::move(file), Method::unchanged, true};
    auto compaction = PdfCompaction::open(file);
    if (!compaction)
        return std::nullopt;
    const int pageCount = compaction->pageCount();
    // A document QPDF opens but cannot write again whole is kept as it is: every later step
    // starts from the lossless one.
    auto lossless = compactLosslessly(*compaction, threads);
    compaction.reset();
    if (!holdsPages(lossless, pageCount))
        return Compression{std::move(file), Method::unchanged, false};
    if (static_cast<std::int64_t>(lossless->size()) <= budget)
        return Compression{std::move(*lossless), Method::lossless, true};
    int reported = 0;
    const PageProgress told = forwardOnly(progress, reported);
    Compression best{std::move(file), Method::unchanged, false};
    if (lossless->size() < best.bytes.size())
        best = Compression{*lossless, Method::lossless, false};
    auto images = compressImages(*lossless, budget, threads, told);
    if (images && holdsPages(images->bytes, pageCount)) {
        if (images->fits)
            return Compression{std::move(images->bytes), Method::images, true};
        if (images->bytes.size() < best.bytes.size())
            best = Compression{std::move(images->bytes), Method::images, false};
    }
    images.reset();
    auto pictures = KeepingPictures::compress(*lossless, budget, threads, told);
    if (holdsPages(pictures, pageCount))
        return Compression{std::move(*pictures), Method::pictures, true};
    return best;
}

std::optional<Compression> compress(const std::filesystem::path& pdfAt, SizeTarget target,
                                    int threads, const PageProgress& progress) {
    auto file = readFileBytes(pdfAt);
    if (!file)
        return std::nullopt;
    return compress(std::move(*file), target, threads, progress);
}

} // namespace KeepingPDFCompressor
