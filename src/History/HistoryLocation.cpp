// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryLocation.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace HistoryLocation {
namespace {

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> homeFromUserDatabase() {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd record{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &record, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return std::nullopt;
    return std::string(found->pw_dir);
}

bool isAbsolute(const std::optional<std::string>& path) {
    return path && std::filesystem::path(*path).is_absolute();
}

} // namespace

Environment Environment::fromProcess() {
    Environment environment{variable("XDG_DATA_HOME"), variable("HOME")};
    if (!environment.home || environment.home->empty())
        environment.home = homeFromUserDatabase();
    return environment;
}

std::filesystem::path defaultFile(const Environment& environment) {
    std::filesystem::path dataHome;
    if (isAbsolute(environment.xdgDataHome))
        dataHome = *environment.xdgDataHome;
    else if (isAbsolute(environment.home))
        dataHome = std::filesystem::path(*environment.home) / ".local" / "share";
    else
        return {};
    const std::filesystem::path folder = dataHome / "Parvo";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder / "history.json";
}

} // namespace HistoryLocation
