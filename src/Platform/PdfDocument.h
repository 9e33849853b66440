// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/EngineError.h"
#include "Platform/Image.h"
#include "Platform/PdfPageImage.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

/// A page's size in PDF points (1/72 inch).
struct PageSize {
    double widthPoints = 0;
    double heightPoints = 0;
};

class PdfPageRenderer;
namespace QpdfLinks {
class NamedDestinations;
}

/// A top-level bookmark (outline item) that leads to a page of its document.
struct PdfBookmark {
    std::string title; // UTF-8
    int pageIndex = 0; // 0-based
    friend bool operator==(const PdfBookmark&, const PdfBookmark&) = default;
};

/// An open PDF: QPDF for its structure, Poppler for rendering, both over the same bytes read
/// once. Not copyable. One document is used by one thread at a time; for rendering on several
/// threads, give each thread its own renderer(). Nothing throws; failures are absent results.
class PdfDocument {
public:
    /// Absent when the file cannot be read, is not a PDF QPDF can repair, or needs a user
    /// password (an owner password alone is fine).
    static std::optional<PdfDocument> openFile(const std::filesystem::path& path);
    static std::optional<PdfDocument> openBytes(Bytes bytes);
    /// A document with no pages.
    static PdfDocument createEmpty();

    /// Another document over the bytes this one was opened from (shared, not copied), as it
    /// was opened: for another thread, since one document is used by one thread at a time.
    /// May be called on another thread while this document is read on its own (it reads only
    /// those bytes), not while it is changed. Absent for a document made in memory or changed since
    /// it was opened, and when the bytes no longer open (memory ran out).
    std::optional<PdfDocument> reopened() const;

    /// Why openBytes() gives nothing for these bytes, or gives a document without a page:
    /// needsPassword, damaged (with QPDF's words) or noPages; an empty failure when the
    /// document opens with pages. For messages only: it opens the file again.
    static EngineFailure diagnose(const Bytes& bytes);

    PdfDocument(PdfDocument&&) noexcept;
    PdfDocument& operator=(PdfDocument&&) noexcept;
    ~PdfDocument();

    int pageCount() const;

    /// The page's media box as a viewer shows it: width and height are swapped for pages
    /// turned by /Rotate 90 or 270 (also when inherited). Absent for an index out of range.
    std::optional<PageSize> mediaBox(int pageIndex) const;

    /// The page's one image when the page is a scan that shows nothing else (see
    /// QpdfScanPage::find for what counts), placed on the page as a viewer shows it, to be
    /// drawn by a PdfWriter with its own stream. Absent for any other page and for an index
    /// out of range. Reads the document's structure: same threading as mediaBox.
    std::optional<PdfPageImage> scannedImage(int pageIndex) const;

    /// Renders the whole media box, turned as a viewer shows it, to exactly
    /// widthPixels × heightPixels (RGB, white where nothing is painted). Absent when the page
    /// cannot be rendered or the size exceeds ImageCodec::kMaxPixels.
    std::optional<Image> renderPage(int pageIndex, int widthPixels, int heightPixels) const;

    /// A renderer with its own Poppler document over this document's bytes, for one other
    /// thread. It shows the document as it is now (pages appended later are not in it) and
    /// may outlive the document. Absent when Poppler cannot load the bytes, or counts pages
    /// differently from QPDF even in a copy rewritten by QPDF (page indices are QPDF's).
    std::optional<PdfPageRenderer> renderer() const;

    /// Appends a copy of a page of another document (or of this one) at the end. False for an
    /// index out of range or a page QPDF cannot copy. This document keeps what it needs of the
    /// source, so the source may be destroyed first. Changes the source's internal structure
    /// (QPDF pushes inherited attributes onto its pages), not its content, so the source must
    /// not be in use on another thread meanwhile (its renderers may be).
    bool appendPageCopy(const PdfDocument& source, int pageIndex);

    /// Makes the internal links of the pages copied in so far work in this document: a link
    /// (or GoTo action) whose destination page was copied here too points at its first copy,
    /// named destinations made explicit, since the sources' name tables are not carried over;
    /// a link whose page is not here, or whose destination its source cannot resolve, is
    /// removed (other annotations lose only the action). Web and other links stay. Call after
    /// the last copy; sources are only read. False when QPDF failed partway (links may then
    /// be partly repaired, the document stays writable).
    bool repairLinks();

    /// Carries the outline (bookmarks) of `source`, some of whose pages were copied in, onto
    /// those copies, after the items already here: hierarchy, titles, open state, colour and
    /// style kept; every destination made explicit to the page's first copy; an item whose
    /// page was not copied is dropped and its children take its place. With a title, the
    /// items go under one new closed item so titled that shows the first page copied from
    /// `source`. False (and nothing added) when no page of `source` is here or QPDF failed.
    bool appendOutline(const PdfDocument& source, const std::optional<std::string>& title = {});

    /// Gives every page copied in the label (the page number a viewer shows, such as "iv")
    /// it had in its own document; a page of a document without labels keeps its page number
    /// there. Adds nothing when none of those documents has labels. False if QPDF failed.
    bool keepPageLabels();

    /// The top-level bookmarks that lead to a page of this document, in outline order
    /// (damaged or unresolvable items left out). Empty without an outline.
    std::vector<PdfBookmark> topLevelBookmarks() const;

    /// The whole file, compacted with object streams. The same document gives the same bytes
    /// (an encrypted source keeps its encryption and then a fresh /ID). Absent if QPDF fails.
    std::optional<Bytes> writeBytes() const;
    /// Writes the document to path as it is (no temporary file; callers that must not leave
    /// a half-written file write beside the destination and rename).
    std::error_code writeFile(const std::filesystem::path& path) const;

private:
    friend class PdfWriter;
    /// The document's structure, for a writer that carries it onto pages made from it: it
    /// keeps the document's structure alive and is used on the document's thread.
    std::shared_ptr<QpdfLinks::NamedDestinations> structure() const;

    struct State;
    explicit PdfDocument(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

/// Renders pages of one document on one thread at a time (see PdfDocument::renderPage).
class PdfPageRenderer {
public:
    PdfPageRenderer(PdfPageRenderer&&) noexcept;
    PdfPageRenderer& operator=(PdfPageRenderer&&) noexcept;
    ~PdfPageRenderer();

    std::optional<Image> renderPage(int pageIndex, int widthPixels, int heightPixels) const;

private:
    friend class PdfDocument;
    struct State;
    explicit PdfPageRenderer(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};
