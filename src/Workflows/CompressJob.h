// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/Uuid.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace CompressWorkflow {

/// One queued compression: where the source is, where its compressed result goes (before
/// the batch makes the name unique) and, for a file found in a dropped folder, where an
/// unchanged copy goes when compression does not help. Jobs are equal when their sources
/// are: a queue holds each source once.
struct Job {
    Uuid id = Uuid::random();
    std::filesystem::path src{};
    std::filesystem::path dst{};
    std::optional<std::filesystem::path> copyDst{};

    /// The source's file name.
    std::string name() const { return src.filename().string(); }

    friend bool operator==(const Job& a, const Job& b) { return a.src == b.src; }
};

using Extensions = std::set<std::string, std::less<>>;

/// The lower-case extensions Compress accepts: png, jpg, jpeg, heic, heif, tiff, gif, pdf.
const Extensions& acceptedExtensions();

/// The jobs for one dropped location. A file gives one job (or none when its lower-cased
/// extension is not accepted) whose output is "<base>-small.jpg" (".pdf" for a PDF) beside
/// it. A folder gives one job per file of FolderScan::files, in that order, with outputs and
/// copies in its mirror folder. Reads the file system only; creates nothing. May walk a
/// whole tree: call it off the interface thread.
std::vector<Job> jobs(const std::filesystem::path& dropped, const Extensions& accepted);

/// Appends each job, in order, unless an equal job is already in `queue` (including one
/// appended by this call). Linear in the sizes of both lists.
void appendUnlessQueued(std::vector<Job>& queue, const std::vector<Job>& jobs);

} // namespace CompressWorkflow
