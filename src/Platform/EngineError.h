// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <system_error>

/// Why the engine gave nothing for a file, as a std::error_code of its own category, so that
/// the cause can travel from the engine through a worker's reply to the row that shows it.
enum class EngineError {
    needsPassword = 1, // a PDF that opens only with a user password
    damaged,     // the file's structure cannot be read or repaired (detail: the library's words)
    unsupported, // not a file of a kind this step reads
    noPages,     // a PDF without a page
    outOfMemory, // the step needed more memory than the worker may have
};

const std::error_category& engineErrorCategory();
std::error_code make_error_code(EngineError error);

template <> struct std::is_error_code_enum<EngineError> : std::true_type {};

/// A failure with the library's own words for it, when it had some.
struct EngineFailure {
    std::error_code error;
    std::string detail;
    explicit operator bool() const { return static_cast<bool>(error); }
};

namespace EngineErrors {

/// The stable name of an EngineError for the worker protocol ("needs-password", …); empty for
/// codes of other categories.
std::string name(std::error_code error);
/// The code of a name; an empty code for an unknown name.
std::error_code named(const std::string& name);

} // namespace EngineErrors
