// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Image.h"

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Text recognition with Tesseract's LSTM engine and its dictionaries, and Tesseract's
/// orientation detection. Loading the models is expensive (about 0.1 s and 40 MB per language
/// set; the orientation models, loaded on first use, 0.2–0.5 s and 36 MB), so a recogniser is
/// made once per worker thread and reused for every image that thread recognises.
///
/// Not thread-safe: one recogniser is used by one thread at a time (it may move between
/// threads between calls). Nothing throws and nothing is printed.
class TextRecognizer {
public:
    /// One recognised line: its best text without trailing line breaks, and its box
    /// normalised to the image (fractions of its width and height), origin bottom-left.
    struct Line {
        std::string text;
        double x = 0;
        double y = 0;
        double width = 0;
        double height = 0;
        double confidence = 0; // the engine's confidence in the line's text, 0–100
    };

    /// Which way up a picture's text runs, by Tesseract's orientation detection.
    struct Orientation {
        /// The clockwise turn, in degrees (0, 90, 180 or 270), that shows the text upright.
        int turnDegrees = 0;
        /// How far the best turn's evidence exceeds the runner-up's (Tesseract's measure;
        /// about 15 is reasonably sure, below 2 often wrong).
        double confidence = 0;
        /// The four turns, best evidence first.
        std::array<int, 4> turnsByEvidence{};
    };

    /// Loads the languages (BCP 47 tags such as "es-ES", in priority order) whose data is
    /// installed; tags without installed data are left out. With none installed the
    /// recogniser finds nothing. The data is looked for where TESSDATA_PREFIX says, else in
    /// the packaged tessdata folders (/usr/share/tesseract-ocr/5/tessdata…). Loading is
    /// serialised between threads (Tesseract's settings are partly process-wide).
    explicit TextRecognizer(const std::vector<std::string>& languageTags);
    TextRecognizer(TextRecognizer&&) noexcept;
    TextRecognizer& operator=(TextRecognizer&&) noexcept;
    ~TextRecognizer();

    /// The Tesseract language code of a tag ("es-ES" → "spa", "en" → "eng"); empty when the
    /// language is not one Tesseract knows.
    static std::string tesseractLanguage(std::string_view languageTag);

    /// Tesseract's data folder: TESSDATA_PREFIX when it names a folder, else the first packaged
    /// tessdata folder that exists; empty when there is none. Thread-safe.
    static std::filesystem::path dataFolder();

    /// The Tesseract languages in use, joined by '+' ("spa+eng"); empty when none loaded.
    const std::string& languages() const;

    /// Lines in the engine's reading order, blank ones included. `languageTags` are reloaded
    /// only when they differ from the loaded ones. The engine is told the print's resolution:
    /// image.dotsPerInch when credible (70–2400), else `dotsPerInch` when credible, else 300.
    /// The image must be 8-bit gray or RGB as Image describes. Empty when nothing is found,
    /// no language is loaded, the image is malformed or recognition fails.
    /// Turns OpenMP's parallel regions off for the calling thread (libgomp keeps that setting
    /// per thread): Tesseract's own threads only slow a page down, several times over.
    std::vector<Line> recognize(const Image& image, const std::vector<std::string>& languageTags,
                                double dotsPerInch);

    /// Which way up the picture's text runs (Tesseract's OSD on the whole picture as given:
    /// pass a reduced copy, its cost follows the pixels and the characters sampled, at most
    /// 250). The orientation data (osd.traineddata) is loaded on first use. Absent when the
    /// picture has too few characters to tell, the data is not installed, or the image is
    /// malformed. Same threading as recognize.
    std::optional<Orientation> orientation(const Image& image);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
