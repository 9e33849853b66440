// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/SearchablePDF.h"

#include "Platform/TextRecognizer.h"

// Placeholder until the builder is written.
namespace SearchablePDF {

std::optional<Bytes> buildFromImages(const std::vector<Image>&, std::span<TextRecognizer>,
                                     std::stop_token) {
    return std::nullopt;
}

std::optional<Bytes> buildFromImageFiles(const std::vector<std::filesystem::path>&,
                                         std::span<TextRecognizer>, std::stop_token) {
    return std::nullopt;
}

std::optional<Bytes> makeSearchable(const std::filesystem::path&, double, std::span<TextRecognizer>,
                                    std::stop_token) {
    return std::nullopt;
}

} // namespace SearchablePDF
