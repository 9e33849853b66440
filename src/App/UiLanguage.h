// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QTranslator;

/// The window's language: while it lives, Parvo's translation for the first of the locale's
/// interface languages that Parvo is translated into (LANGUAGE, LC_ALL, LC_MESSAGES, LANG as
/// Qt reads them), and Qt's own for its standard dialogs, are installed on the application.
/// English, or a language listed before any translated one, installs nothing: the texts in
/// the code are English. Create after the QApplication, on the UI thread.
class UiLanguage {
public:
    explicit UiLanguage(const QLocale& locale = QLocale::system());
    ~UiLanguage();
    UiLanguage(const UiLanguage&) = delete;
    UiLanguage& operator=(const UiLanguage&) = delete;

    /// The language installed ("es"), empty for English.
    QString language() const { return m_language; }

    /// Where parvo_<language>.qm is looked for, in order: installed beside the executable
    /// (../share/parvo/translations), then the build tree's.
    static QStringList folders();

private:
    bool install(const QString& language);

    QString m_language;
    std::vector<std::unique_ptr<QTranslator>> m_translators;
};
