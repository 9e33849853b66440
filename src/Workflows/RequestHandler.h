// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/PDFOps.h"
#include "Platform/PdfDocument.h"
#include "Platform/TextRecognizer.h"
#include "Platform/WorkerChannel.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

/// Where a handler's replies go and where the parent's answers to a chunk come from: a
/// worker's socket, or the batch itself when the step runs in the batch's own process.
class ReplyLink {
public:
    virtual ~ReplyLink() = default;
    /// False once the other side is gone.
    virtual bool send(WorkerMessage message) = 0;
    /// The parent's answer to a chunk ("continue" or "quit"); absent once it is gone.
    virtual std::optional<WorkerMessage> receive() = 0;
};

/// A link over a worker's socket.
class ChannelLink : public ReplyLink {
public:
    explicit ChannelLink(WorkerChannel& channel) : m_channel(channel) {}
    bool send(WorkerMessage message) override { return m_channel.send(message); }
    std::optional<WorkerMessage> receive() override { return m_channel.receive(); }

private:
    WorkerChannel& m_channel;
};

/// The engine side of every batch step: answers one request at a time (see EngineProtocol),
/// calling the engine on the sources it was given as descriptors. Results go back as sealed
/// memfds. It never writes a file and never opens a path. The same code runs in a worker
/// process and, for tests and benchmarks, in the batch's own process. Keeps its text
/// recognisers from one OCR request to the next. A request that runs out of memory is
/// answered with an out-of-memory failure.
class RequestHandler {
public:
    /// `stop` abandons a long step (an OCR document) without a reply: for the batch's own
    /// process, where a stop must not wait for the file in progress. A worker is killed instead.
    explicit RequestHandler(ReplyLink& link, std::stop_token stop = {});

    /// Answers one request (every reply carries its "id"); a split ends with "done" also when
    /// cancelled. False when the link broke while answering or "quit" came (also in the
    /// middle of a split): a worker should then end.
    bool handle(WorkerMessage&& request);

private:
    bool dispatch(const WorkerMessage& request);
    bool compress(const WorkerMessage& request);
    bool recognize(const WorkerMessage& request);
    bool open(const WorkerMessage& request);
    bool merge(const WorkerMessage& request);
    std::optional<std::vector<int>> allSources(const WorkerMessage& request,
                                               std::vector<WorkerMessage>& more);
    bool extract(const WorkerMessage& request);
    bool split(const WorkerMessage& request);

    bool sendChunk(const WorkerMessage& request, PDFOps::WrittenPart&& chunk,
                   const std::string& title);
    bool reply(const WorkerMessage& request, nlohmann::json header, std::vector<UniqueFd> fds = {});
    bool failure(const WorkerMessage& request, const nlohmann::json& header);
    bool result(const WorkerMessage& request, const Bytes& bytes, nlohmann::json extra = {});
    bool progress(const WorkerMessage& request, int pagesDone, int pageCount);

    ReplyLink& m_link;
    std::stop_token m_stop;
    std::vector<TextRecognizer> m_recognizers;
    bool m_quitting = false; // "quit" came while a split waited for "continue"
    bool m_linkWorks = true;
    std::uint64_t m_peakBefore = 0;     // the address space held before the request in progress
    std::uint64_t m_refusalsBefore = 0; // allocations refused before it
};
