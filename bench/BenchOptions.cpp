// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchOptions.h"

#include <charconv>

namespace {

constexpr std::int64_t kSmallTargetBytes = 2 * 1024 * 1024;
constexpr int kMaxThreads = 64;
constexpr int kMaxSynthPixels = 65535;

std::optional<int> parseInt(std::string_view text, int minimum, int maximum) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || ptr != end || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

std::optional<SizeTarget> parseTarget(std::string_view name) {
    if (name == "email")
        return SizeTarget::email();
    if (name == "web")
        return SizeTarget::web();
    if (name == "small")
        return SizeTarget::custom(kSmallTargetBytes);
    // Any budget in bytes, for measuring the document-keeping compressor at other targets.
    std::int64_t bytes = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), bytes);
    if (error == std::errc() && end == name.data() + name.size() && bytes > 0)
        return SizeTarget::custom(bytes);
    return std::nullopt;
}

/// Applies one option that takes a value; false when the option or its value is bad.
bool applyOption(std::string_view name, std::string_view value, BenchOptions& options,
                 bool& haveTarget) {
    if (name == "--target") {
        const auto target = parseTarget(value);
        haveTarget = target.has_value();
        if (target)
            options.target = *target;
        return haveTarget;
    }
    if (name == "--threads") {
        const auto threads = parseInt(value, 1, kMaxThreads);
        if (threads)
            options.threads = *threads;
        return threads.has_value();
    }
    if (name == "--out") {
        if (value.empty())
            return false;
        options.outDir = std::filesystem::path(value);
        return true;
    }
    return false;
}

std::optional<BenchOptions> parseCompress(BenchOptions::Command command,
                                          const std::vector<std::string_view>& arguments) {
    BenchOptions options;
    options.command = command;
    bool haveTarget = false;
    bool onlyFiles = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (onlyFiles || !argument.starts_with("--")) {
            options.files.emplace_back(argument);
        } else if (argument == "--") {
            onlyFiles = true;
        } else if (const auto equals = argument.find('='); equals != std::string_view::npos) {
            if (!applyOption(argument.substr(0, equals), argument.substr(equals + 1), options,
                             haveTarget))
                return std::nullopt;
        } else if (i + 1 >= arguments.size() ||
                   !applyOption(argument, arguments[++i], options, haveTarget)) {
            return std::nullopt;
        }
    }
    if (!haveTarget || options.files.empty())
        return std::nullopt;
    return options;
}

std::optional<BenchOptions> parseSynth(const std::vector<std::string_view>& arguments) {
    if (arguments.size() != 4 || arguments[1].empty())
        return std::nullopt;
    const auto width = parseInt(arguments[2], 1, kMaxSynthPixels);
    const auto height = parseInt(arguments[3], 1, kMaxSynthPixels);
    if (!width || !height)
        return std::nullopt;
    BenchOptions options;
    options.command = BenchOptions::Command::synth;
    options.files.emplace_back(arguments[1]);
    options.widthPixels = *width;
    options.heightPixels = *height;
    return options;
}

} // namespace

std::optional<BenchOptions> parseBenchArguments(const std::vector<std::string_view>& arguments) {
    if (arguments.empty())
        return std::nullopt;
    if (arguments[0] == "image")
        return parseCompress(BenchOptions::Command::image, arguments);
    if (arguments[0] == "pdf")
        return parseCompress(BenchOptions::Command::pdf, arguments);
    if (arguments[0] == "keep-pdf")
        return parseCompress(BenchOptions::Command::keepPdf, arguments);
    if (arguments[0] == "synth")
        return parseSynth(arguments);
    return std::nullopt;
}

std::string_view benchUsage() {
    return "usage: parvo-bench image --target email|web|small [--threads N] [--out DIR] FILE...\n"
           "       parvo-bench pdf --target email|web|small [--threads N] [--out DIR] FILE...\n"
           "       parvo-bench keep-pdf --target email|web|small|BYTES [--threads N] [--out DIR] "
           "FILE...\n"
           "       parvo-bench synth OUT.png WIDTH HEIGHT\n"
           "Compresses each FILE and prints one JSON line per file on stdout.\n"
           "  --target   email (10 MiB), web (1 MiB) or small (2 MiB); keep-pdf also takes bytes\n"
           "  --threads  pages or probes worked on at once (default 2)\n"
           "  --out      also write each result to DIR/<stem>.jpg or DIR/<stem>.pdf\n";
}
