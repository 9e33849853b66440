// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/FolderScan.h"

#include "Platform/Unicode.h"

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSmallSuffix = "-small";

// Position of the dot that starts the extension, or npos.
std::size_t extensionDot(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return (dot == std::string::npos || dot == 0) ? std::string::npos : dot;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

enum class EntryKind { folder, link, file, other, unknown };

// Uses the type the directory listing delivered (d_type), so most entries cost no stat.
EntryKind kindOf(const fs::directory_entry& entry) {
    std::error_code error;
    if (entry.is_symlink(error)) {
        return EntryKind::link;
    }
    if (error) {
        return EntryKind::unknown;
    }
    const bool folder = entry.is_directory(error);
    if (error) {
        return EntryKind::unknown;
    }
    if (folder) {
        return EntryKind::folder;
    }
    const bool regular = entry.is_regular_file(error);
    if (error) {
        return EntryKind::unknown;
    }
    return regular ? EntryKind::file : EntryKind::other;
}

bool accepted(const fs::path& file, const std::set<std::string, std::less<>>& exts) {
    const std::string extension = Unicode::toLower(FolderScan::pathExtension(file));
    return exts.count(extension) != 0 && !endsWith(FolderScan::baseName(file), kSmallSuffix);
}

// Lists one folder: accepted files go to `found`, subfolders to be entered to `pending`.
void scanOne(const fs::path& folder, const std::set<std::string, std::less<>>& exts,
             std::vector<fs::path>& found, std::vector<fs::path>& pending) {
    std::error_code error;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const fs::path& item = it->path();
        const std::string name = item.filename().string();
        if (name.empty() || name.front() == '.') {
            continue;
        }
        switch (kindOf(*it)) {
        case EntryKind::folder:
            if (!endsWith(name, FolderScan::kMirrorSuffix)) {
                pending.push_back(item);
            }
            break;
        case EntryKind::file:
        case EntryKind::unknown: // judged by its name alone
            if (accepted(item, exts)) {
                found.push_back(item);
            }
            break;
        case EntryKind::link:
        case EntryKind::other: // links are never followed; pipes and devices never read
            break;
        }
    }
}

void sortByNormalizedPath(std::vector<fs::path>& paths) {
    // UTF-8 byte order is code-point order, so NFC strings compare correctly as bytes.
    std::vector<std::pair<std::string, fs::path>> keyed;
    keyed.reserve(paths.size());
    for (fs::path& path : paths) {
        keyed.emplace_back(Unicode::nfc(path.string()), std::move(path));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        paths[i] = std::move(keyed[i].second);
    }
}

bool taken(const fs::path& candidate, const FolderScan::UsedNames& used, bool checkDisk) {
    if (used.count(FolderScan::usedKey(candidate)) != 0) {
        return true;
    }
    std::error_code error;
    // symlink_status: a dangling link occupies the name as much as a file does.
    return checkDisk && fs::exists(fs::symlink_status(candidate, error));
}

} // namespace

namespace FolderScan {

std::string pathExtension(const fs::path& location) {
    const std::string name = location.filename().string();
    const std::size_t dot = extensionDot(name);
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string baseName(const fs::path& location) {
    const std::string name = location.filename().string();
    return name.substr(0, extensionDot(name));
}

fs::path standardized(const fs::path& location) {
    fs::path normal = location.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path()) {
        normal = normal.parent_path();
    }
    return normal;
}

std::string usedKey(const fs::path& location) {
    return Unicode::toLower(standardized(location).string());
}

bool isDirectory(const fs::path& location) {
    std::error_code error;
    return fs::is_directory(location, error);
}

std::vector<fs::path> files(const fs::path& folder,
                            const std::set<std::string, std::less<>>& exts) {
    std::vector<fs::path> found;
    std::vector<fs::path> pending{folder};
    while (!pending.empty()) {
        const fs::path next = std::move(pending.back());
        pending.pop_back();
        scanOne(next, exts, found, pending);
    }
    sortByNormalizedPath(found);
    return found;
}

fs::path mirrorRoot(const fs::path& folder) {
    const fs::path standard = standardized(folder);
    return standard.parent_path() / (standard.filename().string() + std::string(kMirrorSuffix));
}

fs::path mirrorOutputURL(const fs::path& source, const fs::path& root, std::string_view suffix,
                         std::optional<std::string_view> newExtension) {
    const fs::path standardRoot = standardized(root);
    const fs::path standardSource = standardized(source);
    const std::vector<fs::path> rootParts(standardRoot.begin(), standardRoot.end());
    const std::vector<fs::path> sourceParts(standardSource.begin(), standardSource.end());
    fs::path out = mirrorRoot(root);
    const bool inside = sourceParts.size() > rootParts.size() &&
                        std::equal(rootParts.begin(), rootParts.end(), sourceParts.begin());
    if (inside) {
        for (auto part = sourceParts.begin() + rootParts.size(); part != sourceParts.end();
             ++part) {
            out /= *part;
        }
    } else {
        out /= standardSource.filename();
    }
    const std::string extension = newExtension ? std::string(*newExtension) : pathExtension(out);
    std::string name = baseName(out) + std::string(suffix);
    if (!extension.empty()) {
        name += "." + extension;
    }
    return out.parent_path() / name;
}

fs::path uniqueURL(const fs::path& wanted, UsedNames& used, bool checkDisk) {
    fs::path candidate = wanted;
    const fs::path folder = standardized(wanted).parent_path();
    const std::string base = baseName(candidate);
    const std::string extension = pathExtension(candidate);
    for (std::uint64_t n = 2; taken(candidate, used, checkDisk); ++n) {
        std::string name = base + " " + std::to_string(n);
        if (!extension.empty()) {
            name += "." + extension;
        }
        candidate = folder / name;
    }
    used.insert(usedKey(candidate));
    return candidate;
}

} // namespace FolderScan
