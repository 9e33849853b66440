// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/UniqueFd.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <vector>

/// One message between parvo and a worker: a JSON header (always with a "type"), small raw
/// payloads after it, and descriptors passed along (sources, memfd results).
struct WorkerMessage {
    nlohmann::json header;
    std::vector<Bytes> blobs;
    std::vector<UniqueFd> fds;
};

/// Framed messages over a connected AF_UNIX stream socket: a u32 little-endian header length,
/// the header, then the blobs its "blobSizes" lists; descriptors ride on the first sendmsg.
class WorkerChannel {
public:
    explicit WorkerChannel(UniqueFd socket);
    /// False once the peer is gone (never raises SIGPIPE).
    bool send(const WorkerMessage& message);
    /// Blocking; absent when the peer is gone or the frame is malformed.
    std::optional<WorkerMessage> receive();
    int fd() const { return m_socket.get(); }

private:
    UniqueFd m_socket;
};

/// A sealed-size anonymous file holding `bytes`, for results too large for a blob.
UniqueFd memfdWithBytes(std::span<const std::uint8_t> bytes);
/// Everything in the file from offset 0; absent on a read error.
std::optional<Bytes> readAllFrom(int fd);
