// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PdfDocument.h"
#include "Platform/TextRecognizer.h"
#include "Workflows/OCRWorkflow.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
namespace OW = OCRWorkflow;
constexpr std::string_view kNoText = "No text found";
constexpr std::string_view kSaved = "searchable PDF";

namespace {

const std::string kBroken = "not an image";

std::string fakeOutput(const std::string& sourceName, int round) {
    std::string text = "%PDF ";
    text += sourceName;
    text += ' ';
    text += std::to_string(round);
    return text;
}

// Stands in for the engine: the output names its source and the round, unless the source
// holds kBroken.
OW::Builder fakeBuilder(int round = 1) {
    return [round](const fs::path& source, std::span<TextRecognizer>,
                   std::stop_token) -> std::optional<Bytes> {
        const Bytes content = Synth::readFile(source);
        if (std::string(content.begin(), content.end()) == kBroken) {
            return std::nullopt;
        }
        const std::string text = fakeOutput(source.filename().string(), round);
        return Bytes(text.begin(), text.end());
    };
}

OW::BatchHooks fakeHooks(int round = 1) {
    OW::BatchHooks hooks;
    hooks.builder = fakeBuilder(round);
    return hooks;
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    Synth::writeFile(path, Bytes(text.begin(), text.end()));
}

std::string readText(const fs::path& path) {
    const Bytes bytes = Synth::readFile(path);
    return {bytes.begin(), bytes.end()};
}

bool leftTemporaryFiles(const fs::path& root) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().find(".parvo-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.rfind(prefix, 0) == 0;
}

TEST(OCRAccepts, LowerCasedLastExtensionAndNeverAFolder) {
    Synth::TempDir dir;
    fs::create_directory(dir / "folder.pdf");
    const struct {
        fs::path location;
        bool accepted;
    } cases[] = {
        {dir / "scan.TIFF", true},    {dir / "scan.tif", false},   {dir / "notes.txt", false},
        {dir / "Report.Pdf", true},   {dir / "phone.HEIC", true},  {dir / "x.heif", true},
        {dir / "a.b.jpeg", true},     {dir / "a.jpg", true},       {dir / "anim.gif", true},
        {dir / "pic.png", true},      {dir / ".png", false},       {dir / "pdf", false},
        {dir / "scan.pdf.gz", false}, {dir / "folder.pdf", false}, {dir / "never-made.png", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OW::accepts(c.location), c.accepted) << c.location;
    }
}

TEST(OCROutputName, StemSearchablePdfBesideTheSource) {
    const struct {
        const char* source;
        const char* output;
    } cases[] = {
        {"/s/scan.jpg", "/s/scan-searchable.pdf"},
        {"/s/a.b.png", "/s/a.b-searchable.pdf"},
        {"/s/report.pdf", "/s/report-searchable.pdf"},
        {"/s/Scan.TIFF", "/s/Scan-searchable.pdf"},
        {"/s/x-searchable.pdf", "/s/x-searchable-searchable.pdf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OW::outputURL(c.source), fs::path(c.output)) << c.source;
    }
}

TEST(OCRBatch, CollidingStemsAreNumberedAndARerunReplaces) {
    Synth::TempDir dir;
    writeText(dir / "scan.jpg", "jpg");
    writeText(dir / "scan.png", "png");
    const std::vector<fs::path> queue = {dir / "scan.jpg", dir / "scan.png"};
    for (int round = 1; round <= 2; ++round) {
        const auto rows = OW::runBatch(queue, fakeHooks(round));
        ASSERT_EQ(rows.size(), 2U);
        EXPECT_EQ(rows[0].saved, dir / "scan-searchable.pdf");
        EXPECT_EQ(rows[1].saved, dir / "scan-searchable 2.pdf");
        EXPECT_EQ(readText(dir / "scan-searchable.pdf"), fakeOutput("scan.jpg", round));
        EXPECT_EQ(readText(dir / "scan-searchable 2.pdf"), fakeOutput("scan.png", round));
        for (const ResultRow& row : rows) {
            EXPECT_EQ(ResultRows::note(row, Screen::ocr), kSaved);
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4)
        << "a rerun replaces its outputs instead of numbering further";
}

TEST(OCRBatch, NoOutputReplacesASourceOfTheSameBatch) {
    Synth::TempDir dir;
    writeText(dir / "scan.png", "png");
    writeText(dir / "SCAN-searchable.pdf", "queued too");
    const std::vector<fs::path> queue = {dir / "scan.png", dir / "SCAN-searchable.pdf"};
    const auto rows = OW::runBatch(queue, fakeHooks());
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[0].saved, dir / "scan-searchable 2.pdf");
    EXPECT_EQ(rows[1].saved, dir / "SCAN-searchable-searchable.pdf");
    EXPECT_EQ(readText(dir / "SCAN-searchable.pdf"), "queued too");
    EXPECT_EQ(readText(dir / "scan.png"), "png");
}

TEST(OCRBatch, RowsFollowTheQueueWhateverFails) {
    Synth::TempDir dir;
    writeText(dir / "one.png", "1");
    writeText(dir / "broken.png", kBroken);
    writeText(dir / "three.pdf", "3");
    const std::vector<fs::path> queue = {dir / "one.png", dir / "broken.png", dir / "three.pdf"};
    std::vector<std::string> reported;
    OW::BatchHooks hooks = fakeHooks();
    hooks.rowDone = [&](const ResultRow& row) { reported.push_back(row.name); };
    const auto rows = OW::runBatch(queue, hooks);
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(reported, (std::vector<std::string>{"one.png", "broken.png", "three.pdf"}));
    EXPECT_EQ(rows[0].saved, dir / "one-searchable.pdf");
    EXPECT_EQ(rows[1].name, "broken.png");
    EXPECT_EQ(ResultRows::note(rows[1], Screen::ocr), kNoText);
    EXPECT_FALSE(rows[1].saved);
    EXPECT_FALSE(fs::exists(dir / "broken-searchable.pdf"));
    EXPECT_EQ(rows[2].saved, dir / "three-searchable.pdf");
    EXPECT_NE(rows[0].id, rows[2].id);

    const auto at = std::chrono::sys_seconds{std::chrono::seconds{1'700'000'000}};
    const auto entries = OW::historyEntries(rows, [at] { return at; });
    ASSERT_EQ(entries.size(), 3U);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].mode, "OCR");
        EXPECT_EQ(entries[i].input, rows[i].name);
        EXPECT_EQ(entries[i].note, ResultRows::note(rows[i], Screen::ocr));
        EXPECT_EQ(entries[i].date, at);
        EXPECT_FALSE(entries[i].before);
        EXPECT_FALSE(entries[i].after);
    }
    EXPECT_EQ(entries[0].outputPath, (dir / "one-searchable.pdf").string());
    EXPECT_FALSE(entries[1].outputPath);
}

TEST(OCRBatch, FailedWriteIsNotedAndItsNameStaysUsed) {
    Synth::TempDir dir;
    writeText(dir / "scan.jpg", "jpg");
    writeText(dir / "scan.png", "png");
    // A folder holding the first output's name: the rename onto it fails, whoever runs this.
    writeText(dir / "scan-searchable.pdf" / "keep.txt", "keep");
    const auto rows = OW::runBatch({dir / "scan.jpg", dir / "scan.png"}, fakeHooks());
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_TRUE(startsWith(ResultRows::note(rows[0], Screen::ocr), "Couldn't save: "))
        << ResultRows::note(rows[0], Screen::ocr);
    EXPECT_GT(ResultRows::note(rows[0], Screen::ocr).size(),
              std::string_view("Couldn't save: ").size());
    EXPECT_FALSE(rows[0].saved);
    EXPECT_EQ(rows[1].saved, dir / "scan-searchable 2.pdf");
    EXPECT_EQ(readText(dir / "scan-searchable.pdf" / "keep.txt"), "keep");
    EXPECT_FALSE(leftTemporaryFiles(dir.path()));
}

TEST(OCRBatch, ReadOnlyFolderGivesCouldntSave) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    Synth::TempDir dir;
    writeText(dir / "locked" / "scan.png", "png");
    fs::permissions(dir / "locked", fs::perms::owner_write, fs::perm_options::remove);
    const auto rows = OW::runBatch({dir / "locked" / "scan.png"}, fakeHooks());
    fs::permissions(dir / "locked", fs::perms::owner_write, fs::perm_options::add);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(ResultRows::note(rows[0], Screen::ocr), "Couldn't save: Permission denied");
    EXPECT_FALSE(rows[0].saved);
    EXPECT_FALSE(leftTemporaryFiles(dir.path()));
}

