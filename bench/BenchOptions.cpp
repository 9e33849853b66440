// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchOptions.h"

#include <charconv>
#include <limits>
#include <memory>

namespace {

constexpr std::int64_t kSmallTargetBytes = 2 * 1024 * 1024;
constexpr int kMaxThreads = 64;
constexpr int kMaxSynthPixels = 65535;

SizeTarget targetNamed(const std::string& name) {
    if (name == "email")
        return SizeTarget::email();
    if (name == "small")
        return SizeTarget::custom(kSmallTargetBytes);
    // Any budget in bytes, for measuring the document-keeping compressor at other targets.
    std::int64_t bytes = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), bytes);
    if (error == std::errc() && end == name.data() + name.size() && bytes > 0)
        return SizeTarget::custom(bytes);
    return SizeTarget::web();
}

struct Read {
    std::string target;
    std::string outDir;
    std::vector<std::string> files;
    std::string synthOut;
};

void addCompress(CLI::App& app, const std::string& name, BenchOptions& options, Read& read) {
    CLI::App* command = app.add_subcommand(name);
    CLI::Option* target =
        command->add_option("--target", read.target,
                            "email (10 MiB), web (1 MiB) or small (2 MiB); PDFs: or BYTES");
    target->required();
    if (name != "image") {
        target->type_name("email|web|small|BYTES")
            ->check(Syntax::oneOf({"email", "web", "small"}) |
                    Syntax::wholeNumber(1, std::numeric_limits<std::int32_t>::max()));
    } else {
        target->type_name("email|web|small")->check(Syntax::oneOf({"email", "web", "small"}));
    }
    command
        ->add_option("--threads", options.threads, "pages or probes worked on at once (default 2)")
        ->type_name("N")
        ->check(Syntax::wholeNumber(1, kMaxThreads));
    command
        ->add_option("--out", read.outDir,
                     "also write each result to DIR/<stem>.jpg or DIR/<stem>.pdf")
        ->type_name("DIR");
    command->add_option("FILE", read.files)->required();
}

std::unique_ptr<CLI::App> syntax(BenchOptions& options, Read& read) {
    auto app = Syntax::app("parvo-bench",
                           "Compresses each FILE and prints one JSON line per file on stdout.");
    app->require_subcommand(1);
    addCompress(*app, "image", options, read);
    addCompress(*app, "pdf", options, read);
    addCompress(*app, "keep-pdf", options, read);
    CLI::App* synth = app->add_subcommand("synth");
    synth->add_option("OUT.png", read.synthOut)->required();
    for (auto [name, pixels] :
         {std::pair{"WIDTH", &options.widthPixels}, std::pair{"HEIGHT", &options.heightPixels}}) {
        synth->add_option(name, *pixels)
            ->check(Syntax::wholeNumber(1, kMaxSynthPixels))
            ->required();
    }
    return app;
}

} // namespace

Syntax::Reading readBenchArguments(const std::vector<std::string>& arguments, BenchOptions& options,
                                   std::ostream& out, std::ostream& err) {
    Read read;
    const auto app = syntax(options, read);
    const Syntax::Reading reading = Syntax::read(*app, arguments, out, err);
    if (reading != Syntax::Reading::proceed)
        return reading;
    if (app->got_subcommand("synth")) {
        options.command = BenchOptions::Command::synth;
        options.files = {read.synthOut};
        return reading;
    }
    options.command = app->got_subcommand("pdf")        ? BenchOptions::Command::pdf
                      : app->got_subcommand("keep-pdf") ? BenchOptions::Command::keepPdf
                                                        : BenchOptions::Command::image;
    options.target = targetNamed(read.target);
    if (!read.outDir.empty())
        options.outDir = std::filesystem::path(read.outDir);
    options.files.assign(read.files.begin(), read.files.end());
    return reading;
}
