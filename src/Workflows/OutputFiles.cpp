// SPDX-License-Identifier: GPL-3.0-or-later
// Outputs go through a temporary file beside the destination because rename() within one
// folder (one file system) is atomic: a reader sees the old file or the new one, never a
// partial one. Everything here is plain POSIX; errors are errno values.
#include "Workflows/OutputFiles.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Keeps the temporary name within NAME_MAX (255 bytes) for long destination names.
constexpr std::size_t kMaxNameBytes = 200;

std::string randomTag() {
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::string tag(6, '0');
    for (char& c : tag) {
        c = kDigits[generator() % (sizeof(kDigits) - 1)];
    }
    return tag;
}

/// A temporary file that is removed unless it was renamed into place.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        closeFile();
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }

    // Creates the file exclusively, so no existing item (or link) is ever opened.
    std::error_code create(const fs::path& destination, mode_t mode) {
        const std::string name = destination.filename().string().substr(0, kMaxNameBytes);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate =
                destination.parent_path() / ("." + name + ".parvo-" + randomTag());
            m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (m_fd >= 0) {
                m_path = candidate;
                return {};
            }
            if (errno != EEXIST) {
                return lastError();
            }
        }
        return std::make_error_code(std::errc::file_exists);
    }

    int fd() const { return m_fd; }

    std::error_code writeAll(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t written = ::write(m_fd, data, size);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return written < 0 ? lastError() : std::make_error_code(std::errc::io_error);
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return {};
    }

    // Closes (a network file system may report a failed write only here), then renames.
    std::error_code commit(const fs::path& destination, OutputFiles::Existing existing);

private:
    int closeFile() {
        const int result = m_fd >= 0 ? ::close(m_fd) : 0;
        m_fd = -1;
        return result;
    }

    int m_fd = -1;
    fs::path m_path;
};

// Fails with EEXIST when something is at `to`. Not every file system has an atomic
// no-replace rename, so fall back to a hard link, then to a check before a plain rename.
int renameNoReplace(const fs::path& from, const fs::path& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
#endif
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        return -1;
    }
    struct stat existing {};
    if (::lstat(to.c_str(), &existing) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

std::error_code TempFile::commit(const fs::path& destination, OutputFiles::Existing existing) {
    if (closeFile() != 0) {
        return lastError();
    }
    const int result = existing == OutputFiles::Existing::replace
                           ? ::rename(m_path.c_str(), destination.c_str())
                           : renameNoReplace(m_path, destination);
    if (result != 0) {
        return lastError();
    }
    m_path.clear();
    return {};
}

/// A read-only descriptor, closed with the object.
struct SourceFile {
    int fd = -1;
    ~SourceFile() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::error_code copyContents(int from, TempFile& to) {
    std::vector<std::uint8_t> buffer(256 * 1024);
    for (;;) {
        const ssize_t count = ::read(from, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return lastError();
        }
        if (count == 0) {
            return {};
        }
        if (const auto error = to.writeAll(buffer.data(), static_cast<std::size_t>(count))) {
            return error;
        }
    }
}

} // namespace

namespace OutputFiles {

std::error_code write(std::span<const std::uint8_t> bytes, const fs::path& destination,
                      Existing existing) {
    TempFile temp;
    if (auto error = temp.create(destination, 0666)) {
        return error;
    }
    if (auto error = temp.writeAll(bytes.data(), bytes.size())) {
        return error;
    }
    return temp.commit(destination, existing);
}

std::error_code copy(const fs::path& source, const fs::path& destination, Existing existing) {
    SourceFile from;
    // O_NONBLOCK: opening a named pipe must not wait for a writer; the type check follows.
    from.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (from.fd < 0 || ::fstat(from.fd, &info) != 0) {
        return lastError();
    }
    if (!S_ISREG(info.st_mode)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    TempFile temp;
    if (auto error = temp.create(destination, 0600)) {
        return error;
    }
    if (::fchmod(temp.fd(), info.st_mode & 0777) != 0) {
        return lastError();
    }
    if (auto error = copyContents(from.fd, temp)) {
        return error;
    }
    return temp.commit(destination, existing);
}

} // namespace OutputFiles
