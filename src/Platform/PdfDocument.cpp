// SPDX-License-Identifier: GPL-3.0-or-later
//
// Ownership: a document's QPDF and the bytes it was opened over live in a shared PdfCore.
// QPDF copies foreign pages lazily (stream data is read from the source when the destination
// is written), so a destination keeps the cores of the documents it copied from. These links
// never form a cycle: a copy that would close one goes through a fresh parse of the source.
//
// Poppler renders the crop box and numbers pages its own way; when a crop box differs from its
// media box, when the document was changed, or when Poppler's page count disagrees with
// QPDF's, Poppler is given a copy written by QPDF (crop boxes set to media boxes) instead of
// the original bytes. Its page tree is flattened, so Poppler counts QPDF's pages. That copy is
// made once per state of the document and shared by its renderers.

#include "Platform/PdfDocument.h"

#include "Platform/FileBytes.h"
#include "Platform/PopplerRender.h"
#include "Platform/QpdfForms.h"
#include "Platform/QpdfLinks.h"
#include "Platform/QpdfOutline.h"
#include "Platform/QpdfPageLabels.h"
#include "Platform/QpdfPages.h"
#include "Platform/QpdfScanPage.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
#include <mutex>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <unordered_set>
#include <vector>

namespace {

struct PdfCore {
    // Declared first so that they are destroyed last, after this core's QPDF.
    std::vector<std::shared_ptr<const PdfCore>> sources;
    std::shared_ptr<const Bytes> bytes;
    std::unique_ptr<QPDF> qpdf;
    // The form's fields, indexed once, whether this document gives pages or receives them.
    std::unique_ptr<QPDFAcroFormDocumentHelper> forms;
    // Poppler's page count over bytes; -1 when Poppler could not load them.
    int popplerPageCount = -1;
    bool modified = false;
    std::mutex renderMutex;
    std::shared_ptr<const Bytes> renderBytes;
    // This document's named destinations, for the documents its pages are copied into;
    // made on the first copy. Shared: those documents keep it for repairLinks().
    std::shared_ptr<QpdfLinks::NamedDestinations> namedDestinations;
    // This document's outline as read for the documents its pages are copied into; read on
    // the first appendOutline() from it, dropped when this document changes.
    std::unique_ptr<QpdfOutline::SourceOutline> outlineRead;
    // Pages copied in, with their origins, for repairLinks(). Declared last: its handles into
    // the sources' documents go first.
    std::vector<QpdfLinks::CopiedPage> copies;
    // The top-level items of the outline built by appendOutline().
    std::vector<QPDFObjectHandle> outline;
};

std::shared_ptr<PdfCore> openCore(std::shared_ptr<const Bytes> bytes) {
    auto core = std::make_shared<PdfCore>();
    core->bytes = std::move(bytes);
    try {
        core->qpdf = QpdfPages::open(*core->bytes);
    } catch (const std::exception&) {
        return nullptr; // unreadable, unrepairable, or a user password (QPDFExc qpdf_e_password)
    }
    const auto poppler = PopplerRender::load(*core->bytes);
    if (poppler && poppler->is_locked())
        return nullptr;
    core->popplerPageCount = poppler ? poppler->pages() : -1;
    return core;
}

bool dependsOn(const PdfCore& core, const PdfCore* target) {
    std::vector<const PdfCore*> pending{&core};
    std::unordered_set<const PdfCore*> seen;
    while (!pending.empty()) {
        const PdfCore* next = pending.back();
        pending.pop_back();
        if (next == target)
            return true;
        if (!seen.insert(next).second)
            continue;
        for (const auto& source : next->sources)
            pending.push_back(source.get());
    }
    return false;
}

std::shared_ptr<const Bytes> makeRenderBytes(PdfCore& core) {
    const auto pageCount = static_cast<int>(core.qpdf->getAllPages().size());
    if (!core.modified && core.popplerPageCount == pageCount &&
        !QpdfPages::anyCropBoxDiffers(*core.qpdf))
        return core.bytes;
    const auto base = core.modified ? std::make_shared<const Bytes>(QpdfPages::write(
                                          *core.qpdf, QpdfPages::WriteMode::Rendering))
                                    : core.bytes;
    const auto copy = QpdfPages::open(*base);
    QpdfPages::flattenPageTree(*copy);
    QpdfPages::cropPagesToMediaBox(*copy);
    return std::make_shared<const Bytes>(QpdfPages::write(*copy, QpdfPages::WriteMode::Rendering));
}

std::shared_ptr<const Bytes> renderBytes(PdfCore& core) {
    const std::lock_guard lock(core.renderMutex);
    if (!core.renderBytes)
        core.renderBytes = makeRenderBytes(core);
    return core.renderBytes;
}

QpdfLinks::NamedDestinations& namedDestinationsOf(PdfCore& core) {
    if (!core.namedDestinations)
        core.namedDestinations = std::make_shared<QpdfLinks::NamedDestinations>(*core.qpdf);
    return *core.namedDestinations;
}

// Remembers where the page just appended came from. A page copied from this document itself
// inherits the origin of the page it duplicates, if that one was copied in.
void recordCopy(PdfCore& core, PdfCore& source, QPDFObjectHandle page) {
    const QPDFObjectHandle copy = core.qpdf->getAllPages().back();
    if (&source != &core) {
        namedDestinationsOf(source);
        core.copies.push_back({source.namedDestinations, page, copy});
        return;
    }
    const auto origin =
        std::find_if(core.copies.begin(), core.copies.end(),
                     [&](const QpdfLinks::CopiedPage& c) { return c.copy.isSameObjectAs(page); });
    if (origin != core.copies.end())
        core.copies.push_back({origin->source, origin->sourcePage, copy});
}

QPDFAcroFormDocumentHelper& formsOf(PdfCore& core) {
    if (!core.forms)
        core.forms = std::make_unique<QPDFAcroFormDocumentHelper>(*core.qpdf);
    return *core.forms;
}

// A form that cannot be carried costs the page its fields, not the page: the copy keeps the
// annotations QPDF gave it.
void carryFields(PdfCore& core, PdfCore& source, QPDFObjectHandle page) {
    try {
        if (QpdfForms::hasForm(*source.qpdf))
            QpdfForms::carryFields(formsOf(core), formsOf(source), core.qpdf->getAllPages().back(),
                                   page);
    } catch (const std::exception&) {
    }
}

// Each copied page's origin, in this document's page order.
std::vector<QpdfPageLabels::Origin> originsOf(PdfCore& core) {
    std::map<QPDFObjGen, const QpdfLinks::CopiedPage*> copyOf;
    for (const auto& copy : core.copies)
        copyOf.emplace(copy.copy.getObjGen(), &copy);
    std::map<QPDF*, std::map<QPDFObjGen, int>> indexIn;
    std::vector<QpdfPageLabels::Origin> origins;
    for (const auto& page : core.qpdf->getAllPages()) {
        const auto found = copyOf.find(page.getObjGen());
        if (found == copyOf.end()) {
            origins.push_back({});
            continue;
        }
        QPDF& source = found->second->source->document();
        auto& index = indexIn[&source];
        if (index.empty())
            for (const auto& sourcePage : source.getAllPages())
                index.emplace(sourcePage.getObjGen(), static_cast<int>(index.size()));
        const auto at = index.find(found->second->sourcePage.getObjGen());
        origins.push_back(at == index.end() ? QpdfPageLabels::Origin{}
                                            : QpdfPageLabels::Origin{&source, at->second});
    }
    return origins;
}

void markModified(PdfCore& core) {
    core.outlineRead.reset();
    const std::lock_guard lock(core.renderMutex);
    core.modified = true;
    core.renderBytes.reset();
}

const QpdfOutline::SourceOutline& outlineOf(PdfCore& core) {
    if (!core.outlineRead)
        core.outlineRead = std::make_unique<QpdfOutline::SourceOutline>(namedDestinationsOf(core));
    return *core.outlineRead;
}

} // namespace

