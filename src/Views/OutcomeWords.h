// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Workflows/CompressOutcome.h"
#include "Workflows/FileOutcome.h"
#include "Workflows/OutcomeText.h"

#include <QCoreApplication>
#include <QString>
#include <cstdint>
#include <string>

/// The window's words for outcomes, sizes and modes, in the user's language. Under an English
/// (or no) translation every text equals what the core writes (OutcomeText, resultText), which
/// stays English because the history file and `parvo` keep it. UI thread only (translators).
class OutcomeWords {
    Q_DECLARE_TR_FUNCTIONS(OutcomeWords)

public:
    /// The row's note (OutcomeText::note in the user's language).
    static QString note(Screen screen, FileOutcome outcome, const OutcomeText::Details& details);
    /// A Compress row's text after its name (CompressWorkflow::resultText).
    static QString compressResult(const CompressWorkflow::Outcome& outcome);
    /// A stored history note: a note the core writes is shown in the user's language with its
    /// details kept; any other text as stored.
    static QString storedNote(Screen screen, const std::string& note);
    /// A history entry's mode ("Compress", "OCR", "PDF Tools"); unknown modes as stored.
    static QString mode(const std::string& mode);
    /// "A → B (−N%)" as the history shows a size change.
    static QString historySizes(std::int64_t before, std::int64_t after, std::int64_t percent);
    /// Two parts of a row's text joined with a middle dot.
    static QString joined(const QString& first, const QString& second);
};
