// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/CommandLine.h"

#include "Engine/FolderScan.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace CommandLine {

std::optional<Arguments> parse(const std::vector<std::string>& arguments,
                               const std::vector<std::string_view>& withValue) {
    Arguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument.front() != '-' || argument == "-") {
            parsed.paths.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            parsed.help = true;
        } else if (std::find(withValue.begin(), withValue.end(), argument) != withValue.end() &&
                   i + 1 < arguments.size()) {
            parsed.values[argument] = arguments[++i];
        } else {
            return std::nullopt;
        }
    }
    if (parsed.paths.empty() && !parsed.help) {
        return std::nullopt;
    }
    return parsed;
}

std::optional<fs::path> resolve(const std::string& argument, std::ostream& err) {
    std::error_code error;
    const fs::path location = FolderScan::standardized(fs::absolute(argument, error));
    if (!error && !fs::exists(location, error) && !error) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (error) {
        err << "parvo: " << argument << ": " << error.message() << "\n";
        return std::nullopt;
    }
    return location;
}

bool collectFiles(const std::vector<std::string>& arguments,
                  const std::function<bool(const fs::path&)>& accepts, std::string_view refusal,
                  std::vector<fs::path>& queue, std::ostream& err) {
    bool everyArgumentTaken = true;
    for (const std::string& argument : arguments) {
        const auto location = resolve(argument, err);
        if (!location) {
            everyArgumentTaken = false;
        } else if (!accepts(*location)) {
            err << "parvo: " << argument << ": " << refusal << "\n";
            everyArgumentTaken = false;
        } else if (std::find(queue.begin(), queue.end(), *location) == queue.end()) {
            queue.push_back(*location);
        }
    }
    return everyArgumentTaken;
}

} // namespace CommandLine