struct PdfDocument::State {
    std::shared_ptr<PdfCore> core;
    // For renderPage() on the document's own thread; rebuilt after a change.
    mutable std::optional<PdfPageRenderer> ownRenderer;
    // Set when making ownRenderer failed, so that each page does not try again.
    mutable bool rendererFailed = false;
};

struct PdfPageRenderer::State {
    std::shared_ptr<const Bytes> bytes; // declared first: outlives the Poppler document
    std::unique_ptr<poppler::document> document;
};

PdfDocument::PdfDocument(std::unique_ptr<State> state) : m_state(std::move(state)) {}
PdfDocument::PdfDocument(PdfDocument&&) noexcept = default;
PdfDocument& PdfDocument::operator=(PdfDocument&&) noexcept = default;
PdfDocument::~PdfDocument() = default;

std::optional<PdfDocument> PdfDocument::openFile(const std::filesystem::path& path) {
    auto bytes = readFileBytes(path);
    if (!bytes)
        return std::nullopt;
    return openBytes(std::move(*bytes));
}

EngineFailure PdfDocument::diagnose(const Bytes& bytes) {
    try {
        const auto qpdf = QpdfPages::open(bytes);
        const auto poppler = PopplerRender::load(bytes);
        if (poppler && poppler->is_locked())
            return {EngineError::needsPassword, {}};
        if (QPDFPageDocumentHelper(*qpdf).getAllPages().empty())
            return {EngineError::noPages, {}};
    } catch (const QPDFExc& problem) {
        if (problem.getErrorCode() == qpdf_e_password)
            return {EngineError::needsPassword, {}};
        return {EngineError::damaged, problem.getMessageDetail()};
    } catch (const std::exception& problem) {
        return {EngineError::damaged, problem.what()};
    }
    return {};
}

