// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/CompressOutcome.h"

#include "Workflows/ByteCountFormat.h"
#include "Workflows/OutcomeText.h"

namespace CompressWorkflow {

std::int64_t pct(const Outcome& outcome) {
    if (outcome.before < 1) {
        return 0;
    }
    const double saving =
        (1.0 - static_cast<double>(outcome.after) / static_cast<double>(outcome.before)) * 100.0;
    // Compare before converting: a result many times larger than its source would
    // overflow the conversion of a large negative saving.
    return saving < 0 ? 0 : static_cast<std::int64_t>(saving);
}

std::optional<std::string> note(const Outcome& outcome) {
    if (outcome.outcome == FileOutcome::written) {
        return std::nullopt;
    }
    return OutcomeText::note(Screen::compress, outcome.outcome,
                             {outcome.cause, 0, outcome.targetLabel});
}

std::string resultText(const Outcome& outcome) {
    const std::optional<std::string> text = note(outcome);
    if (outcome.outcome != FileOutcome::written && outcome.outcome != FileOutcome::aboveTarget) {
        return *text;
    }
    std::string sizes = ByteCountFormat::text(outcome.before) + " \u2192 " +
                        ByteCountFormat::text(outcome.after) + "  (\u2212" +
                        std::to_string(pct(outcome)) + "%)";
    return text ? sizes + " \u00B7 " + *text : sizes;
}

} // namespace CompressWorkflow
