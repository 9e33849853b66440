// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"

#include <memory>
#include <optional>

/// A PDF rewritten to take fewer bytes without changing anything it shows or does: text,
/// fonts, images, links, outline, forms and page boxes stay exactly as they are. Nothing
/// throws; failures are absent results. Safe to use from several threads at once (each call
/// takes its turn with the document; recompress() deflates outside that turn).
class PdfCompaction {
public:
    /// Absent when QPDF can neither read nor repair the file, it needs a user password (an
    /// owner password alone is fine), or it has no page. The file's bytes are kept until the
    /// object is destroyed.
    static std::optional<PdfCompaction> open(Bytes file);

    PdfCompaction(PdfCompaction&&) noexcept;
    PdfCompaction& operator=(PdfCompaction&&) noexcept;
    ~PdfCompaction();

    int pageCount() const;

    /// Streams whose data recompress() may store in fewer bytes: those the document refers to
    /// that are uncompressed or use only general-purpose filters without parameters, other
    /// than XMP metadata (kept readable, as archival formats ask).
    int streamCount() const;

    /// Stores stream `index` deflated at zlib's highest level when that takes fewer bytes than
    /// it takes now; a stream that does not decode cleanly (damaged, or a compression bomb) is
    /// left as it is.
    void recompress(int index);

    /// Makes the document's references to identical image streams (in resources and soft
    /// masks) and identical embedded font files (in font descriptors) point at one of them:
    /// same dictionary, same bytes. Returns the references changed.
    int shareIdenticalStreams();

    /// The whole document: object streams, objects nothing refers to left out, /PieceInfo
    /// (applications' private data, never shown) removed from the catalog, pages and forms,
    /// not encrypted, and a /ID derived from the content, so the same input gives the same
    /// bytes. Absent if QPDF fails.
    std::optional<Bytes> write();

private:
    struct State;
    explicit PdfCompaction(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};
