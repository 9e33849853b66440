// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/EngineError.h"

#include <array>
#include <utility>

namespace {

struct Entry {
    EngineError error;
    const char* name;
    const char* message;
};

constexpr std::array<Entry, 5> kEntries = {{
    {EngineError::needsPassword, "needs-password", "needs a password"},
    {EngineError::damaged, "damaged", "damaged"},
    {EngineError::unsupported, "unsupported", "not a file Parvo can read"},
    {EngineError::noPages, "no-pages", "has no page"},
    {EngineError::outOfMemory, "out-of-memory", "needed more memory than allowed"},
}};

class Category : public std::error_category {
public:
    const char* name() const noexcept override { return "parvo-engine"; }
    std::string message(int value) const override {
        for (const Entry& entry : kEntries) {
            if (static_cast<int>(entry.error) == value)
                return entry.message;
        }
        return "engine error " + std::to_string(value);
    }
};

} // namespace

const std::error_category& engineErrorCategory() {
    static const Category category;
    return category;
}

std::error_code make_error_code(EngineError error) {
    return {static_cast<int>(error), engineErrorCategory()};
}

namespace EngineErrors {

std::string name(std::error_code error) {
    if (error.category() != engineErrorCategory())
        return {};
    for (const Entry& entry : kEntries) {
        if (static_cast<int>(entry.error) == error.value())
            return entry.name;
    }
    return {};
}

std::error_code named(const std::string& name) {
    for (const Entry& entry : kEntries) {
        if (name == entry.name)
            return entry.error;
    }
    return {};
}

} // namespace EngineErrors
