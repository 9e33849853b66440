// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ImageCodec.h"
#include "Platform/PdfDocument.h"
#include "Workflows/CompressWorkflow.h"
#include "Workflows/TargetChoice.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
namespace CW = CompressWorkflow;
constexpr std::string_view kAlreadyOptimized = "Already optimized \u2014 left as is";
constexpr std::string_view kCopiedAlreadySmall = "Copied \u2014 already small";
constexpr std::string_view kCopiedCouldntCompress = "Copied \u2014 couldn't compress";
constexpr std::string_view kCouldntProcess = "Couldn't process";

namespace {

// A compressor whose answer the test picks: `size` bytes, or nothing.
CW::BatchHooks answering(std::optional<std::int64_t> size) {
    CW::BatchHooks hooks;
    hooks.compressor = [size](const fs::path&, SizeTarget) -> std::optional<Bytes> {
        if (!size) {
            return std::nullopt;
        }
        return Bytes(static_cast<std::size_t>(*size), 0xAB);
    };
    return hooks;
}

void writeBytes(const fs::path& path, std::size_t count) {
    fs::create_directories(path.parent_path());
    Synth::writeFile(path, Bytes(count, 0x11));
}

bool leftTemporaryFiles(const fs::path& root) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().find(".parvo-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::vector<CW::Job> folderJobs(const fs::path& folder) {
    return CW::jobs(folder, CW::acceptedExtensions());
}

TEST(CompressJobs, DroppedFileGetsOneJobBesideIt) {
    struct Case {
        const char* dropped;
        const char* dst; // empty: not accepted
    };
    const Case cases[] = {{"/a/x.PNG", "/a/x-small.jpg"},
                          {"/a/Photo.HEIC", "/a/Photo-small.jpg"},
                          {"/a/doc.Pdf", "/a/doc-small.pdf"},
                          {"/a/v1.2.jpeg", "/a/v1.2-small.jpg"},
                          {"/a/x-small.jpg", "/a/x-small-small.jpg"},
                          {"/a/scan.tif", ""},
                          {"/a/notes", ""},
                          {"/a/.png", ""}};
    for (const Case& c : cases) {
        const auto jobs = CW::jobs(c.dropped, CW::acceptedExtensions());
        if (*c.dst == '\0') {
            EXPECT_TRUE(jobs.empty()) << c.dropped;
            continue;
        }
        ASSERT_EQ(jobs.size(), 1U) << c.dropped;
        EXPECT_EQ(jobs[0].src, c.dropped);
        EXPECT_EQ(jobs[0].dst, c.dst);
        EXPECT_FALSE(jobs[0].copyDst);
    }
}

TEST(CompressJobs, DroppedFolderIsMirroredBesideIt) {
    Synth::TempDir dir;
    const fs::path trip = dir / "Trip";
    writeBytes(trip / "day1" / "IMG_1.png", 10);
    writeBytes(trip / "a.pdf", 10);
    writeBytes(trip / "notes.txt", 10);
    const auto jobs = folderJobs(trip);
    const fs::path mirror = dir / "Trip \u2014 Parvo";
    ASSERT_EQ(jobs.size(), 2U);
    EXPECT_EQ(jobs[0].dst, mirror / "a-small.pdf");
    EXPECT_EQ(jobs[0].copyDst, mirror / "a.pdf");
    EXPECT_EQ(jobs[1].dst, mirror / "day1" / "IMG_1-small.jpg");
    EXPECT_EQ(jobs[1].copyDst, mirror / "day1" / "IMG_1.png");
    EXPECT_FALSE(fs::exists(mirror)) << "making jobs creates nothing";

    writeBytes(dir / "Empty" / "only.txt", 3);
    EXPECT_TRUE(folderJobs(dir / "Empty").empty());
}

TEST(CompressQueue, EachSourceIsQueuedOnce) {
    const auto job = [](const char* src) {
        return CW::Job{.src = src, .dst = "/o", .copyDst = {}};
    };
    std::vector<CW::Job> queue;
    CW::appendUnlessQueued(queue, {job("/a/1.png"), job("/a/2.png"), job("/a/1.png")});
    CW::appendUnlessQueued(queue, {job("/a/3.png"), job("/a/2.png")});
    ASSERT_EQ(queue.size(), 3U);
    EXPECT_EQ(queue[0].src, "/a/1.png");
    EXPECT_EQ(queue[1].src, "/a/2.png");
    EXPECT_EQ(queue[2].src, "/a/3.png");
    EXPECT_EQ(job("/a/1.png"), job("/a/1.png")) << "equal by source, whatever the ids";
}

// Every row of the outcome table, for a source of 1,000 bytes.
TEST(CompressBatch, OutcomeTable) {
    enum class Written { output, copy, nothing };
    struct Case {
        bool fromFolder;
        std::optional<std::int64_t> result;
        Written written;
        std::int64_t after;
        std::optional<std::string_view> note;
    };
    const Case cases[] = {
        {false, 400, Written::output, 400, std::nullopt},
        {false, 1000, Written::nothing, 1000, kAlreadyOptimized},
        {false, 5000, Written::nothing, 1000, kAlreadyOptimized},
        {false, std::nullopt, Written::nothing, 1000, kCouldntProcess},
        {true, 999, Written::output, 999, std::nullopt},
        {true, 1000, Written::copy, 1000, kCopiedAlreadySmall},
        {true, std::nullopt, Written::copy, 1000, kCopiedCouldntCompress},
    };
    for (const Case& c : cases) {
        Synth::TempDir dir;
        const fs::path src = dir / "in" / "photo.png";
        writeBytes(src, 1000);
        const auto jobs =
            c.fromFolder ? folderJobs(dir / "in") : CW::jobs(src, CW::acceptedExtensions());
        ASSERT_EQ(jobs.size(), 1U);
        const auto rows = CW::runBatch(jobs, SizeTarget::web(), answering(c.result));
        ASSERT_EQ(rows.size(), 1U);
        const CW::Outcome& row = rows[0];
        const std::string label = std::string(c.fromFolder ? "folder " : "file ") +
                                  (c.result ? std::to_string(*c.result) : "nothing");
        EXPECT_EQ(row.name, "photo.png") << label;
        EXPECT_EQ(row.before, 1000) << label;
        EXPECT_EQ(row.after, c.after) << label;
        EXPECT_EQ(CW::note(row), c.note ? std::optional<std::string>(*c.note) : std::nullopt)
            << label;
        switch (c.written) {
        case Written::output:
            ASSERT_EQ(row.saved, jobs[0].dst) << label;
            EXPECT_EQ(fs::file_size(*row.saved), static_cast<std::uintmax_t>(c.after)) << label;
            break;
        case Written::copy:
            ASSERT_EQ(row.saved, jobs[0].copyDst) << label;
            EXPECT_EQ(Synth::readFile(*row.saved), Synth::readFile(src)) << label;
            break;
        case Written::nothing:
            EXPECT_FALSE(row.saved) << label;
            EXPECT_FALSE(fs::exists(jobs[0].dst)) << label;
            break;
        }
        EXPECT_EQ(fs::file_size(src), 1000U) << "the source is untouched: " << label;
    }
}

TEST(CompressBatch, EmptySourceIsNeverWrittenWhateverTheCompressorSays) {
    Synth::TempDir dir;
    writeBytes(dir / "empty.png", 0);
    const auto jobs = CW::jobs(dir / "empty.png", CW::acceptedExtensions());
    EXPECT_EQ(CW::note(CW::runBatch(jobs, SizeTarget::web(), answering(0))[0]), kAlreadyOptimized);
    const auto real = CW::runBatch(jobs, SizeTarget::web());
    EXPECT_EQ(CW::note(real[0]), kCouldntProcess);
    EXPECT_EQ(real[0].before, 0);
    EXPECT_FALSE(fs::exists(jobs[0].dst));
}

TEST(CompressBatch, FailedWritesAreNotedAndTheBatchGoesOn) {
    Synth::TempDir dir;
    writeBytes(dir / "Trip" / "a.png", 1000);
    writeBytes(dir / "Trip" / "b.png", 1000);
    writeBytes(dir / "single.png", 1000);
    std::vector<CW::Job> jobs = folderJobs(dir / "Trip");
    CW::appendUnlessQueued(jobs, CW::jobs(dir / "single.png", CW::acceptedExtensions()));
    // A file where the mirror folder should be: no output or copy can go inside it.
    writeBytes(dir / "Trip \u2014 Parvo", 5);

    const auto written = CW::runBatch(jobs, SizeTarget::web(), answering(10));
    ASSERT_EQ(written.size(), 3U);
    EXPECT_EQ(CW::note(written[0]), "Couldn't save: Not a directory");
    EXPECT_EQ(written[0].after, 10);
    EXPECT_FALSE(written[0].saved);
    EXPECT_EQ(CW::note(written[1]), "Couldn't save: Not a directory");
    EXPECT_EQ(written[2].saved, dir / "single-small.jpg");

    const auto copied = CW::runBatch(jobs, SizeTarget::web(), answering(std::nullopt));
    EXPECT_EQ(CW::note(copied[0]), "Couldn't copy: Not a directory");
    EXPECT_EQ(copied[0].after, 1000);
    EXPECT_FALSE(leftTemporaryFiles(dir.path()));
}

TEST(CompressBatch, OutputNameTakenByAFolderIsNotedWithoutTouchingIt) {
    Synth::TempDir dir;
    writeBytes(dir / "x.png", 1000);
    writeBytes(dir / "x-small.jpg" / "keep.txt", 3);
    const auto rows = CW::runBatch(CW::jobs(dir / "x.png", CW::acceptedExtensions()),
                                   SizeTarget::web(), answering(10));
    ASSERT_EQ(rows.size(), 1U);
    ASSERT_TRUE(CW::note(rows[0]));
    EXPECT_EQ(CW::note(rows[0])->rfind("Couldn't save: ", 0), 0U) << *CW::note(rows[0]);
    EXPECT_TRUE(fs::exists(dir / "x-small.jpg" / "keep.txt"));
    EXPECT_FALSE(leftTemporaryFiles(dir.path()));
}

TEST(CompressBatch, VanishedSourceIsReportedNotCrashedOn) {
    Synth::TempDir dir;
    writeBytes(dir / "gone.png", 1000);
    writeBytes(dir / "Trip" / "gone.jpg", 1000);
    std::vector<CW::Job> jobs = CW::jobs(dir / "gone.png", CW::acceptedExtensions());
    CW::appendUnlessQueued(jobs, folderJobs(dir / "Trip"));
    fs::remove(dir / "gone.png");
    fs::remove(dir / "Trip" / "gone.jpg");
    const auto rows = CW::runBatch(jobs, SizeTarget::web());
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(CW::note(rows[0]), kCouldntProcess);
    EXPECT_EQ(rows[0].before, 0);
    EXPECT_EQ(CW::note(rows[1]), "Couldn't copy: No such file or directory");
    EXPECT_FALSE(rows[1].saved);
}

// Real engine from here on: tiny generated images keep it fast.
TEST(CompressBatch, CollidingOutputsAreNumberedAndARerunReplacesThem) {
    Synth::TempDir dir;
    fs::create_directory(dir / "Trip");
    Synth::save(Synth::photoLike(96, 64, 1), dir / "Trip" / "x.png");
    Synth::save(Synth::photoLike(96, 64, 2), dir / "Trip" / "x.gif");
    const auto jobs = folderJobs(dir / "Trip");
    const fs::path mirror = dir / "Trip — Parvo";
    for (int run = 0; run < 2; ++run) {
        const auto rows = CW::runBatch(jobs, SizeTarget::custom(1024));
        ASSERT_EQ(rows.size(), 2U);
        EXPECT_EQ(rows[0].name, "x.gif"); // "x.gif" < "x.png"
        EXPECT_EQ(rows[0].saved, mirror / "x-small.jpg");
        EXPECT_EQ(rows[1].saved, mirror / "x-small 2.jpg");
        for (const CW::Outcome& row : rows) {
            ASSERT_TRUE(row.saved) << row.name;
            EXPECT_FALSE(CW::note(row)) << *CW::note(row);
            EXPECT_EQ(fs::file_size(*row.saved), static_cast<std::uintmax_t>(row.after));
            EXPECT_TRUE(ImageCodec::decodeFile(*row.saved)) << row.saved->string();
        }
    }
    std::size_t outputs = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(mirror)) {
        ++outputs;
    }
    EXPECT_EQ(outputs, 2U) << "a rerun replaces its outputs instead of numbering further";
}

