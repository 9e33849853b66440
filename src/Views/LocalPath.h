// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>
#include <filesystem>

/// Converting file locations between Qt strings and std::filesystem paths without loss: the
/// file system's own encoding (UTF-8 on Linux and macOS, UTF-16 on Windows) is used both ways.
/// Pure; safe from any thread.
namespace LocalPath {

inline std::filesystem::path fromQString(const QString& location) {
#ifdef Q_OS_WIN
    return std::filesystem::path(location.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(location).toStdString());
#endif
}

inline QString toQString(const std::filesystem::path& location) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(location.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(location.native()));
#endif
}

} // namespace LocalPath
