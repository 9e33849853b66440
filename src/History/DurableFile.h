// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

/// Whole-file reads and crash-safe whole-file replacement (POSIX). Safe from any thread for
/// different files; nothing is thrown.
namespace DurableFile {

/// The bytes of a regular file; absent when it is missing, unreadable or not a regular file.
std::optional<std::string> readAll(const std::filesystem::path& file);

/// Replaces `file` with `bytes` so that, whatever happens to the process or the machine, the
/// file is either its old complete self or the new complete one: the bytes go to a hidden
/// temporary file in the same folder (created with any missing parent folders, mode 0600),
/// which is flushed to disk, renamed over `file`, and the folder is flushed too.
/// False on any failure, leaving `file` untouched and no temporary file behind; a process
/// killed during the call may leave a stray ".<name>.XXXXXX" beside it.
bool replace(const std::filesystem::path& file, std::string_view bytes);

} // namespace DurableFile
