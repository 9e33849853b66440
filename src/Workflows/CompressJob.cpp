// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/CompressJob.h"

#include "Engine/FolderScan.h"
#include "Platform/Unicode.h"

#include <unordered_set>

namespace fs = std::filesystem;

namespace {

// Every image type is re-encoded as JPEG; a PDF stays a PDF.
std::string outputExtension(const std::string& lowerExtension) {
    return lowerExtension == "pdf" ? "pdf" : "jpg";
}

std::string lowerExtension(const fs::path& location) {
    return Unicode::toLower(FolderScan::pathExtension(location));
}

struct PathHash {
    std::size_t operator()(const fs::path& path) const { return fs::hash_value(path); }
};

} // namespace

namespace CompressWorkflow {

const Extensions& acceptedExtensions() {
    static const Extensions accepted{"png", "jpg", "jpeg", "heic", "heif", "tiff", "gif", "pdf"};
    return accepted;
}

std::vector<Job> jobs(const fs::path& dropped, const Extensions& accepted) {
    if (!FolderScan::isDirectory(dropped)) {
        const std::string extension = lowerExtension(dropped);
        if (accepted.count(extension) == 0) {
            return {};
        }
        const std::string name =
            FolderScan::baseName(dropped) + "-small." + outputExtension(extension);
        return {Job{.src = dropped, .dst = dropped.parent_path() / name, .copyDst = {}}};
    }
    std::vector<Job> found;
    for (const fs::path& file : FolderScan::files(dropped, accepted)) {
        const std::string extension = outputExtension(lowerExtension(file));
        found.push_back(
            Job{.src = file,
                .dst = FolderScan::mirrorOutputURL(file, dropped, "-small", extension),
                .copyDst = FolderScan::mirrorOutputURL(file, dropped, "", std::nullopt)});
    }
    return found;
}

void appendUnlessQueued(std::vector<Job>& queue, const std::vector<Job>& jobs) {
    std::unordered_set<fs::path, PathHash> queued;
    for (const Job& job : queue) {
        queued.insert(job.src);
    }
    for (const Job& job : jobs) {
        if (queued.insert(job.src).second) {
            queue.push_back(job);
        }
    }
}

} // namespace CompressWorkflow
