// SPDX-License-Identifier: GPL-3.0-or-later
//
// Slopes: Tesseract follows slopes below about a degree by itself, and reads them better than a
// resampled straight copy (eurotext.tif at 0.78°: recall 0.918 against 0.904 straightened);
// from 2° its lines fall apart (a 300 dpi page at 2°: 0.63 against 0.98 straightened). In
// between it depends on the length of the lines: a full-width page at 1.2° reads 0.82 against
// 0.98 straightened, the half-page columns of a book spread at 1–2° read as well unstraightened,
// so both are tried.
//
// Measured on the corpus scans turned every way: Tesseract's orientation detection costs
// 0.25–0.6 s a page whatever the reduction (it classifies up to 250 characters four times),
// is right whenever its confidence is above 5 and was wrong below 3.5 (an upright photo of a
// printed page read as upside down at 3.3); Leptonica's ascender test costs 5–90 ms and was
// sure only of pages that were upright. Tesseract reads a sideways page's text by itself but
// reports its lines as tall boxes, so a trial counts only lines that run across the picture.

#include "Engine/PageReading.h"

#include "Platform/ImageCodec.h"
#include "Platform/ScanGeometry.h"
#include "Platform/TextRecognizer.h"

#include <array>
#include <cmath>
#include <new>
#include <optional>
#include <utility>

