// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

/// Writing a workflow's outputs so that no reader ever sees a half-written file: the content
/// goes to a hidden temporary file in the destination's own folder (".<name>.parvo-XXXXXX",
/// which folder scans skip) and is then renamed onto the destination. On any failure the
/// temporary file is removed and nothing at the destination changes.
///
/// These functions touch only the destination's folder: they never create folders, never
/// write to `source`, and never follow a link at the destination (a link there is replaced,
/// not written through). The new file's permissions follow the process umask for written
/// bytes and the source's permission bits for copies. Files are not fsync'ed: the rename
/// protects readers, not against power loss.
///
/// Failures come back as the system's error (its message() is a human-readable
/// description, for example "Permission denied"); success is an empty error_code. Safe to
/// call from several threads at once; never throws.
namespace OutputFiles {

enum class Existing {
    replace, // an existing file at the destination is replaced in one step
    keep,    // an existing item is kept: the call fails with errc::file_exists
};

std::error_code write(std::span<const std::uint8_t> bytes, const std::filesystem::path& destination,
                      Existing existing);

/// Copies a regular file's bytes unchanged; a source that is not a regular file (after
/// following links) fails with errc::invalid_argument, before anything is created.
std::error_code copy(const std::filesystem::path& source, const std::filesystem::path& destination,
                     Existing existing);

} // namespace OutputFiles