TEST(OCRBatch, StopEndsTheBatchAfterTheFileInProgress) {
    Synth::TempDir dir;
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        writeText(dir / name, name);
    }
    const std::vector<fs::path> queue = {dir / "a.png", dir / "b.png", dir / "c.png"};

    // Requested between files: the finished row stands, nothing else runs.
    std::stop_source between;
    OW::BatchHooks hooks = fakeHooks();
    hooks.stop = between.get_token();
    hooks.rowDone = [&](const ResultRow&) { between.request_stop(); };
    const auto rows = OW::runBatch(queue, hooks);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_TRUE(rows[0].saved);
    EXPECT_FALSE(fs::exists(dir / "b-searchable.pdf"));

    // Requested while the second file is built, which the builder abandons: no row for it.
    std::stop_source during;
    int built = 0;
    hooks.stop = during.get_token();
    hooks.rowDone = nullptr;
    hooks.builder = [&](const fs::path& source, std::span<TextRecognizer> recognizers,
                        std::stop_token stop) -> std::optional<Bytes> {
        if (++built == 2) {
            during.request_stop();
            return std::nullopt;
        }
        return fakeBuilder()(source, recognizers, stop);
    };
    const auto abandoned = OW::runBatch(queue, hooks);
    ASSERT_EQ(abandoned.size(), 1U);
    EXPECT_EQ(built, 2);
    EXPECT_FALSE(fs::exists(dir / "b-searchable.pdf"));
    EXPECT_FALSE(leftTemporaryFiles(dir.path()));
}

