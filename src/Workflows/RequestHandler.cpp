// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/RequestHandler.h"

#include "Engine/ImageCompressor.h"
#include "Engine/KeepingPDFCompressor.h"
#include "Engine/PDFCompressor.h"
#include "Engine/PDFOps.h"
#include "Engine/SearchablePDF.h"
#include "Platform/AddressSpace.h"
#include "Workflows/EngineProtocol.h"
#include "Workflows/OCRWorkflow.h"

#include <algorithm>
#include <new>
#include <span>
#include <string>

using namespace EngineProtocol;

namespace {

// The Compress screen's rendering scale for PDF pages.
constexpr double kCompressDpiScale = 1.5;
// How many threads (recognisers) one request may ask for: more would only cost memory.
constexpr int kMostThreads = 64;
// How many threads one split may use: each beyond the first holds a parsed copy of the source.
constexpr int kMostSplitThreads = 4;

const nlohmann::json& field(const WorkerMessage& message, const char* name) {
    static const nlohmann::json absent;
    const auto found = message.header.find(name);
    return found == message.header.end() ? absent : *found;
}

std::optional<std::int64_t> integerField(const WorkerMessage& message, const char* name) {
    const auto& value = field(message, name);
    if (!value.is_number_integer())
        return std::nullopt;
    return value.get<std::int64_t>();
}

std::string stringField(const WorkerMessage& message, const char* name) {
    const auto& value = field(message, name);
    return value.is_string() ? value.get<std::string>() : std::string();
}

// "threads" of a request, clamped to [1, most]; 1 when missing.
int threadsOf(const WorkerMessage& message, int most) {
    const auto threads = integerField(message, "threads").value_or(1);
    return static_cast<int>(std::clamp<std::int64_t>(threads, 1, most));
}

// The request's one source, read completely.
std::optional<Bytes> onlySource(const WorkerMessage& request) {
    if (request.fds.size() != 1)
        return std::nullopt;
    return readAllFrom(request.fds.front().get());
}

bool flag(const WorkerMessage& request, const char* name) {
    const auto& value = field(request, name);
    return value.is_boolean() && value.get<bool>();
}

PDFOps::Options pageOptions(const WorkerMessage& request) {
    return {flag(request, "keepBookmarks")};
}

std::vector<std::string> stringsField(const WorkerMessage& message, const char* name) {
    std::vector<std::string> strings;
    for (const auto& value : field(message, name)) {
        strings.push_back(value.is_string() ? value.get<std::string>() : std::string());
    }
    return strings;
}

bool isKind(const WorkerMessage& request, std::string_view kind) {
    return stringField(request, "kind") == kind;
}

bool hasKind(const WorkerMessage& request) {
    return isKind(request, "pdf") || isKind(request, "image");
}

// Why the engine gave nothing for the request's one source: asked only after it failed.
EngineFailure whyNothing(const WorkerMessage& request) {
    if (!isKind(request, "pdf"))
        return {EngineError::unsupported, {}};
    const auto bytes = onlySource(request);
    return bytes ? PdfDocument::diagnose(*bytes) : EngineFailure{};
}

// The request's one source as a document; absent when it cannot be opened.
std::optional<PdfDocument> onlyDocument(const WorkerMessage& request) {
    auto bytes = onlySource(request);
    return bytes ? PdfDocument::openBytes(std::move(*bytes)) : std::nullopt;
}

// The threads of a split whose source took the address space above `peakBefore` to open:
// each beyond the first holds a parsed copy as large, so only as many as leave half of the
// worker's limit free.
int splitThreads(const WorkerMessage& request, std::uint64_t peakBefore) {
    const std::uint64_t limit = AddressSpace::limitBytes();
    const std::uint64_t peak = AddressSpace::peakBytes();
    const std::uint64_t copyBytes = peak > peakBefore ? peak - peakBefore : 0;
    int threads = threadsOf(request, kMostSplitThreads);
    while (threads > 1 && limit > 0 &&
           peak + static_cast<std::uint64_t>(threads - 1) * copyBytes > limit / 2)
        --threads;
    return threads;
}

// Why a merge's source did not open, with its index: the file is read again, only on failure.
nlohmann::json whyNotOpened(int fd, std::size_t index) {
    const auto bytes = readAllFrom(fd);
    nlohmann::json why =
        failureHeader(Stage::open, bytes ? PdfDocument::diagnose(*bytes) : EngineFailure{});
    why["index"] = index;
    return why;
}

// Why the request's one source did not open: the file is read again, only on failure.
nlohmann::json openFailure(const WorkerMessage& request) {
    const auto bytes = onlySource(request);
    return failureHeader(Stage::open, bytes ? PdfDocument::diagnose(*bytes) : EngineFailure{});
}

} // namespace

