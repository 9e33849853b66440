// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"

#include <filesystem>
#include <optional>

/// Whole files in memory. Safe to call from several threads at once; nothing throws.

/// Everything in the regular file at `path`. Absent when it cannot be opened, is not a
/// regular file (a pipe or device is never read), cannot be read, or memory runs out.
std::optional<Bytes> readFileBytes(const std::filesystem::path& path);

/// Everything in the file behind `fd`, read from offset 0 with pread (the descriptor's own
/// offset is neither used nor moved), to its end even when its size changes meanwhile.
/// Absent on a read error or when memory runs out.
std::optional<Bytes> readAllFrom(int fd);