TEST(CompressBatch, NoOutputReplacesASourceOfTheSameBatch) {
    Synth::TempDir dir;
    Synth::save(Synth::photoLike(96, 64, 3), dir / "x.png");
    Synth::save(Synth::photoLike(96, 64, 4), dir / "x-small.jpg");
    const Bytes dropped = Synth::readFile(dir / "x-small.jpg");
    std::vector<CW::Job> jobs = CW::jobs(dir / "x.png", CW::acceptedExtensions());
    CW::appendUnlessQueued(jobs, CW::jobs(dir / "x-small.jpg", CW::acceptedExtensions()));
    const auto rows = CW::runBatch(jobs, SizeTarget::custom(1024));
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[0].saved, dir / "x-small 2.jpg");
    EXPECT_EQ(rows[1].saved, dir / "x-small-small.jpg");
    EXPECT_EQ(Synth::readFile(dir / "x-small.jpg"), dropped);
}

TEST(CompressBatch, PdfsGoThroughThePdfCompressor) {
    Synth::TempDir dir;
    Synth::writeFile(dir / "scan.PDF", SynthPdf::photoPages({{200, 150}}, 0.95));
    const auto jobs = CW::jobs(dir / "scan.PDF", CW::acceptedExtensions());
    const auto rows = CW::runBatch(jobs, SizeTarget::custom(1024));
    ASSERT_EQ(rows.size(), 1U);
    ASSERT_EQ(rows[0].saved, dir / "scan-small.pdf");
    EXPECT_LT(rows[0].after, rows[0].before);
    const auto rebuilt = PdfDocument::openFile(*rows[0].saved);
    ASSERT_TRUE(rebuilt);
    EXPECT_EQ(rebuilt->pageCount(), 1);
    // A PDF that fits already comes back unchanged, which is not smaller.
    const auto fits = CW::runBatch(jobs, SizeTarget::email());
    EXPECT_EQ(CW::note(fits[0]), kAlreadyOptimized);
}