std::optional<PdfDocument> PdfDocument::openBytes(Bytes bytes) {
    auto core = openCore(std::make_shared<const Bytes>(std::move(bytes)));
    if (!core)
        return std::nullopt;
    return PdfDocument(std::make_unique<State>(State{std::move(core), std::nullopt, false}));
}

std::optional<PdfDocument> PdfDocument::reopened() const {
    const PdfCore& core = *m_state->core;
    {
        const std::lock_guard lock(m_state->core->renderMutex);
        if (core.modified || !core.bytes)
            return std::nullopt;
    }
    auto copy = openCore(core.bytes);
    if (!copy)
        return std::nullopt;
    return PdfDocument(std::make_unique<State>(State{std::move(copy), std::nullopt, false}));
}

PdfDocument PdfDocument::createEmpty() {
    auto core = std::make_shared<PdfCore>();
    core->qpdf = QpdfPages::createEmpty();
    core->modified = true;
    return PdfDocument(std::make_unique<State>(State{std::move(core), std::nullopt, false}));
}

int PdfDocument::pageCount() const {
    try {
        return static_cast<int>(m_state->core->qpdf->getAllPages().size());
    } catch (const std::exception&) {
        return 0;
    }
}

std::optional<PageSize> PdfDocument::mediaBox(int pageIndex) const {
    try {
        const auto& pages = m_state->core->qpdf->getAllPages();
        if (pageIndex < 0 || static_cast<std::size_t>(pageIndex) >= pages.size())
            return std::nullopt;
        return QpdfPages::displayedMediaBox(pages[static_cast<std::size_t>(pageIndex)]);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<PdfPageImage> PdfDocument::scannedImage(int pageIndex) const {
    try {
        const auto& pages = m_state->core->qpdf->getAllPages();
        if (pageIndex < 0 || static_cast<std::size_t>(pageIndex) >= pages.size())
            return std::nullopt;
        return QpdfScanPage::find(pages[static_cast<std::size_t>(pageIndex)], m_state->core);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<Image> PdfDocument::renderPage(int pageIndex, int widthPixels,
                                             int heightPixels) const {
    if (!m_state->ownRenderer && !m_state->rendererFailed) {
        m_state->ownRenderer = renderer();
        m_state->rendererFailed = !m_state->ownRenderer;
    }
    if (!m_state->ownRenderer)
        return std::nullopt;
    return m_state->ownRenderer->renderPage(pageIndex, widthPixels, heightPixels);
}

std::optional<PdfPageRenderer> PdfDocument::renderer() const {
    auto state = std::make_unique<PdfPageRenderer::State>();
    try {
        state->bytes = renderBytes(*m_state->core);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    state->document = PopplerRender::load(*state->bytes);
    // A count that still disagrees would make page indices name different pages.
    if (!state->document || state->document->is_locked() || state->document->pages() != pageCount())
        return std::nullopt;
    return PdfPageRenderer(std::move(state));
}

bool PdfDocument::appendPageCopy(const PdfDocument& source, int pageIndex) {
    auto& core = *m_state->core;
    auto sourceCore = source.m_state->core;
    try {
        if (sourceCore != m_state->core && dependsOn(*sourceCore, &core)) {
            // Copying from a document that holds this one would tie the two in a cycle.
            sourceCore = openCore(std::make_shared<const Bytes>(
                QpdfPages::write(*sourceCore->qpdf, QpdfPages::WriteMode::Rendering)));
            if (!sourceCore)
                return false;
        }
        const auto& pages = sourceCore->qpdf->getAllPages();
        if (pageIndex < 0 || static_cast<std::size_t>(pageIndex) >= pages.size())
            return false;
        const QPDFObjectHandle page = pages[static_cast<std::size_t>(pageIndex)];
        // Held before copying: even a copy that fails halfway may refer to the source.
        if (sourceCore != m_state->core &&
            std::find(core.sources.begin(), core.sources.end(), sourceCore) == core.sources.end())
            core.sources.push_back(sourceCore);
        markModified(core);
        m_state->ownRenderer.reset();
        m_state->rendererFailed = false;
        QPDFPageDocumentHelper(*core.qpdf).addPage(QPDFPageObjectHelper(page), false);
        carryFields(core, *sourceCore, page);
        recordCopy(core, *sourceCore, page);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool PdfDocument::repairLinks() {
    auto& core = *m_state->core;
    markModified(core);
    m_state->ownRenderer.reset();
    m_state->rendererFailed = false;
    try {
        QpdfLinks::repair(core.copies);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool PdfDocument::appendOutline(const PdfDocument& source,
                                const std::optional<std::string>& title) {
    auto& core = *m_state->core;
    auto& sourceCore = *source.m_state->core;
    const auto names = sourceCore.namedDestinations;
    QpdfOutline::PageMap pages;
    std::optional<QPDFObjectHandle> firstCopy;
    for (const auto& copy : core.copies)
        if (names && copy.source == names &&
            pages.emplace(copy.sourcePage.getObjGen(), copy.copy).second && !firstCopy)
            firstCopy = copy.copy;
    if (!firstCopy)
        return false;
    markModified(core);
    try {
        auto items = outlineOf(sourceCore).copyTo(*core.qpdf, pages);
        if (title) {
            auto item = QpdfOutline::newItem(*core.qpdf, *title, *firstCopy);
            QpdfOutline::attach(item, items, false);
            items = {item};
        }
        auto outline = core.outline;
        outline.insert(outline.end(), items.begin(), items.end());
        QpdfOutline::setOutline(*core.qpdf, outline);
        core.outline = std::move(outline);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool PdfDocument::keepPageLabels() {
    auto& core = *m_state->core;
    markModified(core);
    try {
        QpdfPageLabels::keep(*core.qpdf, originsOf(core));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<PdfBookmark> PdfDocument::topLevelBookmarks() const {
    try {
        std::vector<PdfBookmark> bookmarks;
        for (auto& item : QpdfOutline::topLevelItems(namedDestinationsOf(*m_state->core)))
            bookmarks.push_back({std::move(item.title), item.pageIndex});
        return bookmarks;
    } catch (const std::exception&) {
        return {};
    }
}

std::shared_ptr<QpdfLinks::NamedDestinations> PdfDocument::structure() const {
    const std::shared_ptr<PdfCore>& core = m_state->core;
    return {core, &namedDestinationsOf(*core)};
}

std::optional<Bytes> PdfDocument::writeBytes() const {
    try {
        return QpdfPages::write(*m_state->core->qpdf, QpdfPages::WriteMode::Output);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::error_code PdfDocument::writeFile(const std::filesystem::path& path) const {
    const auto bytes = writeBytes();
    if (!bytes)
        return std::make_error_code(std::errc::io_error);
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
    if (out)
        out.close();
    if (out)
        return {};
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

PdfPageRenderer::PdfPageRenderer(std::unique_ptr<State> state) : m_state(std::move(state)) {}
PdfPageRenderer::PdfPageRenderer(PdfPageRenderer&&) noexcept = default;
PdfPageRenderer& PdfPageRenderer::operator=(PdfPageRenderer&&) noexcept = default;
PdfPageRenderer::~PdfPageRenderer() = default;

std::optional<Image> PdfPageRenderer::renderPage(int pageIndex, int widthPixels,
                                                 int heightPixels) const {
    if (!m_state || !m_state->document)
        return std::nullopt;
    try {
        return PopplerRender::renderPage(*m_state->document, pageIndex, widthPixels, heightPixels);
    } catch (const std::exception&) {
        return std::nullopt; // std::bad_alloc from a large bitmap
    }
}
