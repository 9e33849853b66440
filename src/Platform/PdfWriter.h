// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

/// A PDF built in memory, page by page. Page content is Parvo's own: images are placed in
/// PDF user space (points, origin at the page's bottom left). Not thread-safe; one writer per
/// thread. Nothing throws.
class PdfWriter {
public:
    PdfWriter();
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    /// Starts a page whose media box is (0, 0, widthPoints, heightPoints); ends any open page.
    /// False (and no page open) when a size is not a finite positive number, or after finish().
    bool beginPage(double widthPoints, double heightPoints);

    /// Draws a JPEG file's bytes, embedded unchanged (DCTDecode), scaled to fill the rectangle.
    /// False when no page is open, the rectangle is not finite with a positive width and
    /// height, or the bytes are not a JPEG the header reader accepts (1, 3 or 4 components).
    bool drawJpeg(std::span<const std::uint8_t> jpeg, double xPoints, double yPoints,
                  double widthPoints, double heightPoints);

    void endPage();
    /// Pages begun so far, including an open one.
    int pageCount() const;

    /// Ends any open page and returns the complete PDF (a PDF without pages when none was
    /// begun). Absent if writing failed. The writer is spent afterwards.
    std::optional<Bytes> finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
