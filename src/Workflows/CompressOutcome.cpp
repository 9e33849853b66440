// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/CompressOutcome.h"

#include "Workflows/ByteCountFormat.h"

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

std::string resultText(const Outcome& outcome) {
    if (outcome.note) {
        return *outcome.note;
    }
    return ByteCountFormat::text(outcome.before) + " \u2192 " +
           ByteCountFormat::text(outcome.after) + "  (\u2212" + std::to_string(pct(outcome)) + "%)";
}

} // namespace CompressWorkflow
