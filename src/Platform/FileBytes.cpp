// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/FileBytes.h"

#include "Platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>

std::optional<Bytes> readFileBytes(const std::filesystem::path& path) {
    // Non-blocking, so that opening a pipe never waits for a writer; it is refused below.
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return readAllFrom(file.get());
}

std::optional<Bytes> readAllFrom(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return std::nullopt;
    constexpr std::size_t kGrowthBytes = std::size_t{1} << 16;
    Bytes bytes;
    try {
        // One byte more than the size, so that the end is seen without growing the buffer.
        bytes.resize(status.st_size > 0 ? static_cast<std::size_t>(status.st_size) + 1 : 1);
        std::size_t done = 0;
        for (;;) {
            if (done == bytes.size())
                bytes.resize(bytes.size() + kGrowthBytes);
            const ssize_t got =
                ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return std::nullopt;
            if (got == 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        bytes.resize(done);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return bytes;
}