namespace PageReader {
namespace {

constexpr double kSureOrientation = 5.0;
// A trial whose lines read with this mean confidence ends the trials.
constexpr double kClearConfidence = 80;
// Characters of lines read at least this confidently count as legible.
constexpr double kLegibleConfidence = 60;
// Fewer legible characters than this in every turn: the page is left as it is.
constexpr int kLeastLegibleCharacters = 10;

struct Trial {
    PageReading reading;
    int legibleCharacters = 0;
    double meanConfidence = 0; // per character; lines that do not run across count as 0
};

int visibleCharacters(const std::string& utf8) {
    int count = 0;
    for (const unsigned char c : utf8)
        count += c != ' ' && (c & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

Image turnedBy(Image picture, int clockwiseDegrees) {
    if (clockwiseDegrees == 0)
        return picture;
    picture.exifOrientation = ImageCodec::turnedOrientation(1, clockwiseDegrees);
    auto turned = ImageCodec::turnedUpright(picture);
    if (!turned)
        throw std::bad_alloc(); // the picture is well formed: only memory can fail
    return std::move(*turned);
}

void score(Trial& trial, const std::vector<OCREngine::ScoredLine>& lines) {
    int characters = 0;
    double confidence = 0;
    const PageSize size = trial.reading.frame.readSize;
    for (const OCREngine::ScoredLine& scored : lines) {
        const int count = visibleCharacters(scored.line.text);
        const bool across =
            scored.line.box.width * size.widthPoints >= scored.line.box.height * size.heightPoints;
        characters += count;
        if (!across)
            continue;
        confidence += count * scored.confidence;
        if (scored.confidence >= kLegibleConfidence)
            trial.legibleCharacters += count;
    }
    trial.meanConfidence = characters > 0 ? confidence / characters : 0;
}

// Recognises the upright picture as it is, or turned clockwise by the slope so that its lines
// run level.
void readLines(Trial& trial, double straightenDegrees, const std::vector<std::string>& languages,
               TextRecognizer& recognizer) {
    const Image& upright = trial.reading.upright;
    std::optional<Image> straight;
    if (straightenDegrees != 0)
        straight = ScanGeometry::turned(upright, -straightenDegrees);
    const Image& read = straight ? *straight : upright;
    trial.reading.frame = {
        {static_cast<double>(read.widthPixels), static_cast<double>(read.heightPixels)},
        straight ? straightenDegrees : 0};
    const auto lines = OCREngine::recognizeScored(read, languages, recognizer);
    score(trial, lines);
    trial.reading.lines.clear();
    for (const OCREngine::ScoredLine& scored : lines)
        trial.reading.lines.push_back(scored.line);
}

Trial readTurned(Image picture, int clockwiseDegrees, double slopeDegrees,
                 const std::vector<std::string>& languages, TextRecognizer& recognizer) {
    Trial trial;
    trial.reading.turnDegrees = clockwiseDegrees;
    trial.reading.upright = turnedBy(std::move(picture), clockwiseDegrees);
    const double slope = std::abs(slopeDegrees);
    readLines(trial, slope >= kAlwaysStraightenedDegrees ? slopeDegrees : 0, languages, recognizer);
    if (slope < kLeastStraightenedDegrees || slope >= kAlwaysStraightenedDegrees)
        return trial;
    // In between, whether Tesseract follows the slope by itself depends on how long the lines
    // are: the reading with more legible text is kept.
    Trial straight{{trial.reading.turnDegrees, trial.reading.upright, {}, {}}};
    readLines(straight, slopeDegrees, languages, recognizer);
    return straight.legibleCharacters > trial.legibleCharacters ? std::move(straight)
                                                                : std::move(trial);
}

/// The slope of the lines once the picture is turned: a half turn keeps it, a quarter turn
/// brings the other direction's lines across, which are measured afresh.
double slopeAfter(int clockwiseDegrees, const Image& analysis, const ScanGeometry::Layout& layout) {
    if (clockwiseDegrees % 180 == 0)
        return layout.skewDegrees;
    return ScanGeometry::layout(turnedBy(analysis, clockwiseDegrees)).skewDegrees;
}

PageReading bestTrial(const Image& picture, const Image& analysis,
                      const ScanGeometry::Layout& layout, const std::array<int, 4>& turns,
                      const std::vector<std::string>& languages, TextRecognizer& recognizer) {
    std::optional<Trial> best;   // the most legible so far, the earlier on a tie
    std::optional<Trial> asItIs; // the unturned picture's, when it is not the best
    for (const int turn : turns) {
        Trial trial =
            readTurned(picture, turn, slopeAfter(turn, analysis, layout), languages, recognizer);
        if (trial.meanConfidence >= kClearConfidence &&
            trial.legibleCharacters >= kLeastLegibleCharacters)
            return std::move(trial.reading);
        if (!best || trial.legibleCharacters > best->legibleCharacters) {
            if (best && best->reading.turnDegrees == 0)
                asItIs = std::move(best);
            best = std::move(trial);
        } else if (turn == 0) {
            asItIs = std::move(trial);
        }
    }
    if (best->legibleCharacters >= kLeastLegibleCharacters || !asItIs)
        return std::move(best->reading);
    return std::move(asItIs->reading);
}

} // namespace

PageReading read(Image picture, const std::vector<std::string>& languages,
                 TextRecognizer& recognizer) {
    const auto analysis = ScanGeometry::analysisCopy(picture);
    if (!analysis)
        return readTurned(std::move(picture), 0, 0, languages, recognizer).reading;
    const ScanGeometry::Layout layout = ScanGeometry::layout(*analysis);
    // Sure of being upright, or without text to tell by: read as it is.
    const auto orientation =
        layout.surelyUpright ? std::nullopt : recognizer.orientation(*analysis);
    if (!orientation)
        return readTurned(std::move(picture), 0, layout.skewDegrees, languages, recognizer).reading;
    if (orientation->confidence >= kSureOrientation) {
        const int turn = orientation->turnDegrees;
        return readTurned(std::move(picture), turn, slopeAfter(turn, *analysis, layout), languages,
                          recognizer)
            .reading;
    }
    return bestTrial(picture, *analysis, layout, orientation->turnsByEvidence, languages,
                     recognizer);
}

} // namespace PageReader

Affine TextFrame::toPage(PageSize pageSize) const {
    return Affine::translation(-readSize.widthPoints / 2, -readSize.heightPoints / 2)
        .then(Affine::rotation(slopeDegrees))
        .then(Affine::translation(pageSize.widthPoints / 2, pageSize.heightPoints / 2));
}

bool TextFrame::isPage(PageSize pageSize) const {
    return slopeDegrees == 0 && readSize.widthPoints == pageSize.widthPoints &&
           readSize.heightPoints == pageSize.heightPoints;
}
