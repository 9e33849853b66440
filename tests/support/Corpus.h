// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

/// The shared corpus of real files beside the repository (../shared/corpus). A user's clone
/// has none: tests that need it skip themselves.
namespace Corpus {

/// The corpus folder, or absent when it is not there.
std::optional<std::filesystem::path> root();

/// A corpus file by its path relative to the corpus, or absent.
std::optional<std::filesystem::path> file(std::string_view relativePath);

/// Every file in a corpus subfolder with one of the extensions (lower-case, with dot), sorted.
std::vector<std::filesystem::path> files(std::string_view subfolder,
                                         const std::vector<std::string_view>& extensions);

/// `files` without those on which Poppler's renderer never returns (the corpus names them
/// "…poppler_loop…"). In-process sweeps leave them out; the worker tests contain the hang.
std::vector<std::filesystem::path> withoutRendererHangs(std::vector<std::filesystem::path> files);

} // namespace Corpus

/// Declares `var` as the path of a corpus file, or skips the test when it is missing.
#define PARVO_CORPUS_FILE(var, relativePath)                                                       \
    const auto var##_optional = Corpus::file(relativePath);                                        \
    if (!var##_optional) {                                                                         \
        GTEST_SKIP() << "corpus file not available: " << (relativePath);                           \
    }                                                                                              \
    const std::filesystem::path& var = *var##_optional
