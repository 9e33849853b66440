// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"

#include <memory>
#include <optional>
#include <poppler-document.h>

/// Poppler seams shared by the PDF platform files. Nothing here throws or prints.
namespace PopplerRender {

/// Loads a Poppler document over bytes that are not copied: they must outlive the result.
/// Null when Poppler cannot read them (or they exceed Poppler's int-sized length).
/// The result may be locked (it needs a user password): check is_locked().
std::unique_ptr<poppler::document> load(const Bytes& bytes);

/// Renders the page's crop box, turned by its /Rotate, to exactly widthPixels × heightPixels
/// RGB (white paper, antialiased). Absent for a size of zero, a negative size, more than
/// ImageCodec::kMaxPixels, a page index out of range, or a page Poppler cannot render.
/// A document may render on one thread at a time.
std::optional<Image> renderPage(const poppler::document& document, int pageIndex, int widthPixels,
                                int heightPixels);

} // namespace PopplerRender