TEST(CompressBatch, StopsAfterTheFileInProgress) {
    Synth::TempDir dir;
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        writeBytes(dir / "Trip" / name, 1000);
    }
    std::stop_source stop;
    CW::BatchHooks hooks = answering(10);
    int reported = 0;
    hooks.stop = stop.get_token();
    hooks.rowDone = [&](const CW::Outcome&) {
        ++reported;
        stop.request_stop();
    };
    const auto rows = CW::runBatch(folderJobs(dir / "Trip"), SizeTarget::web(), hooks);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(reported, 1);
    EXPECT_TRUE(rows[0].saved);
    EXPECT_FALSE(leftTemporaryFiles(dir.path()));
}

TEST(CompressOutcome, PercentSaved) {
    struct Case {
        std::int64_t before;
        std::int64_t after;
        std::int64_t pct;
    };
    const Case cases[] = {
        {1000, 333, 66},         {1000, 0, 100}, {1000, 1000, 0}, {1000, 999, 0},
        {100, 150, 0},           {0, 0, 0},      {0, 50, 0},      {1, 9'000'000'000'000'000'000, 0},
        {2'400'000, 800'000, 66}};
    for (const Case& c : cases) {
        EXPECT_EQ(CW::pct(CW::Outcome{.before = c.before, .after = c.after}), c.pct)
            << c.before << " -> " << c.after;
    }
}

TEST(CompressOutcome, RowTextIsTheSizeChangeOrTheNote) {
    CW::Outcome row{.name = "a.png", .before = 2'400'000, .after = 800'000};
    EXPECT_EQ(CW::resultText(row), "2.4 MB \u2192 800 KB  (\u221266%)");
    row.outcome = FileOutcome::copiedAlreadySmall;
    EXPECT_EQ(CW::resultText(row), "Copied \u2014 already small");
}

// A smaller result that misses its target is written all the same, and says so.
TEST(CompressOutcome, AResultAboveItsTargetIsWrittenAndSaysSo) {
    Synth::TempDir dir;
    writeBytes(dir / "a.pdf", 3000);
    CW::Job job;
    job.src = dir / "a.pdf";
    job.dst = dir / "a-small.pdf";
    FolderScan::UsedNames used;
    const CW::Outcome row = CW::rowFor(job, CW::target(CW::TargetChoice::small),
                                       {Bytes(2000, '%'), {}, 0, false, {}}, used);
    EXPECT_EQ(row.saved, dir / "a-small.pdf");
    EXPECT_EQ(CW::resultText(row), "3 KB \u2192 2 KB  (\u221233%) \u00B7 above the 2 MB target");
    const auto entries = CW::historyEntries({row}, UtcDate::systemClock());
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_EQ(entries[0].note, "above the 2 MB target");
}

TEST(CompressHistory, EveryRowButCouldntProcessBecomesAnEntry) {
    const auto at = std::chrono::sys_seconds{std::chrono::seconds{1'700'000'000}};
    const UtcDate::Clock clock = [at] { return at + std::chrono::milliseconds(700); };
    std::vector<CW::Outcome> rows(4);
    rows[0] = {.name = "a.png", .before = 1000, .after = 400, .saved = "/x/a-small.jpg"};
    rows[1] = {.name = "b.png", .before = 1000, .after = 1000, .outcome = FileOutcome::failed};
    rows[2] = {
        .name = "c.png", .before = 1000, .after = 1000, .outcome = FileOutcome::alreadyOptimized};
    rows[3] = {.name = "d.png",
               .before = 1000,
               .after = 10,
               .outcome = FileOutcome::couldntSave,
               .cause = {std::make_error_code(std::errc::no_space_on_device), "Disk full", {}}};
    const auto entries = CW::historyEntries(rows, clock);
    ASSERT_EQ(entries.size(), 3U);
    EXPECT_EQ(entries[0].input, "a.png");
    EXPECT_EQ(entries[0].outputPath, "/x/a-small.jpg");
    EXPECT_EQ(entries[0].before, 1000);
    EXPECT_EQ(entries[0].after, 400);
    EXPECT_FALSE(entries[0].note);
    EXPECT_EQ(entries[1].input, "c.png");
    EXPECT_EQ(entries[1].note, std::string(kAlreadyOptimized));
    EXPECT_FALSE(entries[1].outputPath);
    EXPECT_EQ(entries[2].note, "Couldn't save: Disk full");
    for (const HistoryEntry& entry : entries) {
        EXPECT_EQ(entry.mode, "Compress");
        EXPECT_EQ(entry.date, at);
    }
    EXPECT_NE(entries[0].id, entries[1].id);
    EXPECT_TRUE(CW::historyEntries({rows[1]}, clock).empty());
}

} // namespace
