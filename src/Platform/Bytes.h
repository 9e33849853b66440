// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

/// An owned, contiguous byte buffer: file contents, an encoded JPEG, a written PDF.
using Bytes = std::vector<std::uint8_t>;
