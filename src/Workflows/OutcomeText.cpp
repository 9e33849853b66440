// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/OutcomeText.h"

#include <array>
#include <utility>

namespace OutcomeText {

namespace {

constexpr std::string_view kCouldntProcess = "Couldn't process";
constexpr std::string_view kDash = " \u2014 ";

// The fixed notes of each screen; the first entry for an outcome is the one written.
struct FixedNote {
    Screen screen;
    FileOutcome outcome;
    std::string_view text;
};

constexpr std::array<FixedNote, 15> kFixedNotes = {{
    {Screen::compress, FileOutcome::failed, kCouldntProcess},
    {Screen::compress, FileOutcome::alreadyOptimized, "Already optimized \u2014 left as is"},
    {Screen::compress, FileOutcome::copiedAlreadySmall, "Copied \u2014 already small"},
    {Screen::compress, FileOutcome::copiedCouldntCompress, "Copied \u2014 couldn't compress"},
    {Screen::ocr, FileOutcome::written, "searchable PDF"},
    {Screen::ocr, FileOutcome::failed, "No text found"},
    {Screen::pdfTools, FileOutcome::failed, "Couldn't open"},
    {Screen::pdfTools, FileOutcome::badRange, "Bad range"},
    {Screen::pdfTools, FileOutcome::couldntSave, "Couldn't save"},
    {Screen::pdfTools, FileOutcome::needOnePdf, "Need at least one valid PDF"},
    {Screen::pdfTools, FileOutcome::noBookmarks, "No bookmarks"},
    // A lost engine reads the same on every screen: the file itself may be fine.
    {Screen::compress, FileOutcome::engineCrashed, "the file stopped the engine"},
    {Screen::compress, FileOutcome::engineOutOfMemory, "needed more memory than allowed"},
    {Screen::compress, FileOutcome::engineMissing, "Parvo's engine helper is missing"},
    {Screen::compress, FileOutcome::engineTimedOut, "took longer than "},
}};

// Prefixes followed by the system's description of an error.
constexpr std::string_view kCouldntSavePrefix = "Couldn't save: ";
constexpr std::string_view kCouldntCopyPrefix = "Couldn't copy: ";
constexpr std::string_view kAbovePrefix = "above the ";
constexpr std::string_view kAboveSuffix = " target";

constexpr std::array<std::pair<Screen, std::string_view>, 3> kModes = {
    {{Screen::compress, "Compress"}, {Screen::ocr, "OCR"}, {Screen::pdfTools, "PDF Tools"}}};

std::optional<std::string_view> fixedNote(Screen screen, FileOutcome outcome) {
    for (const FixedNote& note : kFixedNotes) {
        if (note.screen == screen && note.outcome == outcome)
            return note.text;
    }
    return std::nullopt;
}

// "3 s", "90 s", "10 min": whole minutes from a minute on.
std::string durationText(std::chrono::seconds limit) {
    const auto seconds = limit.count();
    if (seconds >= 60 && seconds % 60 == 0)
        return std::to_string(seconds / 60) + " min";
    return std::to_string(seconds) + " s";
}

std::string engineLostPhrase(FileOutcome outcome, const OutcomeCause& cause) {
    const std::string phrase(*fixedNote(Screen::compress, outcome));
    return outcome == FileOutcome::engineTimedOut ? phrase + durationText(cause.loss.limit)
                                                  : phrase;
}

std::string pdfToolsNote(FileOutcome outcome, const Details& details) {
    if (outcome == FileOutcome::written)
        return std::to_string(details.pages) + "p";
    if (outcome == FileOutcome::merged)
        return std::to_string(details.pages) + " pages";
    return std::string(fixedNote(Screen::pdfTools, outcome).value_or(""));
}

std::string savedOrCopiedNote(FileOutcome outcome, const Details& details) {
    const std::string_view prefix =
        outcome == FileOutcome::couldntCopy ? kCouldntCopyPrefix : kCouldntSavePrefix;
    return std::string(prefix) + details.cause.detail;
}

} // namespace

std::string note(Screen screen, FileOutcome outcome, const Details& details) {
    if (FileOutcomes::engineLost(outcome))
        return std::string(kCouldntProcess) + std::string(kDash) +
               engineLostPhrase(outcome, details.cause);
    if (screen == Screen::pdfTools)
        return pdfToolsNote(outcome, details);
    if (outcome == FileOutcome::couldntSave || outcome == FileOutcome::couldntCopy)
        return savedOrCopiedNote(outcome, details);
    if (outcome == FileOutcome::aboveTarget)
        return std::string(kAbovePrefix) + details.targetLabel + std::string(kAboveSuffix);
    return std::string(fixedNote(screen, outcome).value_or(""));
}

std::string cause(const OutcomeCause& cause) {
    switch (cause.loss.kind) {
    case WorkerLoss::Kind::crashed:
        return cause.loss.signal ? "worker killed by signal " + std::to_string(cause.loss.signal)
                                 : "worker ended without an answer";
    case WorkerLoss::Kind::timedOut:
        return "took longer than " + durationText(cause.loss.limit);
    case WorkerLoss::Kind::missing:
        return "Parvo's engine helper is missing";
    case WorkerLoss::Kind::none:
        break;
    }
    if (!cause.error)
        return cause.detail;
    if (cause.error == EngineError::damaged && !cause.detail.empty())
        return "damaged: " + cause.detail;
    if (cause.error.category() == engineErrorCategory() || cause.detail.empty())
        return cause.error.message();
    return cause.detail;
}

std::string_view mode(Screen screen) {
    for (const auto& [each, text] : kModes) {
        if (each == screen)
            return text;
    }
    return {};
}

std::optional<Screen> screenOfMode(std::string_view text) {
    for (const auto& [each, modeText] : kModes) {
        if (modeText == text)
            return each;
    }
    return std::nullopt;
}

std::optional<FileOutcome> outcomeOfNote(Screen screen, std::string_view text) {
    const std::string lostPrefix = std::string(kCouldntProcess) + std::string(kDash);
    if (text.starts_with(lostPrefix)) {
        const std::string_view phrase = text.substr(lostPrefix.size());
        for (const FixedNote& note : kFixedNotes) {
            if (FileOutcomes::engineLost(note.outcome) && phrase.starts_with(note.text))
                return note.outcome;
        }
    }
    for (const FixedNote& note : kFixedNotes) {
        if (note.screen == screen && note.text == text && !FileOutcomes::engineLost(note.outcome))
            return note.outcome;
    }
    if (screen != Screen::pdfTools && text.starts_with(kCouldntSavePrefix))
        return FileOutcome::couldntSave;
    if (screen == Screen::compress && text.starts_with(kCouldntCopyPrefix))
        return FileOutcome::couldntCopy;
    if (screen == Screen::compress && text.starts_with(kAbovePrefix) &&
        text.ends_with(kAboveSuffix))
        return FileOutcome::aboveTarget;
    return std::nullopt;
}

} // namespace OutcomeText
