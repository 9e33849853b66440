// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

/// File-system rules shared by the workflows: which files of a dropped folder are processed
/// and in which order, where a dropped folder's outputs go (a mirror folder beside it), and
/// how an output location is made unique within one batch.
///
/// Locations are absolute paths. Stateless: every function is safe to call from several
/// threads at once, except that one UsedNames set must not be shared between threads.
/// Nothing here throws or reports an error; unreadable items are judged as documented.
namespace FolderScan {

/// Appended to a dropped folder's name to make its mirror folder: " — Parvo" (em dash).
inline constexpr std::string_view kMirrorSuffix = " \u2014 Parvo";

/// Keys of the output locations handed out in one batch (see usedKey). Owned by the caller.
using UsedNames = std::unordered_set<std::string>;

/// The text after the last dot of the last name, without the dot; empty when there is none.
/// A name's leading dot does not start an extension (".png" has none).
std::string pathExtension(const std::filesystem::path& location);

/// The last name without its last dot and extension.
std::string baseName(const std::filesystem::path& location);

/// The path with "." and ".." resolved lexically and no trailing separator; symbolic links
/// are not resolved.
std::filesystem::path standardized(const std::filesystem::path& location);

/// The used-set key of a location: its standardized path, lower-cased by Unicode's default
/// case mapping, so /x/A.jpg and /x/a.JPG collide.
std::string usedKey(const std::filesystem::path& location);

/// True only for an existing folder (a link to a folder counts); false on any error.
bool isDirectory(const std::filesystem::path& location);

/// Every regular file below `folder`, recursively, whose lower-cased extension is in `exts`
/// (lower case, no dot) and whose base name does not end in "-small" (case-sensitive).
/// Hidden items (names starting with ".") and everything inside hidden folders are left out;
/// folders whose name ends in kMirrorSuffix are not entered; symbolic links are neither
/// listed nor followed; unreadable subfolders are passed over. Sorted by full path in
/// Unicode code-point order after NFC normalisation (stable). Empty when the folder cannot
/// be read. May be slow for large trees: call it off the interface thread.
std::vector<std::filesystem::path> files(const std::filesystem::path& folder,
                                         const std::set<std::string, std::less<>>& exts);

/// The dropped folder's parent joined with its name followed by kMirrorSuffix.
std::filesystem::path mirrorRoot(const std::filesystem::path& folder);

/// The location inside mirrorRoot(root) that reproduces source's path below root, with
/// `suffix` appended to the base name and the extension replaced by `newExtension` when
/// given. A source outside root lands directly in the mirror folder under its own name.
std::filesystem::path mirrorOutputURL(const std::filesystem::path& source,
                                      const std::filesystem::path& root, std::string_view suffix,
                                      std::optional<std::string_view> newExtension);

/// `wanted` when it is not taken, otherwise the first of "base 2.ext", "base 3.ext", … in
/// the same folder that is not. Taken: its key is in `used`, or `checkDisk` is true and
/// something (a file, folder or link) exists at the path. The returned location's key is
/// added to `used`.
std::filesystem::path uniqueURL(const std::filesystem::path& wanted, UsedNames& used,
                                bool checkDisk);

} // namespace FolderScan
