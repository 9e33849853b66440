// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

/// Byte counts as a file manager shows file sizes: decimal units (1 KB = 1,000 bytes).
/// "Zero KB" for 0, "1 byte", "N bytes" below 1,000; KB without decimals, MB with one, GB and
/// larger units with two, trailing zeros dropped ("2.4 MB", "800 KB", "1 MB", "1.25 GB").
/// Values are rounded half up on the exact count, in the largest unit that keeps the rounded
/// figure below 1,000 (999,500 bytes is "1 MB", not "1000 KB"). Negative counts get a leading
/// "-". Independent of the process locale; safe from any thread.
namespace ByteCountFormat {

std::string text(std::int64_t bytes);

} // namespace ByteCountFormat
