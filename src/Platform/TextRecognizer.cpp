// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/TextRecognizer.h"

// Placeholder until the Tesseract binding is written.
struct TextRecognizer::State {
    std::string languages;
};

TextRecognizer::TextRecognizer(const std::vector<std::string>&)
    : m_state(std::make_unique<State>()) {}
TextRecognizer::TextRecognizer(TextRecognizer&&) noexcept = default;
TextRecognizer& TextRecognizer::operator=(TextRecognizer&&) noexcept = default;
TextRecognizer::~TextRecognizer() = default;

std::string TextRecognizer::tesseractLanguage(std::string_view) {
    return {};
}

const std::string& TextRecognizer::languages() const {
    return m_state->languages;
}

std::vector<TextRecognizer::Line>
TextRecognizer::recognize(const Image&, const std::vector<std::string>&, double) {
    return {};
}
