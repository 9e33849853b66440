// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/OCREngine.h"

#include "Platform/TextRecognizer.h"

// Placeholder until recognition is written.
namespace OCREngine {

std::vector<OCRLine> recognize(const Image&, const std::vector<std::string>&, TextRecognizer&) {
    return {};
}

Rect pageRect(Rect normalized, PageSize pageSize) {
    return {normalized.x * pageSize.widthPoints, normalized.y * pageSize.heightPoints,
            normalized.width * pageSize.widthPoints, normalized.height * pageSize.heightPoints};
}

} // namespace OCREngine
