// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/DurableFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFile {
namespace {

/// Closes on destruction unless released.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    /// close(2)'s verdict: on some file systems a failed write is only reported here.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

/// Writes and flushes a new temporary file in `folder`; its path, or absent (nothing left).
std::optional<std::string> writeTemporary(const std::filesystem::path& folder,
                                          const std::string& name, std::string_view bytes) {
    std::string temporary = (folder / ("." + name + ".XXXXXX")).string();
    Fd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    if (writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.close())
        return temporary;
    ::unlink(temporary.c_str());
    return std::nullopt;
}

/// Makes a rename inside `folder` durable. Some file systems cannot sync a folder; the rename
/// has happened by then, so the result is not a failure of the replace.
void syncFolder(const std::filesystem::path& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

} // namespace

std::optional<std::string> readAll(const std::filesystem::path& file) {
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(std::min<off_t>(info.st_size, off_t{1} << 26)));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

bool replace(const std::filesystem::path& file, std::string_view bytes) {
    if (!file.has_filename())
        return false;
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const auto temporary = writeTemporary(folder, file.filename().string(), bytes);
    if (!temporary)
        return false;
    if (::rename(temporary->c_str(), file.c_str()) != 0) {
        ::unlink(temporary->c_str());
        return false;
    }
    syncFolder(folder);
    return true;
}

} // namespace DurableFile
