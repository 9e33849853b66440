// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/WorkerChannel.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>

// Frames are read exactly, never past their end: the descriptors of a frame ride on its first
// byte, so every descriptor received while a frame is being read belongs to that frame.
namespace {

constexpr std::size_t kLengthBytes = 4;

bool sendAll(int socket, const std::uint8_t* data, std::size_t size, const msghdr* withFds) {
    bool first = true;
    while (size > 0) {
        iovec part{const_cast<std::uint8_t*>(data), size};
        msghdr message{};
        if (first && withFds) {
            message = *withFds;
        }
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        first = false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// Appends descriptors of every SCM_RIGHTS block; false when some were cut off.
bool takeFds(msghdr& message, std::vector<UniqueFd>& fds) {
    for (cmsghdr* block = CMSG_FIRSTHDR(&message); block; block = CMSG_NXTHDR(&message, block)) {
        if (block->cmsg_level != SOL_SOCKET || block->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t count = (block->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(block) + i * sizeof(int), sizeof(int));
            fds.emplace_back(fd);
        }
    }
    return (message.msg_flags & MSG_CTRUNC) == 0;
}

bool receiveAll(int socket, std::uint8_t* data, std::size_t size, std::vector<UniqueFd>& fds) {
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int) * WorkerChannel::kMaxFds)> control;
    while (size > 0) {
        iovec part{data, size};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        // More descriptors than one frame may carry: the peer does not follow the framing.
        if (!takeFds(message, fds) || fds.size() > WorkerChannel::kMaxFds)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

std::uint32_t littleEndian(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The blob sizes a header announces, or absent when they are malformed or too large.
std::optional<std::vector<std::size_t>> blobSizes(const nlohmann::json& header) {
    std::vector<std::size_t> sizes;
    const auto found = header.find("blobSizes");
    if (found == header.end())
        return sizes;
    if (!found->is_array())
        return std::nullopt;
    for (const auto& size : *found) {
        if (!size.is_number_unsigned() || size.get<std::uint64_t>() > WorkerChannel::kMaxBlobBytes)
            return std::nullopt;
        sizes.push_back(size.get<std::size_t>());
    }
    return sizes;
}

std::optional<nlohmann::json> parsedHeader(const Bytes& text) {
    auto header = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (header.is_discarded() || !header.is_object())
        return std::nullopt;
    const auto type = header.find("type");
    if (type == header.end() || !type->is_string())
        return std::nullopt;
    return header;
}

} // namespace

WorkerChannel::WorkerChannel(UniqueFd socket) : m_socket(std::move(socket)) {}

int WorkerChannel::fd() const {
    return m_socket.get();
}

bool WorkerChannel::send(const WorkerMessage& message) {
    if (message.fds.size() > kMaxFds)
        return false;
    nlohmann::json header = message.header;
    header["blobSizes"] = nlohmann::json::array();
    for (const Bytes& blob : message.blobs) {
        if (blob.size() > kMaxBlobBytes)
            return false;
        header["blobSizes"].push_back(blob.size());
    }
    const std::string text = header.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (text.size() > kMaxHeaderBytes)
        return false;
    Bytes frame(kLengthBytes + text.size());
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        frame[i] = static_cast<std::uint8_t>(text.size() >> (8 * i));
    std::memcpy(frame.data() + kLengthBytes, text.data(), text.size());

    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int) * kMaxFds)> control{};
    msghdr withFds{};
    if (!message.fds.empty()) {
        withFds.msg_control = control.data();
        withFds.msg_controllen = CMSG_SPACE(sizeof(int) * message.fds.size());
        cmsghdr* block = CMSG_FIRSTHDR(&withFds);
        block->cmsg_level = SOL_SOCKET;
        block->cmsg_type = SCM_RIGHTS;
        block->cmsg_len = CMSG_LEN(sizeof(int) * message.fds.size());
        for (std::size_t i = 0; i < message.fds.size(); ++i) {
            const int fd = message.fds[i].get();
            std::memcpy(CMSG_DATA(block) + i * sizeof(int), &fd, sizeof(int));
        }
    }
    if (!sendAll(m_socket.get(), frame.data(), frame.size(), &withFds))
        return false;
    for (const Bytes& blob : message.blobs)
        if (!sendAll(m_socket.get(), blob.data(), blob.size(), nullptr))
            return false;
    return true;
}

std::optional<WorkerMessage> WorkerChannel::receive() {
    WorkerMessage message;
    std::array<std::uint8_t, kLengthBytes> length{};
    if (!receiveAll(m_socket.get(), length.data(), length.size(), message.fds))
        return std::nullopt;
    const std::uint32_t headerBytes = littleEndian(length.data());
    if (headerBytes == 0 || headerBytes > kMaxHeaderBytes)
        return std::nullopt;
    Bytes text(headerBytes);
    if (!receiveAll(m_socket.get(), text.data(), text.size(), message.fds))
        return std::nullopt;
    auto header = parsedHeader(text);
    const auto sizes = header ? blobSizes(*header) : std::nullopt;
    if (!sizes)
        return std::nullopt;
    try {
        for (const std::size_t size : *sizes) {
            Bytes& blob = message.blobs.emplace_back(size);
            if (!receiveAll(m_socket.get(), blob.data(), blob.size(), message.fds))
                return std::nullopt;
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    message.header = std::move(*header);
    return message;
}

UniqueFd memfdWithBytes(std::span<const std::uint8_t> bytes) {
    UniqueFd file(::memfd_create("parvo-result", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!file)
        return {};
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t wrote = ::write(file.get(), bytes.data() + written, bytes.size() - written);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return {};
        written += static_cast<std::size_t>(wrote);
    }
    constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
    if (::fcntl(file.get(), F_ADD_SEALS, kSeals) != 0)
        return {};
    return file;
}
