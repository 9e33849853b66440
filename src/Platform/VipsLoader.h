// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Private to ImageCodec: starting libvips and opening files with the loaders Parvo accepts.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vips/vips8>

namespace VipsLoader {

/// Starts libvips once per process (no operation cache, GLib/vips logging silenced).
/// False when libvips could not start.
bool start();

/// Opens the first frame lazily: only the header is read, pixels are decoded on demand, top to
/// bottom, once. Absent when no loader recognises the content or the loader is not one of
/// PNG, JPEG, HEIF, TIFF or GIF (decided by content, never by file name). Throws vips::VError
/// when the accepted loader rejects the header. `bytes` must outlive the returned image.
std::optional<vips::VImage> openFile(const std::filesystem::path& path);
std::optional<vips::VImage> openBytes(std::span<const std::uint8_t> bytes);

} // namespace VipsLoader
