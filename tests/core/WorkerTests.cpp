// SPDX-License-Identifier: GPL-3.0-or-later
// One engine worker: the channel's framing, every request answered with the in-process
// engine's bytes, and the sandbox and containment of a real parvo-worker.
#include "Engine/PDFOps.h"
#include "Platform/Sandbox.h"
#include "Platform/TextRecognizer.h"
#include "Platform/WorkerChannel.h"
#include "Platform/WorkerProcess.h"
#include "Workflows/CompressWorkflow.h"
#include "Workflows/OCRWorkflow.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"
#include "support/TextPages.h"
#include "support/WorkerProgram.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <vips/vips8>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Pair {
    WorkerChannel left;
    WorkerChannel right;
};

Pair connectedPair() {
    int ends[2] = {-1, -1};
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    return {WorkerChannel(UniqueFd(ends[0])), WorkerChannel(UniqueFd(ends[1]))};
}

Bytes counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

UniqueFd openSource(const fs::path& path) {
    return UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

TEST(WorkerChannel, CarriesHeadersBlobsAndDescriptorsWhateverTheirSize) {
    Pair pair = connectedPair();
    const std::vector<Bytes> blobs = {{}, counting(3), counting(5 << 20)};
    const Bytes inFile = counting(100'000);
    WorkerMessage sent{{{"type", "x"}, {"text", "ñ€"}, {"n", 7}}, blobs, {}};
    sent.fds.push_back(memfdWithBytes(inFile));
    sent.fds.push_back(memfdWithBytes({}));
    // Megabytes do not fit the socket's buffer: the writer waits for the reader.
    std::thread writer([&] { EXPECT_TRUE(pair.left.send(sent)); });
    auto got = pair.right.receive();
    writer.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->header["type"], "x");
    EXPECT_EQ(got->header["text"], "ñ€");
    EXPECT_EQ(got->header["n"], 7);
    EXPECT_EQ(got->blobs, blobs);
    ASSERT_EQ(got->fds.size(), 2u);
    EXPECT_EQ(readAllFrom(got->fds[0].get()), inFile);
    EXPECT_EQ(readAllFrom(got->fds[1].get()), Bytes{});
    // The result file cannot be changed by whoever holds it.
    EXPECT_LT(::write(got->fds[0].get(), "x", 1), 0);
    // A second frame right behind the first keeps its own descriptors.
    ASSERT_TRUE(pair.left.send({{{"type", "a"}}, {}, {}}));
    WorkerMessage withFd{{{"type", "b"}}, {}, {}};
    withFd.fds.push_back(memfdWithBytes(counting(10)));
    ASSERT_TRUE(pair.left.send(withFd));
    EXPECT_TRUE(pair.right.receive()->fds.empty());
    EXPECT_EQ(readAllFrom(pair.right.receive()->fds.at(0).get()), counting(10));
}

TEST(WorkerChannel, MalformedFramesAndAVanishedPeerEndTheChannel) {
    const auto frame = [](const std::string& header, std::size_t cutBytes = 0) {
        std::string text;
        for (int i = 0; i < 4; ++i)
            text += static_cast<char>(header.size() >> (8 * i) & 0xFF);
        text += header.substr(0, header.size() - cutBytes);
        return Bytes(text.begin(), text.end());
    };
    const Bytes hugeLength = {0x00, 0x00, 0x20, 0x00};
    const std::vector<Bytes> malformed = {
        {},
        {0x05, 0x00},
        {0x00, 0x00, 0x00, 0x00},
        hugeLength,
        frame("not json"),
        frame("[\"type\"]"),
        frame("{\"type\":3}"),
        frame("{\"kind\":\"pdf\"}"),
        frame("{\"type\":\"x\",\"blobSizes\":[-1]}"),
        frame("{\"type\":\"x\",\"blobSizes\":[67108865]}"),
        frame("{\"type\":\"x\",\"blobSizes\":[1.5]}"),
        frame("{\"type\":\"x\",\"blobSizes\":[10]}"), // the blob never comes
        frame("{\"type\":\"x\"}", 1),
    };
    for (std::size_t i = 0; i < malformed.size(); ++i) {
        int ends[2] = {-1, -1};
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        WorkerChannel reader{UniqueFd(ends[0])};
        ASSERT_EQ(::write(ends[1], malformed[i].data(), malformed[i].size()),
                  static_cast<ssize_t>(malformed[i].size()));
        ::close(ends[1]);
        EXPECT_FALSE(reader.receive()) << "case " << i;
    }
    Pair pair = connectedPair();
    { WorkerChannel gone = std::move(pair.right); }
    // No SIGPIPE: this process would end here.
    EXPECT_FALSE(pair.left.send({{{"type", "x"}}, {counting(1 << 20)}, {}}));
    EXPECT_FALSE(pair.left.send({{{"type", "x"}}, {Bytes(WorkerChannel::kMaxBlobBytes + 1)}, {}}));
}

// --- requests ------------------------------------------------------------------------------

struct Answer {
    std::vector<json> progress;
    std::vector<Bytes> chunks; // split
    std::optional<json> last;  // result, failure or done
    std::optional<Bytes> bytes;
};

Bytes bytesOf(WorkerMessage& message) {
    EXPECT_EQ(message.fds.size(), 1u);
    return message.fds.empty() ? Bytes{} : readAllFrom(message.fds[0].get()).value_or(Bytes{});
}

Answer ask(WorkerProcess& worker, json header, const std::vector<fs::path>& sources) {
    WorkerMessage request{std::move(header), {}, {}};
    for (const fs::path& source : sources)
        request.fds.push_back(openSource(source));
    EXPECT_TRUE(worker.channel().send(request));
    Answer answer;
    while (auto reply = worker.channel().receive()) {
        EXPECT_EQ(reply->header["id"], request.header["id"]);
        const std::string type = reply->header["type"];
        if (type == "progress") {
            answer.progress.push_back(reply->header);
        } else if (type == "chunk") {
            answer.chunks.push_back(bytesOf(*reply));
            worker.channel().send({{{"type", "continue"}, {"id", request.header["id"]}}, {}, {}});
        } else {
            if (!reply->fds.empty())
                answer.bytes = bytesOf(*reply);
            answer.last = reply->header;
            break;
        }
    }
    return answer;
}

WorkerProcess startWorker(std::uint64_t addressSpaceBytes = 0) {
    auto worker = WorkerProcess::start({workerProgram(), addressSpaceBytes, true});
    if (!worker)
        throw std::runtime_error("parvo-worker did not start");
    return std::move(*worker);
}

// Pages stacked into one multi-page TIFF.
void saveTiffPages(const std::vector<Image>& pages, const fs::path& path) {
    std::vector<vips::VImage> stack;
    for (const Image& page : pages)
        stack.push_back(vips::VImage::new_from_memory(
                            const_cast<std::uint8_t*>(page.pixels.data()), page.pixels.size(),
                            page.widthPixels, page.heightPixels, page.channels, VIPS_FORMAT_UCHAR)
                            .copy_memory());
    vips::VImage joined = vips::VImage::arrayjoin(stack, vips::VImage::option()->set("across", 1));
    joined = joined.copy();
    joined.set(VIPS_META_PAGE_HEIGHT, pages.front().heightPixels);
    joined.write_to_file(path.c_str());
}

class WorkerRequests : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new Synth::TempDir();
        Synth::save(Synth::photoLike(640, 480, 3), *s_dir / "photo.png");
        Synth::writeFile(*s_dir / "photo.jpg", Synth::jpegBytes(Synth::photoLike(500, 300, 4)));
        Synth::writeFile(*s_dir / "scans.pdf", SynthPdf::photoPages({{}, {300, 400}, {}}));
        const TextPages::Page page{300, 120, {{"Worker pages read", 20, 60, 16}}};
        Synth::writeFile(*s_dir / "text.pdf", TextPages::pdf({page, page}));
        saveTiffPages({TextPages::image(page), TextPages::image(page)}, *s_dir / "pages.tif");
        Synth::writeFile(*s_dir / "notes.pdf", Bytes{'n', 'o'});
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static fs::path at(const char* name) { return *s_dir / name; }
    inline static Synth::TempDir* s_dir = nullptr;
};

