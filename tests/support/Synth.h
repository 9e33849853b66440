// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"

#include <filesystem>
#include <string>

/// Inputs that tests and benchmarks make for themselves, deterministically.
namespace Synth {

/// Smooth colour fields with fine grain, like a photo: compresses like one.
Image photoLike(int widthPixels, int heightPixels, unsigned seed = 1);

/// Flat colour blocks with sharp-edged text-like marks, like a screenshot.
Image screenshotLike(int widthPixels, int heightPixels, unsigned seed = 1);

/// Saves with libvips; the format follows the extension (.png, .jpg, .tif, .gif …).
/// Throws std::runtime_error on failure (tests only).
void save(const Image& image, const std::filesystem::path& path);

/// The image as a JPEG file's bytes, written by libvips (independent of Parvo's own encoder).
Bytes jpegBytes(const Image& image);

/// Writes bytes to a file; throws std::runtime_error on failure.
void writeFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes readFile(const std::filesystem::path& path);

/// A fresh empty folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

} // namespace Synth
