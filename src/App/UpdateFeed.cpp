// SPDX-License-Identifier: GPL-3.0-or-later
#include "App/UpdateFeed.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <algorithm>

namespace UpdateFeed {
namespace {

const QString kSparkleNamespace =
    QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

// What one <item> says, before the version is chosen.
struct RawItem {
    QString title;
    QString shortVersion;
    QString version;
    QString url;
    QString notes;
};

bool isSparkle(const QXmlStreamReader& reader, QStringView name) {
    return reader.namespaceUri() == kSparkleNamespace && reader.name() == name;
}

void readEnclosure(const QXmlStreamReader& reader, RawItem& item) {
    const QXmlStreamAttributes attributes = reader.attributes();
    item.url = attributes.value(QStringLiteral("url")).toString().trimmed();
    const auto shortVersion =
        attributes.value(kSparkleNamespace, QStringLiteral("shortVersionString"));
    const auto version = attributes.value(kSparkleNamespace, QStringLiteral("version"));
    if (!shortVersion.isEmpty()) {
        item.shortVersion = shortVersion.toString();
    }
    if (!version.isEmpty()) {
        item.version = version.toString();
    }
}

// Reads the children of an <item> up to its end tag.
RawItem readItem(QXmlStreamReader& reader) {
    RawItem item;
    while (reader.readNextStartElement()) {
        if (reader.namespaceUri().isEmpty() && reader.name() == u"title") {
            item.title = reader.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (reader.namespaceUri().isEmpty() && reader.name() == u"description") {
            item.notes = reader.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (reader.namespaceUri().isEmpty() && reader.name() == u"enclosure") {
            readEnclosure(reader, item);
            reader.skipCurrentElement();
        } else if (isSparkle(reader, u"shortVersionString")) {
            item.shortVersion = reader.readElementText();
        } else if (isSparkle(reader, u"version")) {
            item.version = reader.readElementText();
        } else {
            reader.skipCurrentElement();
        }
    }
    return item;
}

// The display version is what users and the application's own version speak; a build number
// in sparkle:version is only used when nothing else is given.
std::optional<QList<int>> versionOf(const RawItem& item, QString& text) {
    static const QRegularExpression inTitle(QStringLiteral("(\\d+(?:\\.\\d+)+)"));
    QString title;
    if (const auto match = inTitle.match(item.title); match.hasMatch()) {
        title = match.captured(1);
    }
    for (const QString& candidate : {item.shortVersion, item.version, title}) {
        if (auto parsed = parseVersion(candidate)) {
            text = candidate.trimmed();
            return parsed;
        }
    }
    return std::nullopt;
}

QUrl downloadLink(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    // A feed comes from the network: only web links are ever handed to the desktop to open.
    const bool web = url.scheme() == u"https" || url.scheme() == u"http";
    return url.isValid() && web && !url.host().isEmpty() ? url : QUrl();
}

} // namespace

std::optional<AppcastItem> newestItem(const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    std::optional<AppcastItem> newest;
    std::optional<QList<int>> newestVersion;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement() || reader.name() != u"item" ||
            !reader.namespaceUri().isEmpty()) {
            continue;
        }
        const RawItem raw = readItem(reader);
        QString versionText;
        const auto version = versionOf(raw, versionText);
        if (version && (!newestVersion || compareVersions(*version, *newestVersion) > 0)) {
            newestVersion = version;
            newest = AppcastItem{raw.title.trimmed(), versionText, downloadLink(raw.url),
                                 raw.notes.trimmed()};
        }
    }
    if (reader.hasError()) {
        return std::nullopt;
    }
    return newest;
}

std::optional<QList<int>> parseVersion(QStringView text) {
    text = text.trimmed();
    if (text.startsWith(u'v') || text.startsWith(u'V')) {
        text = text.mid(1);
    }
    if (text.isEmpty()) {
        return std::nullopt;
    }
    QList<int> parts;
    for (const QStringView part : text.split(u'.')) {
        bool ok = false;
        const int value = part.toInt(&ok);
        const bool digitsOnly =
            !part.isEmpty() &&
            std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (!ok || !digitsOnly) {
            return std::nullopt;
        }
        parts.append(value);
    }
    return parts;
}

int compareVersions(const QList<int>& a, const QList<int>& b) {
    const qsizetype count = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < count; ++i) {
        const int left = i < a.size() ? a[i] : 0;
        const int right = i < b.size() ? b[i] : 0;
        if (left != right) {
            return left < right ? -1 : 1;
        }
    }
    return 0;
}

} // namespace UpdateFeed
