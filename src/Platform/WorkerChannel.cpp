// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/WorkerChannel.h"

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace {

constexpr std::uint32_t kMaxHeaderBytes = 1u << 20;
constexpr std::uint64_t kMaxBlobBytes = 64u << 20;
constexpr std::size_t kMaxFds = 16;

bool sendAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool receiveAll(int fd, std::uint8_t* data, std::size_t size, std::vector<UniqueFd>* fds) {
    while (size > 0) {
        iovec io{data, size};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)];
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = fds ? control : nullptr;
        message.msg_controllen = fds ? sizeof(control) : 0;
        const ssize_t got = ::recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        for (cmsghdr* c = fds ? CMSG_FIRSTHDR(&message) : nullptr; c;
             c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
                const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (std::size_t i = 0; i < count; ++i) {
                    int received = -1;
                    std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                    fds->emplace_back(received);
                }
            }
        }
        fds = nullptr;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

WorkerChannel::WorkerChannel(UniqueFd socket) : m_socket(std::move(socket)) {}

bool WorkerChannel::send(const WorkerMessage& message) {
    nlohmann::json header = message.header;
    header["blobSizes"] = nlohmann::json::array();
    for (const Bytes& blob : message.blobs) {
        header["blobSizes"].push_back(blob.size());
    }
    const std::string text = header.dump();
    Bytes frame(4 + text.size());
    const auto length = static_cast<std::uint32_t>(text.size());
    for (int i = 0; i < 4; ++i) {
        frame[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    std::memcpy(frame.data() + 4, text.data(), text.size());
    iovec io{frame.data(), frame.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)]{};
    msghdr first{};
    first.msg_iov = &io;
    first.msg_iovlen = 1;
    const std::size_t fdCount = std::min(message.fds.size(), kMaxFds);
    if (fdCount > 0) {
        first.msg_control = control;
        first.msg_controllen = CMSG_SPACE(sizeof(int) * fdCount);
        cmsghdr* c = CMSG_FIRSTHDR(&first);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int) * fdCount);
        for (std::size_t i = 0; i < fdCount; ++i) {
            const int fd = message.fds[i].get();
            std::memcpy(CMSG_DATA(c) + i * sizeof(int), &fd, sizeof(int));
        }
    }
    ssize_t sent = -1;
    do {
        sent = ::sendmsg(fd(), &first, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent <= 0 ||
        !sendAll(fd(), frame.data() + sent, frame.size() - static_cast<std::size_t>(sent))) {
        return false;
    }
    for (const Bytes& blob : message.blobs) {
        if (!sendAll(fd(), blob.data(), blob.size())) {
            return false;
        }
    }
    return true;
}

std::optional<WorkerMessage> WorkerChannel::receive() {
    WorkerMessage message;
    std::uint8_t lengthBytes[4];
    if (!receiveAll(fd(), lengthBytes, 4, &message.fds)) {
        return std::nullopt;
    }
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
        length |= static_cast<std::uint32_t>(lengthBytes[i]) << (8 * i);
    }
    if (length > kMaxHeaderBytes) {
        return std::nullopt;
    }
    std::string text(length, '\0');
    if (!receiveAll(fd(), reinterpret_cast<std::uint8_t*>(text.data()), length, nullptr)) {
        return std::nullopt;
    }
    message.header = nlohmann::json::parse(text, nullptr, false);
    if (!message.header.is_object() ||
        !message.header.value("type", nlohmann::json()).is_string()) {
        return std::nullopt;
    }
    const nlohmann::json sizes = message.header.value("blobSizes", nlohmann::json::array());
    for (const nlohmann::json& size : sizes) {
        if (!size.is_number_unsigned() || size.get<std::uint64_t>() > kMaxBlobBytes) {
            return std::nullopt;
        }
        Bytes blob(size.get<std::size_t>());
        if (!receiveAll(fd(), blob.data(), blob.size(), nullptr)) {
            return std::nullopt;
        }
        message.blobs.push_back(std::move(blob));
    }
    return message;
}

UniqueFd memfdWithBytes(std::span<const std::uint8_t> bytes) {
    UniqueFd fd(::memfd_create("parvo-result", MFD_CLOEXEC));
    std::size_t written = 0;
    while (fd && written < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            return UniqueFd();
        }
        written += static_cast<std::size_t>(n);
    }
    return fd;
}

std::optional<Bytes> readAllFrom(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || status.st_size < 0) {
        return std::nullopt;
    }
    Bytes bytes(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) {
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}
