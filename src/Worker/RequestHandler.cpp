// SPDX-License-Identifier: GPL-3.0-or-later
#include "Worker/RequestHandler.h"

#include "Engine/ImageCompressor.h"
#include "Engine/PDFCompressor.h"
#include "Engine/PDFOps.h"
#include "Engine/SearchablePDF.h"
#include "Workflows/OCRWorkflow.h"

#include <algorithm>
#include <limits>
#include <span>
#include <string>

namespace {

// The Compress screen's rendering scale for PDF pages (CompressWorkflow::engineCompress).
constexpr double kCompressDpiScale = 1.5;
// How many threads (recognisers) one request may ask for: more would only cost memory.
constexpr int kMostThreads = 64;

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

std::optional<PdfDocument> onlyDocument(const WorkerMessage& request) {
    auto bytes = onlySource(request);
    if (!bytes)
        return std::nullopt;
    return PdfDocument::openBytes(std::move(*bytes));
}

bool isKind(const WorkerMessage& request, std::string_view kind) {
    return stringField(request, "kind") == kind;
}

bool hasKind(const WorkerMessage& request) {
    return isKind(request, "pdf") || isKind(request, "image");
}

} // namespace

RequestHandler::RequestHandler(WorkerChannel& channel) : m_channel(channel) {}

bool RequestHandler::handle(WorkerMessage&& request) {
    const std::string type = stringField(request, "type");
    if (type == "quit")
        return false;
    if (!integerField(request, "id"))
        return failure(request);
    if (type == "compress")
        return compress(request);
    if (type == "ocr")
        return recognize(request);
    if (type == "open")
        return open(request);
    if (type == "merge")
        return merge(request);
    if (type == "extract")
        return extract(request);
    if (type == "split")
        return split(request);
    return failure(request);
}

bool RequestHandler::reply(const WorkerMessage& request, nlohmann::json header,
                           std::vector<UniqueFd> fds) {
    if (const auto id = integerField(request, "id"))
        header["id"] = *id;
    return m_channel.send(WorkerMessage{std::move(header), {}, std::move(fds)});
}

bool RequestHandler::failure(const WorkerMessage& request, const char* reason) {
    nlohmann::json header = {{"type", "failure"}};
    if (reason)
        header["reason"] = reason;
    return reply(request, std::move(header));
}

bool RequestHandler::result(const WorkerMessage& request, const Bytes& bytes,
                            nlohmann::json extra) {
    UniqueFd file = memfdWithBytes(bytes);
    if (!file)
        return failure(request, "memory");
    nlohmann::json header = extra.is_object() ? std::move(extra) : nlohmann::json::object();
    header["type"] = "result";
    std::vector<UniqueFd> fds;
    fds.push_back(std::move(file));
    return reply(request, std::move(header), std::move(fds));
}

bool RequestHandler::progress(const WorkerMessage& request, int pagesDone, int pageCount) {
    return reply(request, {{"type", "progress"}, {"done", pagesDone}, {"count", pageCount}});
}

bool RequestHandler::compress(const WorkerMessage& request) {
    const auto target = integerField(request, "target");
    auto source = hasKind(request) && target ? onlySource(request) : std::nullopt;
    if (!source)
        return failure(request);
    const SizeTarget budget = SizeTarget::custom(*target);
    std::optional<Bytes> bytes;
    if (isKind(request, "pdf")) {
        const auto report = [&](int done, int count) { progress(request, done, count); };
        auto found = PDFCompressor::compressDetailed(std::move(*source), budget, kCompressDpiScale,
                                                     threadsOf(request, kMostThreads), report);
        if (found)
            bytes = std::move(found->bytes);
    } else if (auto found =
                   ImageCompressor::compressDetailed(*source, budget, threadsOf(request, 2))) {
        bytes = std::move(found->jpeg);
    }
    return bytes ? result(request, *bytes) : failure(request);
}

bool RequestHandler::recognize(const WorkerMessage& request) {
    auto source = hasKind(request) ? onlySource(request) : std::nullopt;
    if (!source)
        return failure(request);
    const int threads = threadsOf(request, kMostThreads);
    while (static_cast<int>(m_recognizers.size()) < threads)
        m_recognizers.push_back(std::move(OCRWorkflow::engineRecognizers(1).front()));
    const std::span<TextRecognizer> recognizers(m_recognizers.data(),
                                                static_cast<std::size_t>(threads));
    const auto report = [&](int done, int count) { progress(request, done, count); };
    const auto bytes =
        isKind(request, "pdf")
            ? SearchablePDF::makeSearchable(std::move(*source), OCRWorkflow::kPdfDpiScale,
                                            recognizers, {}, report)
            : SearchablePDF::buildFromImageBytes(*source, recognizers, {}, report);
    return bytes ? result(request, *bytes) : failure(request);
}

bool RequestHandler::open(const WorkerMessage& request) {
    const auto document = onlyDocument(request);
    if (!document)
        return failure(request, "open");
    return reply(request, {{"type", "result"}, {"pages", document->pageCount()}});
}

bool RequestHandler::merge(const WorkerMessage& request) {
    const auto merged = PDFOps::merge(request.fds.size(), [&](std::size_t index) {
        auto bytes = readAllFrom(request.fds[index].get());
        return bytes ? PdfDocument::openBytes(std::move(*bytes)) : std::nullopt;
    });
    if (!merged)
        return failure(request);
    const auto bytes = merged->writeBytes();
    if (!bytes)
        return failure(request, "write");
    return result(request, *bytes, {{"pages", merged->pageCount()}});
}

bool RequestHandler::extract(const WorkerMessage& request) {
    const auto lower = integerField(request, "lower");
    const auto upper = integerField(request, "upper");
    const auto document = onlyDocument(request);
    if (!document)
        return failure(request, "open");
    const auto pages = lower && upper ? PDFOps::extract(*document, {*lower, *upper}) : std::nullopt;
    if (!pages)
        return failure(request, "range");
    const auto bytes = pages->writeBytes();
    if (!bytes)
        return failure(request, "write");
    return result(request, *bytes, {{"pages", pages->pageCount()}});
}

// Each chunk waits for the parent's "continue" before the next is built, as the in-process
// split writes each chunk before building the next.
bool RequestHandler::split(const WorkerMessage& request) {
    const auto every = integerField(request, "every");
    const auto document = onlyDocument(request);
    if (!document)
        return failure(request, "open");
    bool channelWorks = true;
    PDFOps::splitEach(*document, every.value_or(0), [&](PdfDocument&& chunk) {
        const auto bytes = chunk.writeBytes();
        UniqueFd file = bytes ? memfdWithBytes(*bytes) : UniqueFd();
        std::vector<UniqueFd> fds;
        // A chunk without a file is one that could not be written.
        if (file)
            fds.push_back(std::move(file));
        channelWorks =
            reply(request, {{"type", "chunk"}, {"pages", chunk.pageCount()}}, std::move(fds));
        if (!channelWorks)
            return false;
        const auto answer = m_channel.receive();
        channelWorks = answer.has_value();
        const std::string type = answer ? stringField(*answer, "type") : std::string();
        m_quitting = type == "quit";
        return type == "continue";
    });
    return channelWorks && reply(request, {{"type", "done"}}) && !m_quitting;
}
