// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <optional>

/// One release announced by an update feed.
struct AppcastItem {
    QString title;
    QString version;      // dotted numeric, the one compared with the application's own
    QUrl downloadUrl;     // the enclosure's url; empty when the item has none or it is not http(s)
    QString releaseNotes; // the item's description, as given (may be HTML)
};

/// Reading an RSS "appcast" update feed: a channel of items, each announcing a release by a
/// version (`sparkle:shortVersionString` or `sparkle:version`, as attributes of <enclosure> or
/// as elements of the item, or else a dotted number in the title) and a download link (the
/// enclosure's url). Pure functions, safe on any thread.
namespace UpdateFeed {

/// The item with the highest version, or absent when `xml` is not well-formed or announces no
/// item with a dotted numeric version.
std::optional<AppcastItem> newestItem(const QByteArray& xml);

/// "1.10.2" → {1, 10, 2}. Absent unless the text is one or more dot-separated runs of ASCII
/// digits (surrounding white space and a leading "v" allowed).
std::optional<QList<int>> parseVersion(QStringView text);

/// Numeric comparison, component by component, missing components counting as 0
/// (1.2 == 1.2.0 < 1.10): negative, zero or positive.
int compareVersions(const QList<int>& a, const QList<int>& b);

} // namespace UpdateFeed