std::optional<Bytes> written(const std::optional<PdfDocument>& document) {
    return document ? document->writeBytes() : std::nullopt;
}

TEST_F(WorkerRequests, EveryRequestGivesTheInProcessEnginesBytes) {
    std::vector<TextRecognizer> recognizers = OCRWorkflow::engineRecognizers(1);
    const auto compressed = [&](const char* name, std::int64_t target) {
        return CompressWorkflow::engineCompress(at(name), SizeTarget::custom(target));
    };
    const auto searchable = [&](const char* name) {
        return OCRWorkflow::engineBuild(at(name), recognizers, {});
    };
    const auto scans = PdfDocument::openFile(at("scans.pdf")).value();
    struct Case {
        json request;
        std::vector<fs::path> sources;
        std::optional<Bytes> expected;
        int progressCount = 0; // the page count progress reaches; 0: no progress
    };
    const std::vector<Case> cases = {
        {{{"type", "compress"}, {"kind", "pdf"}, {"target", 60'000}, {"threads", 2}},
         {at("scans.pdf")},
         compressed("scans.pdf", 60'000),
         3},
        {{{"type", "compress"}, {"kind", "pdf"}, {"target", 10 << 20}, {"threads", 1}},
         {at("scans.pdf")},
         compressed("scans.pdf", 10 << 20)},
        {{{"type", "compress"}, {"kind", "image"}, {"target", 20'000}, {"threads", 2}},
         {at("photo.png")},
         compressed("photo.png", 20'000)},
        {{{"type", "compress"}, {"kind", "image"}, {"target", 20'000}, {"threads", 1}},
         {at("notes.pdf")},
         std::nullopt},
        {{{"type", "ocr"}, {"kind", "pdf"}, {"threads", 2}},
         {at("text.pdf")},
         searchable("text.pdf"),
         2},
        {{{"type", "ocr"}, {"kind", "image"}, {"threads", 1}},
         {at("pages.tif")},
         searchable("pages.tif"),
         2},
        {{{"type", "ocr"}, {"kind", "image"}, {"threads", 3}},
         {at("photo.jpg")},
         searchable("photo.jpg"),
         1},
        {{{"type", "merge"}},
         {at("scans.pdf"), at("notes.pdf"), at("text.pdf")},
         written(PDFOps::merge({at("scans.pdf"), at("notes.pdf"), at("text.pdf")})),
         3},
        {{{"type", "merge"}}, {at("notes.pdf")}, std::nullopt, 1},
        {{{"type", "extract"}, {"lower", 2}, {"upper", 9}},
         {at("scans.pdf")},
         written(PDFOps::extract(scans, {2, 9}))},
        {{{"type", "extract"}, {"lower", 5}, {"upper", 9}}, {at("scans.pdf")}, std::nullopt},
        {{{"type", "ocr"}, {"kind", "tiff"}}, {at("pages.tif")}, std::nullopt},
        {{{"type", "unknown"}}, {}, std::nullopt},
    };
    WorkerProcess worker = startWorker();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        json request = cases[i].request;
        request["id"] = static_cast<int>(i);
        const Answer answer = ask(worker, request, cases[i].sources);
        ASSERT_TRUE(answer.last) << request;
        EXPECT_EQ(answer.last->value("type", ""), cases[i].expected ? "result" : "failure")
            << request;
        EXPECT_EQ(answer.bytes, cases[i].expected) << request;
        for (std::size_t p = 0; p < answer.progress.size(); ++p) {
            EXPECT_EQ(answer.progress[p]["done"], static_cast<int>(p) + 1) << request;
            EXPECT_EQ(answer.progress[p]["count"], cases[i].progressCount) << request;
        }
        EXPECT_EQ(answer.progress.size(), static_cast<std::size_t>(cases[i].progressCount))
            << request;
    }
    // Told to quit, it ends cleanly (in a sanitizer build: with no report).
    EXPECT_TRUE(worker.quit(std::chrono::seconds(30)));
    EXPECT_EQ(worker.exitDescription(), "exited with status 0");
}

TEST_F(WorkerRequests, PdfToolsAnswerPageCountsChunkByChunkAndWhyTheyFailed) {
    const auto scans = PdfDocument::openFile(at("scans.pdf")).value();
    std::vector<Bytes> chunks;
    for (const PdfDocument& chunk : PDFOps::split(scans, 2))
        chunks.push_back(chunk.writeBytes().value());
    WorkerProcess worker = startWorker();
    const auto split = ask(worker, {{"type", "split"}, {"id", 1}, {"every", 2}}, {at("scans.pdf")});
    EXPECT_EQ(split.chunks, chunks);
    EXPECT_EQ(split.last->value("type", ""), "done");
    const auto opened = ask(worker, {{"type", "open"}, {"id", 2}}, {at("text.pdf")});
    EXPECT_EQ(opened.last->value("pages", 0), 2);
    const auto merged =
        ask(worker, {{"type", "merge"}, {"id", 3}}, {at("text.pdf"), at("text.pdf")});
    EXPECT_EQ(merged.last->value("pages", 0), 4);
    // A merge names the sources it could not open, and why, beside the pages of the others.
    const auto partly =
        ask(worker, {{"type", "merge"}, {"id", 3}}, {at("text.pdf"), at("notes.pdf")});
    EXPECT_EQ(partly.last->value("pages", 0), 2);
    ASSERT_EQ(partly.last->value("leftOut", json()).size(), 1U);
    EXPECT_EQ(partly.last->at("leftOut")[0].value("index", -1), 1);
    EXPECT_EQ(partly.last->at("leftOut")[0].value("error", ""), "damaged");
    struct Failure {
        json request;
        const char* source;
        const char* reason;
    };
    for (const Failure& failure : std::vector<Failure>{
             {{{"type", "open"}}, "notes.pdf", "open"},
             {{{"type", "split"}, {"every", 1}}, "photo.png", "open"},
             {{{"type", "extract"}, {"lower", 1}, {"upper", 1}}, "notes.pdf", "open"},
             {{{"type", "extract"}, {"lower", 4}, {"upper", 4}}, "scans.pdf", "range"}}) {
        json request = failure.request;
        request["id"] = 9;
        const auto answer = ask(worker, request, {at(failure.source)});
        EXPECT_EQ(answer.last->value("type", ""), "failure") << request;
        EXPECT_EQ(answer.last->value("stage", ""), failure.reason) << request;
    }
    // A cancelled split ends after the chunk in hand, and the worker takes the next request.
    WorkerMessage request{{{"type", "split"}, {"id", 4}, {"every", 1}}, {}, {}};
    request.fds.push_back(openSource(at("scans.pdf")));
    ASSERT_TRUE(worker.channel().send(request));
    EXPECT_EQ(worker.channel().receive()->header["type"], "chunk");
    ASSERT_TRUE(worker.channel().send({{{"type", "cancel"}, {"id", 4}}, {}, {}}));
    EXPECT_EQ(worker.channel().receive()->header["type"], "done");
    EXPECT_EQ(ask(worker, {{"type", "open"}, {"id", 5}}, {at("scans.pdf")}).last->value("pages", 0),
              3);
}

// --- sandbox and containment (Release only: the sanitizers need what the sandbox refuses) --

std::string statusOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string outputOf(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

#define SKIP_UNDER_SANITIZER()                                                                     \
    if (Sandbox::underSanitizer())                                                                 \
    GTEST_SKIP() << "the sandbox and memory limits are checked in the Release build"

TEST_F(WorkerRequests, AWorkerIsConfinedAndRefusesSocketsProcessesAndWrites) {
    SKIP_UNDER_SANITIZER();
    WorkerProcess confined = startWorker();
    const std::string status = statusOf(confined.pid());
    EXPECT_NE(status.find("NoNewPrivs:\t1\n"), std::string::npos) << status;
    EXPECT_NE(status.find("Seccomp:\t2\n"), std::string::npos) << status;
    auto open = WorkerProcess::start({workerProgram(), 0, false});
    ASSERT_TRUE(open);
    EXPECT_NE(statusOf(open->pid()).find("Seccomp:\t0\n"), std::string::npos);

    const std::string report = outputOf(workerProgram().string() + " --check-sandbox");
    EXPECT_NE(report.find("socket: refused (Operation not permitted)"), std::string::npos)
        << report;
    EXPECT_NE(report.find("fork: refused (Operation not permitted)"), std::string::npos) << report;
    if (report.find("landlock: 0") == std::string::npos) {
        EXPECT_NE(report.find("write: refused"), std::string::npos) << report;
    }
    // Confined, it still reads its fonts and models: a searchable PDF of rendered text.
    EXPECT_EQ(ask(confined, {{"type", "ocr"}, {"id", 1}, {"kind", "pdf"}}, {at("text.pdf")})
                  .last->value("type", ""),
              "result");
}

TEST_F(WorkerRequests, ARequestPastTheAddressSpaceLimitFailsAlone) {
    SKIP_UNDER_SANITIZER();
    // 120 megapixels of RGB need 360 MB decoded; the file itself is small.
    vips::VImage::black(12'000, 10'000, vips::VImage::option()->set("bands", 3))
        .pngsave((*s_dir / "huge.png").c_str());
    const json request = {
        {"type", "compress"}, {"id", 1}, {"kind", "image"}, {"target", 1 << 20}, {"threads", 2}};
    WorkerProcess limited = startWorker(256ull << 20);
    const Answer answer = ask(limited, request, {at("huge.png")});
    // Either answer contains the file: a failure that says memory ran out, or the worker gone.
    EXPECT_TRUE(!answer.last || (answer.last->value("type", "") == "failure" &&
                                 answer.last->value("error", "") == "out-of-memory"))
        << (answer.last ? answer.last->dump() : "gone");
    WorkerProcess roomy = startWorker();
    EXPECT_EQ(ask(roomy, request, {at("photo.png")}).last->value("type", ""), "result");
}

TEST_F(WorkerRequests, AWorkerKilledMidRequestIsSeenGoneAndReaped) {
    SKIP_UNDER_SANITIZER();
    for (const int signal : {SIGKILL, SIGSEGV}) {
        WorkerProcess worker = startWorker();
        WorkerMessage request{
            {{"type", "ocr"}, {"id", 1}, {"kind", "pdf"}, {"threads", 1}}, {}, {}};
        request.fds.push_back(openSource(at("text.pdf")));
        ASSERT_TRUE(worker.channel().send(request));
        ::kill(worker.pid(), signal);
        while (auto reply = worker.channel().receive())
            EXPECT_NE(reply->header["type"], "result");
        worker.kill();
        EXPECT_EQ(worker.exitDescription().rfind("killed by signal " + std::to_string(signal), 0),
                  0u)
            << worker.exitDescription();
        EXPECT_EQ(::waitpid(worker.pid(), nullptr, WNOHANG), -1); // no zombie left
    }
    EXPECT_FALSE(WorkerProcess::start({"/nonexistent/parvo-worker"}));
    EXPECT_TRUE(WorkerProcess::startMany({"/nonexistent/parvo-worker"}, 2).empty());
    const std::vector<WorkerProcess> pool = WorkerProcess::startMany({workerProgram()}, 3);
    ASSERT_EQ(pool.size(), 3u);
    EXPECT_NE(pool[0].pid(), pool[1].pid());
    EXPECT_NE(pool[1].pid(), pool[2].pid());
}

} // namespace
