// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PopplerRender.h"

#include "Platform/AddressSpace.h"
#include "Platform/ImageCodec.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>
#include <string>

namespace PopplerRender {
namespace {

// Poppler goes on after a refused allocation, with the page drawn in part or not at all.
void ignoreMessage(const std::string& message, void*) {
    if (AddressSpace::saysOutOfMemory(message))
        AddressSpace::noteRefusedAllocation();
}

// Poppler reports syntax problems of damaged files through one process-wide function, which
// prints to stderr unless replaced.
void silencePoppler() {
    static std::once_flag once;
    std::call_once(once, [] { poppler::set_debug_error_function(ignoreMessage, nullptr); });
}

bool sizeAllowed(int widthPixels, int heightPixels) {
    return widthPixels > 0 && heightPixels > 0 &&
           static_cast<std::int64_t>(widthPixels) * heightPixels <= ImageCodec::kMaxPixels;
}

bool isTurned(const poppler::page& page) {
    const auto orientation = page.orientation();
    return orientation == poppler::page::landscape || orientation == poppler::page::seascape;
}

// Splash's RGB rows are padded to four bytes; Image rows are packed.
std::optional<Image> packRows(const poppler::image& rendered, int widthPixels, int heightPixels) {
    if (!rendered.is_valid() || rendered.format() != poppler::image::format_rgb24 ||
        rendered.width() != widthPixels || rendered.height() != heightPixels)
        return std::nullopt;
    Image image;
    image.widthPixels = widthPixels;
    image.heightPixels = heightPixels;
    image.channels = 3;
    image.pixels.resize(image.byteCount());
    const auto rowBytes = image.bytesPerRow();
    const auto stride = static_cast<std::size_t>(rendered.bytes_per_row());
    const char* source = rendered.const_data();
    for (std::size_t row = 0; row < static_cast<std::size_t>(heightPixels); ++row)
        std::memcpy(image.pixels.data() + row * rowBytes, source + row * stride, rowBytes);
    return image;
}

} // namespace

std::unique_ptr<poppler::document> load(const Bytes& bytes) {
    silencePoppler();
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
        return nullptr;
    return std::unique_ptr<poppler::document>(poppler::document::load_from_raw_data(
        reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size())));
}

std::optional<Image> renderPage(const poppler::document& document, int pageIndex, int widthPixels,
                                int heightPixels) {
    if (!sizeAllowed(widthPixels, heightPixels) || pageIndex < 0 || pageIndex >= document.pages())
        return std::nullopt;
    const std::unique_ptr<poppler::page> page(document.create_page(pageIndex));
    if (!page)
        return std::nullopt;
    const poppler::rectf box = page->page_rect(poppler::crop_box);
    double shownWidth = box.width();
    double shownHeight = box.height();
    if (isTurned(*page))
        std::swap(shownWidth, shownHeight);
    if (!(shownWidth > 0) || !(shownHeight > 0))
        return std::nullopt;
    // Resolution per displayed axis, so that the turned page exactly fills the bitmap.
    const double xDpi = 72.0 * widthPixels / shownWidth;
    const double yDpi = 72.0 * heightPixels / shownHeight;
    poppler::page_renderer renderer;
    renderer.set_image_format(poppler::image::format_rgb24);
    renderer.set_paper_color(0xffffffff);
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    return packRows(renderer.render_page(page.get(), xDpi, yDpi, 0, 0, widthPixels, heightPixels),
                    widthPixels, heightPixels);
}

} // namespace PopplerRender
