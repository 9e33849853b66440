// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Workflows/FileOutcome.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// The English words of outcomes: the notes rows show and the history stores, and the causes
/// `parvo` prints. The one place that maps texts and outcomes both ways.
namespace OutcomeText {

/// What a row needs besides its outcome to be put into words.
struct Details {
    OutcomeCause cause;
    int pages = 0;           // written and merged PDF Tools rows
    std::string targetLabel; // aboveTarget: the size target's label ("2 MB")
};

/// The row's note on `screen`; empty for a compressed file written within its target (its
/// row shows the sizes instead).
std::string note(Screen screen, FileOutcome outcome, const Details& details);

/// "needs a password", "damaged: <reason>", "worker killed by signal 11", … for `parvo`'s
/// stderr line about a failed file; empty when nothing is known beyond the note.
std::string cause(const OutcomeCause& cause);

/// A history entry's mode text ("Compress", "OCR", "PDF Tools") and back.
std::string_view mode(Screen screen);
std::optional<Screen> screenOfMode(std::string_view mode);

/// The outcome a stored note on `screen` stands for, when it is one of the fixed notes (or
/// begins with a fixed prefix such as "Couldn't save: "); absent for other notes (page counts
/// are `written`).
std::optional<FileOutcome> outcomeOfNote(Screen screen, std::string_view note);

} // namespace OutcomeText
