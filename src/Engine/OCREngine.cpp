// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/OCREngine.h"

#include "Platform/TextRecognizer.h"

namespace OCREngine {

std::vector<OCRLine> recognize(const Image& image, const std::vector<std::string>& languages,
                               TextRecognizer& recognizer) {
    std::vector<OCRLine> lines;
    for (ScoredLine& scored : recognizeScored(image, languages, recognizer))
        lines.push_back(std::move(scored.line));
    return lines;
}

std::vector<ScoredLine> recognizeScored(const Image& image,
                                        const std::vector<std::string>& languages,
                                        TextRecognizer& recognizer) {
    // The image carries its own resolution when known; 0 lets the recogniser assume a scan's.
    std::vector<TextRecognizer::Line> found = recognizer.recognize(image, languages, 0);
    std::vector<ScoredLine> lines;
    lines.reserve(found.size());
    for (TextRecognizer::Line& line : found)
        lines.push_back(
            {{std::move(line.text), {line.x, line.y, line.width, line.height}}, line.confidence});
    return lines;
}

Rect pageRect(Rect normalized, PageSize pageSize) {
    return {normalized.x * pageSize.widthPoints, normalized.y * pageSize.heightPoints,
            normalized.width * pageSize.widthPoints, normalized.height * pageSize.heightPoints};
}

} // namespace OCREngine
