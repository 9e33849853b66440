// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/PageProgress.h"
#include "Platform/Bytes.h"
#include "Platform/Image.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

class TextRecognizer;

/// Searchable PDFs from scans: each input image becomes one page that shows the image (one
/// pixel = one point) and carries the recognised lines as invisible, extractable text placed
/// where they stand. Recognition uses "es-ES" then "en-US".
///
/// Stateless. `recognizers` are made by the caller; pages are recognised on as many threads
/// as there are recognisers, each using its own, with the same result as one. Without any
/// recogniser the result is absent.
/// Pages are decoded or rendered, recognised and added a few at a time, so memory does not
/// grow with the page count beyond the output. A stop request abandons the document (absent).
/// `progress`, when given, is told each time a page has been added to the output, in page
/// order, on the calling thread (for image files: the pages of files still counted, so a
/// file left out lowers the count). Nothing throws.
namespace SearchablePDF {

/// One page per image, in order, stored losslessly and shown upright (an image whose
/// exifOrientation is not 1 is turned, and recognised turned). Absent for an empty list, a
/// malformed image or when the writer fails; a page where nothing is recognised carries the
/// image alone.
std::optional<Bytes> buildFromImages(const std::vector<Image>& images,
                                     std::span<TextRecognizer> recognizers,
                                     std::stop_token stop = {}, const PageProgress& progress = {});

/// One page per decodable image file (every page of a multi-page TIFF, the first frame of
/// other formats), in order; a file that cannot be decoded is skipped, and so is a TIFF any
/// of whose pages cannot be (no file contributes part of its pages). A JPEG is embedded as
/// its own bytes; other images losslessly. An image with an EXIF orientation is shown and
/// recognised upright, at the file's declared resolution when it has one. Absent when no
/// page results.
std::optional<Bytes> buildFromImageFiles(const std::vector<std::filesystem::path>& files,
                                         std::span<TextRecognizer> recognizers,
                                         std::stop_token stop = {},
                                         const PageProgress& progress = {});

/// buildFromImageFiles of one image file's contents (every page of a multi-page TIFF, a JPEG
/// embedded as its own bytes): the same document as for that file on disk.
std::optional<Bytes> buildFromImageBytes(std::span<const std::uint8_t> file,
                                         std::span<TextRecognizer> recognizers,
                                         std::stop_token stop = {},
                                         const PageProgress& progress = {});

/// What makeSearchable keeps of a PDF beyond its pages' pictures.
struct Options {
    /// Its bookmarks (remapped to the new pages), its link annotations (placed over the same
    /// content on the new pages, internal ones leading to the new pages, web links kept), its
    /// document information (title, author…, but not the producer) and its XMP metadata.
    /// Off: the new document holds the pictures and the recognised text only.
    bool keepStructure = false;
};

/// Every page rendered at `dpiScale` pixels per point and made searchable, recognised at
/// 72 × dpiScale dpi; the output page is as large in points as the rendering is in pixels.
/// A page that is one scanned image finer than that is recognised at the image's own
/// resolution (up to 600 ppi) and keeps that image, placed as it was. Other pages are stored
/// losslessly, or as a JPEG when that is smaller for a photo-like page.
/// Absent when the file cannot be opened, has no pages, or any page cannot be rendered (a
/// page is never silently left out).
std::optional<Bytes> makeSearchable(const std::filesystem::path& pdfAt, double dpiScale,
                                    std::span<TextRecognizer> recognizers,
                                    std::stop_token stop = {}, const PageProgress& progress = {},
                                    const Options& options = {});

/// makeSearchable of a PDF file's contents: the same document as for that file on disk.
std::optional<Bytes> makeSearchable(Bytes pdf, double dpiScale,
                                    std::span<TextRecognizer> recognizers,
                                    std::stop_token stop = {}, const PageProgress& progress = {},
                                    const Options& options = {});

} // namespace SearchablePDF
