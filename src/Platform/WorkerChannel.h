// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/FileBytes.h" // readAllFrom, for the descriptors received
#include "Platform/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <vector>

/// One message between Parvo and an engine worker: a JSON header (always with a string
/// "type"), small raw payloads, and descriptors passed along (sources, memfd results).
struct WorkerMessage {
    nlohmann::json header;
    std::vector<Bytes> blobs;
    std::vector<UniqueFd> fds;
};

/// Framed messages over a connected AF_UNIX stream socket. A frame is the header's length
/// (u32, little-endian), the header (nlohmann::json::dump(), UTF-8), then for each entry of
/// the header's "blobSizes" array that many raw bytes; the descriptors ride on the frame's
/// first sendmsg (SCM_RIGHTS). send() sets "blobSizes" itself.
///
/// Owns the socket; move-only. One thread sends and one receives at a time (they may be two
/// different threads). Nothing throws.
class WorkerChannel {
public:
    static constexpr std::size_t kMaxHeaderBytes = std::size_t{1} << 20;
    static constexpr std::size_t kMaxBlobBytes = std::size_t{64} << 20; // beyond: a memfd
    static constexpr std::size_t kMaxFds = 16;

    explicit WorkerChannel(UniqueFd socket);

    /// False when the message breaks a limit above or once the peer is gone (never SIGPIPE).
    bool send(const WorkerMessage& message);

    /// Blocks for the next message. Absent when the peer is gone or the frame is malformed
    /// (bad length, header that is not a JSON object with a string "type", bad "blobSizes");
    /// after a malformed frame the stream is out of step, so the channel is then unusable.
    std::optional<WorkerMessage> receive();

    /// The socket, for poll().
    int fd() const;

private:
    UniqueFd m_socket;
};

/// An anonymous memory file holding `bytes`, sealed against any change (so the receiver
/// reads what was sent), for results too large for a blob. Invalid when the kernel refuses.
UniqueFd memfdWithBytes(std::span<const std::uint8_t> bytes);
