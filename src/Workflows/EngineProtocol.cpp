// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/EngineProtocol.h"

#include <array>
#include <utility>

namespace EngineProtocol {

namespace {

template <typename Kind, std::size_t N>
using Names = std::array<std::pair<Kind, std::string_view>, N>;

constexpr Names<Request, 9> kRequests = {{{Request::compress, "compress"},
                                          {Request::moreSources, "sources"},
                                          {Request::ocr, "ocr"},
                                          {Request::open, "open"},
                                          {Request::merge, "merge"},
                                          {Request::extract, "extract"},
                                          {Request::split, "split"},
                                          {Request::continueSplit, "continue"},
                                          {Request::quit, "quit"}}};

constexpr Names<Reply, 6> kReplies = {{{Reply::ready, "ready"},
                                       {Reply::progress, "progress"},
                                       {Reply::chunk, "chunk"},
                                       {Reply::result, "result"},
                                       {Reply::done, "done"},
                                       {Reply::failure, "failure"}}};

constexpr Names<Stage, 5> kStages = {{{Stage::none, ""},
                                      {Stage::open, "open"},
                                      {Stage::range, "range"},
                                      {Stage::write, "write"},
                                      {Stage::noBookmarks, "no-bookmarks"}}};

template <typename Kind, std::size_t N>
std::string_view nameIn(const Names<Kind, N>& names, Kind kind) {
    for (const auto& [each, name] : names) {
        if (each == kind)
            return name;
    }
    return {};
}

template <typename Kind, std::size_t N>
std::optional<Kind> kindIn(const Names<Kind, N>& names, const nlohmann::json& header,
                           const char* field) {
    const auto found = header.find(field);
    if (found == header.end() || !found->is_string())
        return std::nullopt;
    const std::string& text = found->template get_ref<const std::string&>();
    for (const auto& [each, name] : names) {
        if (text == name)
            return each;
    }
    return std::nullopt;
}

std::string stringField(const nlohmann::json& header, const char* field) {
    const auto found = header.find(field);
    return found != header.end() && found->is_string() ? found->get<std::string>() : std::string();
}

} // namespace

std::string_view name(Request request) {
    return nameIn(kRequests, request);
}
std::string_view name(Reply reply) {
    return nameIn(kReplies, reply);
}
std::string_view name(Stage stage) {
    return nameIn(kStages, stage);
}

std::optional<Request> requestOf(const WorkerMessage& message) {
    return kindIn(kRequests, message.header, "type");
}
std::optional<Reply> replyOf(const WorkerMessage& message) {
    return kindIn(kReplies, message.header, "type");
}

nlohmann::json header(Request request) {
    return {{"type", name(request)}};
}
nlohmann::json header(Reply reply) {
    return {{"type", name(reply)}};
}

nlohmann::json failureHeader(Stage stage, const EngineFailure& cause) {
    nlohmann::json failure = header(Reply::failure);
    if (stage != Stage::none)
        failure["stage"] = name(stage);
    if (const std::string error = EngineErrors::name(cause.error); !error.empty())
        failure["error"] = error;
    if (!cause.detail.empty())
        failure["detail"] = cause.detail;
    return failure;
}

Stage stageOf(const WorkerMessage& message) {
    return kindIn(kStages, message.header, "stage").value_or(Stage::none);
}

EngineFailure causeOf(const WorkerMessage& message) {
    return {EngineErrors::named(stringField(message.header, "error")),
            stringField(message.header, "detail")};
}

} // namespace EngineProtocol
