// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

/// A command line described once, for CLI11 to read and for its help text to be printed from
/// the same description. Shared by `parvo`, its commands, `parvo-worker` and the benchmarks.
///
/// Help layout: "usage: " and the synopsis (one line per form), the description, each named
/// option group ("Group:" and one line per option: its name and value, then its description,
/// continuation lines aligned), then the footer. Options in the group kUnlisted appear in the
/// synopsis only (the description tells about them). Options take their last value when repeated;
/// "--" ends the options; "-3" is a value, not an option.
namespace Syntax {

inline const std::string kUnlisted = "unlisted";

/// A command line named `name` (as in its synopsis, e.g. "parvo compress"). `forms` replaces
/// the synopsis made from the options, for a program with several forms.
std::unique_ptr<CLI::App> app(const std::string& name, const std::string& description,
                              std::vector<std::string> forms = {});

/// One line: the name, each option ("[--jobs N]", required ones without brackets; flags
/// outside kUnlisted as "[--keep-text]"), then the positionals ("PATH...", "[FILE...]").
std::string synopsis(const CLI::App& app);

/// Accepts a whole number from `lowest` to `highest`, written in digits (a leading '-' only
/// when lowest is negative).
CLI::Validator wholeNumber(long long lowest, long long highest);

/// Accepts exactly one of `names`.
CLI::Validator oneOf(std::vector<std::string> names);

enum class Reading {
    proceed, // the bound variables hold the arguments
    help,    // the help was printed to `out`
    refused, // the problem, the synopsis and a hint to --help were printed to `err`
};

/// Reads `arguments` (without the program's or command's name) into the variables bound to
/// `app`.
Reading read(CLI::App& app, const std::vector<std::string>& arguments, std::ostream& out,
             std::ostream& err);

/// The problem of a refused command line, in one line: "--target: 'huge' is not one of ...",
/// "--quality: unknown option", "--jobs: needs a value", "PATH is required".
std::string problemOf(const CLI::App& app, const CLI::ParseError& error);

/// What bad arguments print: "PROGRAM: PROBLEM", the synopsis lines of `help` (those before
/// its first empty line) and a hint to "PROGRAM --help".
std::string refusal(std::string_view program, std::string_view problem, std::string_view help);

} // namespace Syntax
