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

/// Opens one page of a file as openFile opens the first (page 0 is exactly openFile). Only a
/// TIFF has pages beyond the first: for other formats a later page is absent, so an animated
/// GIF or a HEIF sequence counts its first frame only. Throws vips::VError as openFile does,
/// also for a TIFF page past the last.
std::optional<vips::VImage> openFilePage(const std::filesystem::path& path, int pageIndex);
std::optional<vips::VImage> openBytesPage(std::span<const std::uint8_t> bytes, int pageIndex);

/// The number of pages openFilePage can open: a TIFF's page count, 1 for the other accepted
/// formats, 0 when the file is not one of them or its header is unreadable. Never throws.
int filePageCount(const std::filesystem::path& path);
int bytesPageCount(std::span<const std::uint8_t> bytes);

} // namespace VipsLoader