RequestHandler::RequestHandler(ReplyLink& link, std::stop_token stop)
    : m_link(link), m_stop(std::move(stop)) {}

bool RequestHandler::handle(WorkerMessage&& request) {
    if (requestOf(request) == Request::quit)
        return false;
    if (!integerField(request, "id"))
        return failure(request, header(Reply::failure));
    m_peakBefore = AddressSpace::peakBytes();
    m_refusalsBefore = AddressSpace::refusedAllocations();
    try {
        return dispatch(request);
    } catch (const std::bad_alloc&) {
        // Under the worker's address-space limit an allocation fails instead of the kernel
        // stopping the process; what was allocated for the step is released by now.
        return failure(request, failureHeader(Stage::none, {EngineError::outOfMemory, {}}));
    }
}

bool RequestHandler::dispatch(const WorkerMessage& request) {
    switch (requestOf(request).value_or(Request::quit)) {
    case Request::compress:
        return compress(request);
    case Request::ocr:
        return recognize(request);
    case Request::open:
        return open(request);
    case Request::merge:
        return merge(request);
    case Request::extract:
        return extract(request);
    case Request::split:
        return split(request);
    case Request::moreSources:
    case Request::continueSplit:
    case Request::quit:
        break;
    }
    return failure(request, header(Reply::failure));
}

bool RequestHandler::reply(const WorkerMessage& request, nlohmann::json header,
                           std::vector<UniqueFd> fds) {
    if (const auto id = integerField(request, "id"))
        header["id"] = *id;
    return m_link.send(WorkerMessage{std::move(header), {}, std::move(fds)});
}

bool RequestHandler::failure(const WorkerMessage& request, const nlohmann::json& header) {
    if (AddressSpace::refusedAllocations() != m_refusalsBefore ||
        AddressSpace::reachedLimitSince(m_peakBefore))
        return reply(request,
                     failureHeader(stageOf({header, {}, {}}), {EngineError::outOfMemory, {}}));
    return reply(request, header);
}

bool RequestHandler::result(const WorkerMessage& request, const Bytes& bytes,
                            nlohmann::json extra) {
    UniqueFd file = memfdWithBytes(bytes);
    if (!file)
        return failure(request, failureHeader(Stage::write, {EngineError::outOfMemory, {}}));
    nlohmann::json message = extra.is_object() ? std::move(extra) : nlohmann::json::object();
    message.update(header(Reply::result));
    std::vector<UniqueFd> fds;
    fds.push_back(std::move(file));
    return reply(request, std::move(message), std::move(fds));
}

bool RequestHandler::progress(const WorkerMessage& request, int pagesDone, int pageCount) {
    nlohmann::json message = header(Reply::progress);
    message["done"] = pagesDone;
    message["count"] = pageCount;
    return reply(request, std::move(message));
}

