// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/EngineError.h"
#include "Platform/WorkerChannel.h"

#include <optional>
#include <string>
#include <string_view>

/// The requests a batch sends to the engine and the replies it gets back, by kind. A message's
/// header carries its kind under "type" as the name given here; nothing else spells them.
///
/// Requests (each with an integer "id" that every reply repeats, and "threads"):
///   compress {kind: pdf|image, target: bytes, keepText}   → progress…, result | failure
///   ocr {kind: pdf|image, keepStructure}                  → progress…, result | failure
///   open                                                  → result {pages} | failure
///   merge {titles, keepBookmarks, sources}                → progress…, result {pages, leftOut}
///                                                           | failure {leftOut}
///   leftOut: the sources that could not be opened, each a failure header with its "index";
///            progress counts the sources taken so far
///   sources: more descriptors of the request before it, when it has more than a frame
///            carries ("sources" in that request counts them all)
///   extract {lower, upper, keepBookmarks}                 → result {pages} | failure
///   split {every | atBookmarks, keepBookmarks}            → chunk {pages, title}…, done | failure
///   continue, quit: the parent's answers to a chunk (quit also ends an idle worker)
/// A failure may say which step failed ("stage": open, range, write) and why ("error": an
/// EngineError name, "detail": the library's words).
namespace EngineProtocol {

enum class Request { compress, ocr, open, merge, moreSources, extract, split, continueSplit, quit };
enum class Reply { ready, progress, chunk, result, done, failure };

/// What failed within a step that has several stages.
enum class Stage { none, open, range, write, noBookmarks };

std::string_view name(Request request);
std::string_view name(Reply reply);
std::string_view name(Stage stage);

/// The kind named in a message's "type"; absent for an unknown or missing one.
std::optional<Request> requestOf(const WorkerMessage& message);
std::optional<Reply> replyOf(const WorkerMessage& message);

/// A header of that kind, to which a sender adds its fields.
nlohmann::json header(Request request);
nlohmann::json header(Reply reply);

/// A failure reply's header with its stage and cause.
nlohmann::json failureHeader(Stage stage, const EngineFailure& cause);
/// The stage and cause a failure reply carries (none and empty when it says nothing).
Stage stageOf(const WorkerMessage& message);
EngineFailure causeOf(const WorkerMessage& message);

} // namespace EngineProtocol
