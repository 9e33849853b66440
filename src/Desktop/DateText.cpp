// SPDX-License-Identifier: GPL-3.0-or-later
#include "Desktop/DateText.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

struct DateText::Format {
    std::unique_ptr<icu::SimpleDateFormat> format;
};

namespace {

// "j" asks for the locale's preferred hour cycle; the skeleton's letters say which fields
// appear, and the generator supplies their order, separators and widths.
constexpr char16_t kSkeleton[] = u"MMMdjmm";

icu::UnicodeString toUnicode(const QString& text) {
    return icu::UnicodeString(reinterpret_cast<const UChar*>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

QString toQString(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

icu::Locale localeFor(const QString& name) {
    // "es_ES.UTF-8" and "de_DE@euro" carry parts ICU does not need for formatting.
    // The default locale is the system's unless a test sets another.
    const QString base = (name.isEmpty() ? QLocale().name() : name).section('.', 0, 0);
    return icu::Locale::createCanonical(base.section('@', 0, 0).toUtf8().constData());
}

std::unique_ptr<icu::TimeZone> zoneFor(const QString& id) {
    if (id.isEmpty())
        return std::unique_ptr<icu::TimeZone>(icu::TimeZone::detectHostTimeZone());
    return std::unique_ptr<icu::TimeZone>(icu::TimeZone::createTimeZone(toUnicode(id)));
}

std::unique_ptr<icu::SimpleDateFormat> makeFormat(const icu::Locale& locale,
                                                  std::unique_ptr<icu::TimeZone> zone) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status))
        return nullptr;
    const icu::UnicodeString pattern =
        generator->getBestPattern(icu::UnicodeString(kSkeleton), status);
    auto format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
    if (U_FAILURE(status))
        return nullptr;
    if (zone)
        format->adoptTimeZone(zone.release());
    return format;
}

} // namespace

DateText::DateText(const QString& localeName, const QString& zoneId) {
    if (auto format = makeFormat(localeFor(localeName), zoneFor(zoneId)))
        m_format = std::make_unique<Format>(Format{std::move(format)});
}

DateText::~DateText() = default;

QString DateText::text(std::chrono::sys_seconds date) const {
    const auto seconds = date.time_since_epoch().count();
    if (!m_format) {
        // Only when ICU has no data at all: the same fields, in Qt's spelling, UTC.
        const QDateTime utc = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
        return QLocale().toString(utc, QStringLiteral("MMM d, HH:mm"));
    }
    icu::UnicodeString out;
    m_format->format->format(static_cast<UDate>(seconds) * 1000.0, out);
    return toQString(out);
}