bool RequestHandler::compress(const WorkerMessage& request) {
    const auto target = integerField(request, "target");
    auto source = hasKind(request) && target ? onlySource(request) : std::nullopt;
    if (!source)
        return failure(request, header(Reply::failure));
    const SizeTarget budget = SizeTarget::custom(*target);
    std::optional<Bytes> bytes;
    nlohmann::json extra = nlohmann::json::object();
    if (isKind(request, "pdf") && flag(request, "keepText")) {
        const auto report = [&](int done, int count) { progress(request, done, count); };
        auto found = KeepingPDFCompressor::compress(std::move(*source), budget,
                                                    threadsOf(request, kMostThreads), report);
        if (found) {
            bytes = std::move(found->bytes);
            extra["fits"] = found->fits;
        }
    } else if (isKind(request, "pdf")) {
        const auto report = [&](int done, int count) { progress(request, done, count); };
        auto found = PDFCompressor::compressDetailed(std::move(*source), budget, kCompressDpiScale,
                                                     threadsOf(request, kMostThreads), report);
        if (found)
            bytes = std::move(found->bytes);
    } else if (auto found =
                   ImageCompressor::compressDetailed(*source, budget, threadsOf(request, 2))) {
        bytes = std::move(found->jpeg);
    }
    return bytes ? result(request, *bytes, std::move(extra))
                 : failure(request, failureHeader(Stage::none, whyNothing(request)));
}

bool RequestHandler::recognize(const WorkerMessage& request) {
    auto source = hasKind(request) ? onlySource(request) : std::nullopt;
    if (!source)
        return failure(request, header(Reply::failure));
    const int threads = threadsOf(request, kMostThreads);
    while (static_cast<int>(m_recognizers.size()) < threads)
        m_recognizers.push_back(std::move(OCRWorkflow::engineRecognizers(1).front()));
    const std::span<TextRecognizer> recognizers(m_recognizers.data(),
                                                static_cast<std::size_t>(threads));
    const auto report = [&](int done, int count) { progress(request, done, count); };
    const auto bytes =
        isKind(request, "pdf")
            ? SearchablePDF::makeSearchable(std::move(*source), OCRWorkflow::kPdfDpiScale,
                                            recognizers, m_stop, report,
                                            {flag(request, "keepStructure")})
            : SearchablePDF::buildFromImageBytes(*source, recognizers, m_stop, report);
    if (!bytes && m_stop.stop_requested())
        return true;
    return bytes ? result(request, *bytes)
                 : failure(request, failureHeader(Stage::none, whyNothing(request)));
}

bool RequestHandler::open(const WorkerMessage& request) {
    const auto document = onlyDocument(request);
    if (!document)
        return failure(request, openFailure(request));
    nlohmann::json message = header(Reply::result);
    message["pages"] = document->pageCount();
    return reply(request, std::move(message));
}

// The sources beyond the first frame's come in "sources" frames right after the request.
std::optional<std::vector<int>> RequestHandler::allSources(const WorkerMessage& request,
                                                           std::vector<WorkerMessage>& more) {
    std::vector<int> fds;
    for (const UniqueFd& fd : request.fds)
        fds.push_back(fd.get());
    const auto total = integerField(request, "sources").value_or(std::ssize(fds));
    while (std::ssize(fds) < total) {
        auto next = m_link.receive();
        if (!next || requestOf(*next) != Request::moreSources || next->fds.empty())
            return std::nullopt;
        for (const UniqueFd& fd : next->fds)
            fds.push_back(fd.get());
        more.push_back(std::move(*next));
    }
    return fds;
}

