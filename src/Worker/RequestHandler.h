// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/TextRecognizer.h"
#include "Platform/WorkerChannel.h"

#include <vector>

/// The engine side of a worker: answers one request at a time on its channel, calling the
/// same engine code as Parvo's in-process path on the sources it was given as descriptors.
/// Results go back as sealed memfds. It never writes a file and never opens a path it is
/// given. Keeps its text recognisers from one OCR request to the next.
class RequestHandler {
public:
    explicit RequestHandler(WorkerChannel& channel);

    /// Answers one request (every reply carries its "id"); a split ends with "done" also when
    /// cancelled. False when the channel broke while answering or "quit" came (also in the
    /// middle of a split): the worker should then end.
    bool handle(WorkerMessage&& request);

private:
    bool compress(const WorkerMessage& request);
    bool recognize(const WorkerMessage& request);
    bool open(const WorkerMessage& request);
    bool merge(const WorkerMessage& request);
    bool extract(const WorkerMessage& request);
    bool split(const WorkerMessage& request);

    bool reply(const WorkerMessage& request, nlohmann::json header, std::vector<UniqueFd> fds = {});
    bool failure(const WorkerMessage& request, const char* reason = nullptr);
    bool result(const WorkerMessage& request, const Bytes& bytes, nlohmann::json extra = {});
    bool progress(const WorkerMessage& request, int pagesDone, int pageCount);

    WorkerChannel& m_channel;
    std::vector<TextRecognizer> m_recognizers;
    bool m_quitting = false; // "quit" came while a split waited for "continue"
};
