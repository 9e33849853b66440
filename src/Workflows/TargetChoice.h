// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/SizeTarget.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace CompressWorkflow {

/// The size choices offered for a Compress batch, in the order they are offered.
enum class TargetChoice { email, web, small };

inline constexpr std::array<TargetChoice, 3> kTargetChoices = {
    TargetChoice::email, TargetChoice::web, TargetChoice::small};

/// The choice's label, which is also its identity: "Email (10 MB)", "Web (1 MB)",
/// "Small (2 MB)".
constexpr std::string_view label(TargetChoice choice) {
    switch (choice) {
    case TargetChoice::web:
        return "Web (1 MB)";
    case TargetChoice::small:
        return "Small (2 MB)";
    case TargetChoice::email:
        break;
    }
    return "Email (10 MB)";
}

/// The byte budget behind a choice; "Small" is a custom budget of 2 × 1,048,576 bytes.
constexpr SizeTarget target(TargetChoice choice) {
    constexpr std::int64_t kSmallBytes = 2 * 1024 * 1024;
    switch (choice) {
    case TargetChoice::web:
        return SizeTarget::web();
    case TargetChoice::small:
        return SizeTarget::custom(kSmallBytes);
    case TargetChoice::email:
        break;
    }
    return SizeTarget::email();
}

/// The size in the label of the choice whose budget `target` is ("10 MB", "1 MB", "2 MB");
/// empty for a budget no choice offers.
constexpr std::string_view sizeLabel(SizeTarget target) {
    for (const TargetChoice choice : kTargetChoices) {
        if (CompressWorkflow::target(choice).bytes() == target.bytes()) {
            const std::string_view text = label(choice);
            const std::size_t open = text.find('(');
            return text.substr(open + 1, text.size() - open - 2);
        }
    }
    return {};
}

} // namespace CompressWorkflow