// Every reply that reaches the end says which sources could not be opened and why, so that
// the batch needs no step of its own per source to learn it; progress counts the sources
// taken so far.
bool RequestHandler::merge(const WorkerMessage& request) {
    std::vector<WorkerMessage> more;
    const auto sources = allSources(request, more);
    if (!sources)
        return failure(request, failureHeader(Stage::open, {}));
    const auto count = static_cast<int>(sources->size());
    nlohmann::json leftOut = nlohmann::json::array();
    const auto merged = PDFOps::merge(
        sources->size(),
        [&](std::size_t index) {
            if (index > 0)
                progress(request, static_cast<int>(index), count);
            auto bytes = readAllFrom((*sources)[index]);
            auto document = bytes ? PdfDocument::openBytes(std::move(*bytes)) : std::nullopt;
            if (!document)
                leftOut.push_back(whyNotOpened((*sources)[index], index));
            return document;
        },
        pageOptions(request), stringsField(request, "titles"));
    progress(request, count, count);
    const auto bytes = merged ? merged->writeBytes() : std::nullopt;
    if (!bytes) {
        nlohmann::json header = failureHeader(merged ? Stage::write : Stage::open, {});
        header["leftOut"] = std::move(leftOut);
        return failure(request, header);
    }
    return result(request, *bytes, {{"pages", merged->pageCount()}, {"leftOut", leftOut}});
}

bool RequestHandler::extract(const WorkerMessage& request) {
    const auto lower = integerField(request, "lower");
    const auto upper = integerField(request, "upper");
    const auto document = onlyDocument(request);
    if (!document)
        return failure(request, openFailure(request));
    const auto pages = lower && upper
                           ? PDFOps::extract(*document, {*lower, *upper}, pageOptions(request))
                           : std::nullopt;
    if (!pages)
        return failure(request, failureHeader(Stage::range, {}));
    const auto bytes = pages->writeBytes();
    if (!bytes)
        return failure(request, failureHeader(Stage::write, {}));
    return result(request, *bytes, {{"pages", pages->pageCount()}});
}

// The parent writes each chunk before it answers "continue"; meanwhile the next few chunks are
// being built, a bounded number, so memory stays flat however many chunks there are.
bool RequestHandler::sendChunk(const WorkerMessage& request, PDFOps::WrittenPart&& chunk,
                               const std::string& title) {
    UniqueFd file = chunk.bytes ? memfdWithBytes(*chunk.bytes) : UniqueFd();
    std::vector<UniqueFd> fds;
    // A chunk without a file is one that could not be written.
    if (file)
        fds.push_back(std::move(file));
    nlohmann::json message = header(Reply::chunk);
    message["pages"] = chunk.pageCount;
    if (!title.empty())
        message["title"] = title;
    m_linkWorks = reply(request, std::move(message), std::move(fds));
    if (!m_linkWorks)
        return false;
    const auto answer = m_link.receive();
    m_linkWorks = answer.has_value();
    const auto kind = answer ? requestOf(*answer) : std::nullopt;
    m_quitting = kind == Request::quit;
    return kind == Request::continueSplit;
}

// A split at bookmarks keeps each part's bookmarks: they are what the parts are named after.
// Chunks are built on the request's threads, each over a copy of the document of its own.
bool RequestHandler::split(const WorkerMessage& request) {
    const auto document = onlyDocument(request);
    if (!document)
        return failure(request, openFailure(request));
    m_linkWorks = true;
    std::vector<PDFOps::PageRange> ranges;
    std::vector<std::string> titles;
    const bool atBookmarks = flag(request, "atBookmarks");
    if (atBookmarks) {
        for (PDFOps::BookmarkPart& part : PDFOps::bookmarkParts(*document)) {
            ranges.push_back(part.pages);
            titles.push_back(std::move(part.title));
        }
        if (ranges.empty())
            return failure(request, failureHeader(Stage::noBookmarks, {}));
    } else {
        ranges =
            PDFOps::splitRanges(document->pageCount(), integerField(request, "every").value_or(0));
    }
    PDFOps::SourceCopies sources(*document, splitThreads(request, m_peakBefore));
    PDFOps::extractEach(
        sources, ranges,
        [&](std::size_t index, PDFOps::WrittenPart&& chunk) {
            return sendChunk(request, std::move(chunk),
                             atBookmarks ? titles[index] : std::string());
        },
        atBookmarks ? PDFOps::Options{true} : pageOptions(request));
    return m_linkWorks && reply(request, header(Reply::done)) && !m_quitting;
}
