// SPDX-License-Identifier: GPL-3.0-or-later
// parvo-bench: runs the engine on real files and reports what each call cost, one JSON line
// per file, for scripts/bench to set beside the peer tools.
#include "BenchOptions.h"
#include "Engine/ImageCompressor.h"
#include "Engine/KeepingPDFCompressor.h"
#include "Engine/PDFCompressor.h"
#include "Platform/ProcessTuning.h"
#include "ResultLine.h"
#include "support/Synth.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <sys/resource.h>
#include <system_error>

namespace {

// The scale every PDF page is rendered at (108 dpi for a page measured in points).
constexpr double kPdfDpiScale = 1.5;

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto toSeconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

std::int64_t peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // kilobytes on Linux
}

struct Outcome {
    std::optional<Bytes> bytes;
    std::optional<double> quality;
    std::optional<int> encodings;
    std::optional<std::string> method;
    std::optional<bool> fits;
};

const char* methodName(KeepingPDFCompressor::Method method) {
    switch (method) {
    case KeepingPDFCompressor::Method::lossless:
        return "lossless";
    case KeepingPDFCompressor::Method::images:
        return "images";
    case KeepingPDFCompressor::Method::pictures:
        return "pictures";
    case KeepingPDFCompressor::Method::unchanged:
        break;
    }
    return "unchanged";
}

Outcome compressFile(const std::filesystem::path& file, const BenchOptions& options) {
    if (options.command == BenchOptions::Command::image) {
        auto found = ImageCompressor::compressDetailed(file, options.target, options.threads);
        if (!found)
            return {};
        return {std::move(found->jpeg), found->quality, found->encodings, {}, {}};
    }
    if (options.command == BenchOptions::Command::keepPdf) {
        auto kept = KeepingPDFCompressor::compress(file, options.target, options.threads);
        if (!kept)
            return {};
        return {std::move(kept->bytes), {}, {}, methodName(kept->method), kept->fits};
    }
    auto found =
        PDFCompressor::compressDetailed(file, options.target, kPdfDpiScale, options.threads);
    if (!found)
        return {};
    const std::optional<double> quality =
        found->rebuilt ? std::optional<double>(found->quality) : std::nullopt;
    return {std::move(found->bytes), quality, found->assemblies, {}, {}};
}

/// Compresses one file, timing only the engine call.
ResultLine measure(const std::filesystem::path& file, const BenchOptions& options,
                   std::optional<Bytes>& bytesOut) {
    ResultLine line;
    line.file = file.string();
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    line.bytesIn = error ? 0 : static_cast<std::int64_t>(size);

    const double cpuBefore = processCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    Outcome outcome = compressFile(file, options);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallBefore;
    line.seconds = wall.count();
    line.cpuSeconds = processCpuSeconds() - cpuBefore;
    line.peakRssKb = peakRssKb();

    if (outcome.bytes)
        line.bytesOut = static_cast<std::int64_t>(outcome.bytes->size());
    line.quality = outcome.quality;
    line.encodings = outcome.encodings;
    line.method = outcome.method;
    line.fits = outcome.fits;
    bytesOut = std::move(outcome.bytes);
    return line;
}

bool writeResult(const std::filesystem::path& outDir, const std::filesystem::path& input,
                 const BenchOptions& options, const Bytes& bytes) {
    const char* extension = options.command == BenchOptions::Command::image ? ".jpg" : ".pdf";
    const std::filesystem::path target = outDir / (input.stem().string() + extension);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "parvo-bench: cannot write " << target.string() << "\n";
        return false;
    }
    return true;
}

int runCompress(const BenchOptions& options) {
    if (options.outDir) {
        std::error_code error;
        std::filesystem::create_directories(*options.outDir, error);
        if (error) {
            std::cerr << "parvo-bench: cannot create " << options.outDir->string() << ": "
                      << error.message() << "\n";
            return 1;
        }
    }
    int status = 0;
    for (const auto& file : options.files) {
        std::optional<Bytes> bytes;
        std::cout << toJsonLine(measure(file, options, bytes)) << std::endl;
        if (!bytes)
            status = 1;
        else if (options.outDir && !writeResult(*options.outDir, file, options, *bytes))
            status = 1;
    }
    return status;
}

int runSynth(const BenchOptions& options) {
    try {
        Synth::save(Synth::photoLike(options.widthPixels, options.heightPixels),
                    options.files.front());
    } catch (const std::runtime_error& failure) {
        std::cerr << "parvo-bench: " << failure.what() << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    ProcessTuning::keepLargeAllocationsForReuse();
    BenchOptions options;
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    switch (readBenchArguments(arguments, options, std::cout, std::cerr)) {
    case Syntax::Reading::help:
        return 0;
    case Syntax::Reading::refused:
        return 2;
    case Syntax::Reading::proceed:
        break;
    }
    if (options.command == BenchOptions::Command::synth)
        return runSynth(options);
    return runCompress(options);
}