TEST(OCREngineBuild, NothingForWhatIsNotARegularFileOrDoesNotDecode) {
    Synth::TempDir dir;
    fs::create_directory(dir / "folder.png");
    writeText(dir / "broken.png", kBroken);
    writeText(dir / "broken.PDF", kBroken);
    // No language: nothing to load, and nothing gets as far as recognition anyway.
    std::vector<TextRecognizer> idle;
    idle.emplace_back(std::vector<std::string>{});
    for (const fs::path& source :
         {dir / "folder.png", dir / "missing.jpg", dir / "broken.png", dir / "broken.PDF"}) {
        EXPECT_FALSE(OW::engineBuild(source, idle, {})) << source;
    }
}

// The words of a page's text-showing operators, as a reader's text extraction sees them
// for Helvetica text.
std::string shownText(const Bytes& pdfBytes) {
    struct Collector : QPDFObjectHandle::ParserCallbacks {
        std::string text;
        void handleObject(QPDFObjectHandle object) override {
            if (object.isString()) {
                text += object.getStringValue() + " ";
            }
        }
        void handleEOF() override {}
    } collector;
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processMemoryFile("out", reinterpret_cast<const char*>(pdfBytes.data()), pdfBytes.size());
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        page.parseContents(&collector);
    }
    return collector.text;
}

// A few lines of printed text, cropped from a rendered page: small enough for a fast test.
Image printedLines() {
    const auto document = PdfDocument::openBytes(SynthPdf::textPages(1, "Quick brown foxes"));
    const auto page = document ? document->renderPage(0, 1224, 1584) : std::nullopt;
    if (!page) {
        return {};
    }
    Image crop{360, 88, page->channels, 1, {}};
    for (int row = 0; row < crop.heightPixels; ++row) {
        const auto from = page->pixels.begin() + static_cast<std::ptrdiff_t>(
                                                     (100 + row) * page->bytesPerRow() +
                                                     100 * static_cast<std::size_t>(crop.channels));
        crop.pixels.insert(crop.pixels.end(), from,
                           from + static_cast<std::ptrdiff_t>(crop.bytesPerRow()));
    }
    return crop;
}

TEST(OCRBatchEndToEnd, ImageAndPdfBecomeSearchable) {
    Synth::TempDir dir;
    const Image lines = printedLines();
    ASSERT_GT(lines.widthPixels, 0);
    Synth::save(lines, dir / "note.png");
    const auto first = OW::runBatch({dir / "note.png"});
    ASSERT_EQ(first.size(), 1U);
    ASSERT_EQ(first[0].saved, dir / "note-searchable.pdf")
        << ResultRows::note(first[0], Screen::ocr);
    const Bytes imagePdf = Synth::readFile(dir / "note-searchable.pdf");
    EXPECT_NE(shownText(imagePdf).find("brown"), std::string::npos) << shownText(imagePdf);

    // The output, queued again as a PDF, is rendered at twice its size in points.
    fs::rename(dir / "note-searchable.pdf", dir / "again.PDF");
    const auto second = OW::runBatch({dir / "again.PDF"});
    ASSERT_EQ(second.size(), 1U);
    ASSERT_EQ(second[0].saved, dir / "again-searchable.pdf")
        << ResultRows::note(second[0], Screen::ocr);
    const auto rebuilt = PdfDocument::openFile(dir / "again-searchable.pdf");
    ASSERT_TRUE(rebuilt);
    ASSERT_EQ(rebuilt->pageCount(), 1);
    const auto box = rebuilt->mediaBox(0);
    ASSERT_TRUE(box);
    EXPECT_DOUBLE_EQ(box->widthPoints, 2.0 * lines.widthPixels);
    EXPECT_DOUBLE_EQ(box->heightPoints, 2.0 * lines.heightPixels);
    EXPECT_NE(shownText(Synth::readFile(dir / "again-searchable.pdf")).find("brown"),
              std::string::npos);
    EXPECT_FALSE(leftTemporaryFiles(dir.path()));
}

} // namespace
