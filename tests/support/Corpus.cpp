// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Corpus.h"

#include <algorithm>
#include <cctype>

namespace Corpus {

std::optional<std::filesystem::path> root() {
    const std::filesystem::path path = PARVO_CORPUS_DIR;
    std::error_code error;
    if (!std::filesystem::is_directory(path, error))
        return std::nullopt;
    return std::filesystem::weakly_canonical(path, error);
}

std::optional<std::filesystem::path> file(std::string_view relativePath) {
    const auto base = root();
    if (!base)
        return std::nullopt;
    auto path = *base / relativePath;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    return path;
}

std::vector<std::filesystem::path> files(std::string_view subfolder,
                                         const std::vector<std::string_view>& extensions) {
    std::vector<std::filesystem::path> found;
    const auto base = root();
    std::error_code error;
    if (!base || !std::filesystem::is_directory(*base / subfolder, error))
        return found;
    for (const auto& entry : std::filesystem::directory_iterator(*base / subfolder, error)) {
        auto extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (std::find(extensions.begin(), extensions.end(), extension) != extensions.end())
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::filesystem::path> withoutRendererHangs(std::vector<std::filesystem::path> files) {
    std::erase_if(files, [](const std::filesystem::path& path) {
        return path.filename().string().find("poppler_loop") != std::string::npos;
    });
    return files;
}

} // namespace Corpus
