// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/SearchablePDF.h"

#include "Engine/OrderedPipeline.h"
#include "Engine/SearchablePage.h"
#include "Platform/FileBytes.h"
#include "Platform/ImageCodec.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfWriter.h"
#include "Platform/TextRecognizer.h"

#include <cmath>
#include <new>

// Pages are made (decoded or rendered, recognised, encoded) on one thread per recogniser and
// added to the writer on the calling thread in page order, a few pages ahead at most: only
// encoded pages wait, so memory follows the output, not the page count, and the document is
// the same whatever the number of threads.
namespace SearchablePDF {
namespace {

using PageResult = std::optional<SearchablePage>;
using Maker = std::function<PageResult(int index, int worker)>;
using Taker = std::function<bool(int index, PageResult&& page)>;

// A few pages per thread may wait, encoded, for their turn to be added.
int lookAhead(std::span<TextRecognizer> recognizers) {
    return 2 * static_cast<int>(recognizers.size());
}

// Running out of memory on a page must not end the process: the page is then not made, or
// not taken, and the document is absent.
Maker guarded(Maker make) {
    return [make = std::move(make)](int index, int worker) -> PageResult {
        try {
            return make(index, worker);
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
    };
}

Taker guarded(Taker take) {
    return [take = std::move(take)](int index, PageResult&& page) {
        try {
            return take(index, std::move(page));
        } catch (const std::bad_alloc&) {
            return false;
        }
    };
}

bool runPages(int pageCount, std::span<TextRecognizer> recognizers, const std::stop_token& stop,
              const Maker& make, const Taker& take) {
    const auto workers = static_cast<int>(recognizers.size());
    return runOrdered(pageCount, workers, lookAhead(recognizers), stop, guarded(make),
                      guarded(take));
}

void report(const PageProgress& progress, int pagesDone, int pageCount) {
    if (progress)
        progress(pagesDone, pageCount);
}

// What the searchable copy of a PDF keeps of it beyond its pictures, on request: where each
// page came from, gathered as pages are added.
struct Keeper {
    const PdfDocument& source;
    std::vector<PdfPageOrigin> origins;
};

/// Every page must be made and accepted by the writer, or there is no document.
std::optional<Bytes> buildAll(int pageCount, std::span<TextRecognizer> recognizers,
                              const std::stop_token& stop, const Maker& make,
                              const PageProgress& progress, Keeper* keeper = nullptr) {
    if (pageCount < 1 || recognizers.empty())
        return std::nullopt;
    PdfWriter writer;
    const Taker take = [&](int index, PageResult&& page) {
        if (!page || !SearchablePages::add(*page, writer))
            return false;
        if (keeper)
            keeper->origins.push_back({index, page->sourceToPage});
        report(progress, index + 1, pageCount);
        return true;
    };
    if (!runPages(pageCount, recognizers, stop, make, take))
        return std::nullopt;
    // What cannot be carried is left out: the pages are the document.
    if (keeper)
        (void)writer.keepStructure(keeper->source, keeper->origins);
    return writer.finish();
}

struct FilePage {
    std::size_t file = 0;
    int page = 0;
    int pagesInFile = 0;
};

// The contents of image files, one a file (empty for a file that cannot be read).
using FileContents = std::vector<std::span<const std::uint8_t>>;

std::vector<FilePage> filePages(const FileContents& files) {
    std::vector<FilePage> pages;
    for (std::size_t file = 0; file < files.size(); ++file) {
        const int count = ImageCodec::bytesPageCount(files[file]);
        for (int page = 0; page < count; ++page)
            pages.push_back({file, page, count});
    }
    return pages;
}

/// Adds the pages of image files to a writer a whole file at a time: a file any of whose
/// pages cannot be made is left out entirely, as an undecodable file is, rather than
/// contributing part of its pages.
class FileCollector {
public:
    FileCollector(const std::vector<FilePage>& pages, PdfWriter& writer,
                  const PageProgress& progress)
        : m_pages(pages), m_writer(writer), m_progress(progress),
          m_counted(static_cast<int>(pages.size())) {}

    bool take(int index, PageResult&& page) {
        const FilePage& where = m_pages[static_cast<std::size_t>(index)];
        if (where.page == 0) {
            m_pending.clear();
            m_fileFailed = false;
        }
        if (!page && !m_fileFailed)
            m_counted -= where.pagesInFile;
        m_fileFailed = m_fileFailed || !page;
        if (!m_fileFailed)
            m_pending.push_back(std::move(*page));
        if (where.page + 1 < where.pagesInFile || m_fileFailed)
            return true;
        for (const SearchablePage& pending : m_pending) {
            if (!SearchablePages::add(pending, m_writer))
                return false;
            report(m_progress, ++m_added, m_counted);
        }
        m_pending.clear();
        return true;
    }

    int added() const { return m_added; }

private:
    const std::vector<FilePage>& m_pages;
    PdfWriter& m_writer;
    const PageProgress& m_progress;
    int m_counted; // pages of the files not left out so far
    std::vector<SearchablePage> m_pending;
    bool m_fileFailed = false;
    int m_added = 0;
};

std::optional<PageSize> renderedSize(PageSize box, double scale) {
    const double width = std::round(box.widthPoints * scale);
    const double height = std::round(box.heightPoints * scale);
    if (!(width >= 1 && height >= 1 && width <= 1e9 && height <= 1e9))
        return std::nullopt;
    return PageSize{width, height};
}

std::optional<Image> render(const PdfPageRenderer& renderer, int index, PageSize size) {
    return renderer.renderPage(index, static_cast<int>(size.widthPoints),
                               static_cast<int>(size.heightPoints));
}

// A scan finer than the page is read from a finer rendering; should that fail (memory), the
// page is read as any other rather than lost.
PageResult renderedPage(const PdfPageRenderer& renderer, int index, PageSize box, double dpiScale,
                        const std::optional<PdfPageImage>& scan, TextRecognizer& recognizer) {
    const auto pageSize = renderedSize(box, dpiScale);
    if (!pageSize)
        return std::nullopt;
    double readScale = SearchablePages::readingScale(box, dpiScale, scan);
    std::optional<Image> rendering;
    if (readScale != dpiScale)
        if (const auto readSize = renderedSize(box, readScale))
            rendering = render(renderer, index, *readSize);
    if (!rendering) {
        readScale = dpiScale;
        rendering = render(renderer, index, *pageSize);
    }
    if (!rendering)
        return std::nullopt;
    return SearchablePages::fromRendering(
        {std::move(*rendering), readScale, *pageSize, dpiScale, scan}, recognizer);
}

std::optional<Bytes> buildFromContents(const FileContents& files,
                                       std::span<TextRecognizer> recognizers,
                                       const std::stop_token& stop, const PageProgress& progress) {
    const std::vector<FilePage> pages = filePages(files);
    if (pages.empty() || recognizers.empty())
        return std::nullopt;
    PdfWriter writer;
    FileCollector collector(pages, writer, progress);
    const Maker make = [&](int index, int worker) {
        const FilePage& where = pages[static_cast<std::size_t>(index)];
        return SearchablePages::fromFile(files[where.file], where.page, recognizers[worker]);
    };
    const Taker take = [&](int index, PageResult&& page) {
        return collector.take(index, std::move(page));
    };
    if (!runPages(static_cast<int>(pages.size()), recognizers, stop, make, take) ||
        collector.added() == 0)
        return std::nullopt;
    return writer.finish();
}

} // namespace

std::optional<Bytes> buildFromImages(const std::vector<Image>& images,
                                     std::span<TextRecognizer> recognizers, std::stop_token stop,
                                     const PageProgress& progress) {
    const Maker make = [&](int index, int worker) {
        return SearchablePages::fromImage(images[static_cast<std::size_t>(index)],
                                          recognizers[worker]);
    };
    return buildAll(static_cast<int>(images.size()), recognizers, stop, make, progress);
}

std::optional<Bytes> buildFromImageFiles(const std::vector<std::filesystem::path>& files,
                                         std::span<TextRecognizer> recognizers,
                                         std::stop_token stop, const PageProgress& progress) {
    std::vector<Bytes> read;
    read.reserve(files.size());
    for (const auto& file : files)
        read.push_back(readFileBytes(file).value_or(Bytes{}));
    return buildFromContents(FileContents(read.begin(), read.end()), recognizers, stop, progress);
}

std::optional<Bytes> buildFromImageBytes(std::span<const std::uint8_t> file,
                                         std::span<TextRecognizer> recognizers,
                                         std::stop_token stop, const PageProgress& progress) {
    return buildFromContents(FileContents{file}, recognizers, stop, progress);
}

std::optional<Bytes> makeSearchable(const std::filesystem::path& pdfAt, double dpiScale,
                                    std::span<TextRecognizer> recognizers, std::stop_token stop,
                                    const PageProgress& progress, const Options& options) {
    auto pdf = readFileBytes(pdfAt);
    if (!pdf)
        return std::nullopt;
    return makeSearchable(std::move(*pdf), dpiScale, recognizers, stop, progress, options);
}

std::optional<Bytes> makeSearchable(Bytes pdf, double dpiScale,
                                    std::span<TextRecognizer> recognizers, std::stop_token stop,
                                    const PageProgress& progress, const Options& options) {
    const auto document = PdfDocument::openBytes(std::move(pdf));
    if (!document || recognizers.empty() || !(dpiScale > 0))
        return std::nullopt;
    // Read on this thread: the document's structure is not to be used by several at once.
    // Scanned pages are told apart here too; their images are copied, by the writer, on this
    // thread as well.
    std::vector<PageSize> boxes;
    std::vector<std::optional<PdfPageImage>> scans;
    for (int index = 0; index < document->pageCount(); ++index) {
        const auto box = document->mediaBox(index);
        if (!box)
            return std::nullopt;
        boxes.push_back(*box);
        scans.push_back(document->scannedImage(index));
    }
    std::vector<PdfPageRenderer> renderers;
    for (std::size_t worker = 0; worker < recognizers.size(); ++worker) {
        auto renderer = document->renderer();
        if (!renderer)
            return std::nullopt;
        renderers.push_back(std::move(*renderer));
    }
    const Maker make = [&](int index, int worker) {
        const auto page = static_cast<std::size_t>(index);
        return renderedPage(renderers[static_cast<std::size_t>(worker)], index, boxes[page],
                            dpiScale, scans[page], recognizers[static_cast<std::size_t>(worker)]);
    };
    Keeper keeper{*document, {}};
    return buildAll(static_cast<int>(boxes.size()), recognizers, stop, make, progress,
                    options.keepStructure ? &keeper : nullptr);
}

} // namespace SearchablePDF
