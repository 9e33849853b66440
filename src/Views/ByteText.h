// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>

/// Byte counts as ByteCountFormat writes them (same units, rounding and dropped zeros), with
/// the number in `locale`'s digits and decimal separator and the words ("Zero KB", "bytes")
/// in the user's language: "1.1 MB" under English, "1,1 MB" under Spanish.
namespace ByteText {

QString text(std::int64_t bytes, const QLocale& locale = QLocale());

} // namespace ByteText
