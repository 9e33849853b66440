// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <memory>

/// Dates as short "month day, time" texts in a locale's own order and words: the abbreviated
/// month name, the day of the month, the hour and the minutes, with no year, weekday or
/// seconds. The hour cycle (12 or 24 hours, with an AM/PM marker where used) is the locale's
/// preference, for example "Dec 8, 3:04 PM" in en_US and "8 dic, 15:04" in es_ES. ICU builds
/// the pattern from a skeleton, so the order and separators are the locale's.
///
/// Building the formatter costs about a millisecond; make one and reuse it for many dates.
/// Threading: an instance is not safe to use from several threads at once. Nothing global is
/// changed (no default locale or zone is set).
class DateText {
public:
    /// `localeName`: a locale identifier such as "en_US", "de_DE" or "es_ES.UTF-8"; empty
    /// means the process's locale as Qt reports it. `zoneId`: a time zone identifier such as
    /// "UTC" or "Europe/Madrid"; empty means the host's zone. Unknown names fall back to ICU's
    /// root locale and to GMT respectively.
    explicit DateText(const QString& localeName = {}, const QString& zoneId = {});
    ~DateText();
    DateText(const DateText&) = delete;
    DateText& operator=(const DateText&) = delete;

    QString text(std::chrono::sys_seconds date) const;

private:
    struct Format;
    std::unique_ptr<Format> m_format; // null only when ICU could not build a formatter
};
