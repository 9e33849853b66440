// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/VipsLoader.h"

#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace VipsLoader {
namespace {

// Loader families by nickname. Sources are used for files too: the file-name loaders parse a
// trailing "[…]" in the name as load options, which a user's file name must never become.
constexpr std::array<std::string_view, 6> kAcceptedFamilies = {"jpegload", "pngload",  "spngload",
                                                               "heifload", "tiffload", "gifload"};

bool isAccepted(std::string_view nickname) {
    for (std::string_view family : kAcceptedFamilies)
        if (nickname == std::string(family) + "_source")
            return true;
    return false;
}

void discardLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void silenceLogging() {
    constexpr std::array<const char*, 5> domains = {"VIPS", "GLib", "GLib-GObject", "GModule",
                                                    "GLib-GIO"};
    const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK & ~G_LOG_LEVEL_ERROR);
    for (const char* domain : domains)
        g_log_set_handler(domain, levels, discardLog, nullptr);
}

bool hasArgument(const char* nickname, const char* name) {
    VipsOperation* operation = vips_operation_new(nickname);
    if (!operation) {
        vips_error_clear();
        return false;
    }
    GParamSpec* parameter = nullptr;
    VipsArgumentClass* argumentClass = nullptr;
    VipsArgumentInstance* argumentInstance = nullptr;
    const bool found = vips_object_get_argument(VIPS_OBJECT(operation), name, &parameter,
                                                &argumentClass, &argumentInstance) == 0;
    g_object_unref(operation);
    vips_error_clear();
    return found;
}

// The accepted loader's nickname for the content, or null.
const char* acceptedLoader(const vips::VSource& source) {
    const char* typeName = vips_foreign_find_load_source(source.get_source());
    if (!typeName) {
        vips_error_clear();
        return nullptr;
    }
    const char* nickname = vips_nickname_find(g_type_from_name(typeName));
    return nickname && isAccepted(nickname) ? nickname : nullptr;
}

bool isTiff(std::string_view nickname) {
    return nickname == "tiffload_source";
}

std::optional<vips::VImage> open(vips::VSource source, int pageIndex) {
    const char* nickname = acceptedLoader(source);
    if (!nickname || pageIndex < 0 || (pageIndex > 0 && !isTiff(nickname)))
        return std::nullopt;
    vips::VImage image;
    vips::VOption* options = vips::VImage::option()
                                 ->set("source", source)
                                 ->set("access", VIPS_ACCESS_SEQUENTIAL)
                                 ->set("fail_on", VIPS_FAIL_ON_ERROR);
    // HEIF stays without page/n: unset, libheif picks the primary image, which is the one a
    // viewer shows; page 0 would be the first top-level image even when that is not primary.
    if (std::string_view(nickname) != "heifload_source" && hasArgument(nickname, "page"))
        options->set("page", pageIndex)->set("n", 1);
    vips::VImage::call(nickname, options->set("out", &image));
    return image;
}

} // namespace

bool start() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        silenceLogging();
        if (VIPS_INIT("parvo") != 0) {
            vips_error_clear();
            return;
        }
        vips_cache_set_max(0);
        vips_block_untrusted_set(TRUE);
        started = true;
    });
    return started;
}

std::optional<vips::VImage> openFile(const std::filesystem::path& path) {
    return open(vips::VSource::new_from_file(path.c_str()), 0);
}

std::optional<vips::VImage> openBytes(std::span<const std::uint8_t> bytes) {
    return open(vips::VSource::new_from_memory(bytes.data(), bytes.size()), 0);
}

std::optional<vips::VImage> openFilePage(const std::filesystem::path& path, int pageIndex) {
    return open(vips::VSource::new_from_file(path.c_str()), pageIndex);
}

std::optional<vips::VImage> openBytesPage(std::span<const std::uint8_t> bytes, int pageIndex) {
    return open(vips::VSource::new_from_memory(bytes.data(), bytes.size()), pageIndex);
}

namespace {

int pageCount(const std::function<vips::VSource()>& makeSource) {
    if (!start())
        return 0;
    int count = 0;
    try {
        const vips::VSource source = makeSource();
        const char* nickname = acceptedLoader(source);
        if (nickname && isTiff(nickname)) {
            const std::optional<vips::VImage> first = open(source, 0);
            count = first && first->get_typeof(VIPS_META_N_PAGES) != 0
                        ? first->get_int(VIPS_META_N_PAGES)
                        : 1;
        } else if (nickname) {
            count = open(source, 0) ? 1 : 0;
        }
    } catch (const vips::VError&) {
        count = 0;
    }
    vips_error_clear();
    return count > 0 ? count : 0;
}

} // namespace

int filePageCount(const std::filesystem::path& path) {
    return pageCount([&] { return vips::VSource::new_from_file(path.c_str()); });
}

int bytesPageCount(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return 0;
    return pageCount([&] { return vips::VSource::new_from_memory(bytes.data(), bytes.size()); });
}

} // namespace VipsLoader
