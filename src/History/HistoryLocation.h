// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

/// Where the history file lives by default: the per-user data folder of the XDG base
/// directory convention, then "Parvo", then "history.json".
namespace HistoryLocation {

/// The parts of the process environment the location depends on.
struct Environment {
    std::optional<std::string> xdgDataHome; // $XDG_DATA_HOME
    std::optional<std::string> home;        // $HOME, or the user database's home folder

    /// Read from this process (getenv, then getpwuid_r for the home folder).
    static Environment fromProcess();
};

/// $XDG_DATA_HOME/Parvo/history.json when XDG_DATA_HOME is an absolute path (the convention
/// says to ignore a relative one), else $HOME/.local/share/Parvo/history.json. Creates the
/// "Parvo" folder and missing parents each time, ignoring failure. Empty when neither gives an
/// absolute path: a store at an empty location keeps its history in memory only.
std::filesystem::path defaultFile(const Environment& environment = Environment::fromProcess());

} // namespace HistoryLocation
