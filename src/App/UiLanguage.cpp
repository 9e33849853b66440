// SPDX-License-Identifier: GPL-3.0-or-later
#include "App/UiLanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

UiLanguage::UiLanguage(const QLocale& locale) {
    for (QString language : locale.uiLanguages()) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        // The source texts are English: a preferred English stops the search.
        if (language == u"C" || language.startsWith(QLatin1String("en")) || install(language))
            return;
    }
}

UiLanguage::~UiLanguage() {
    for (const auto& translator : m_translators)
        QCoreApplication::removeTranslator(translator.get());
}

QStringList UiLanguage::folders() {
    const QDir executable(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(executable.filePath(QStringLiteral("../share/parvo/translations"))),
            QStringLiteral(PARVO_TRANSLATIONS_BUILD_DIR)};
}

// "es_ES" finds parvo_es_ES.qm or else parvo_es.qm (QTranslator drops the parts after "_").
bool UiLanguage::install(const QString& language) {
    auto own = std::make_unique<QTranslator>();
    bool found = false;
    for (const QString& folder : folders()) {
        if ((found = own->load(QStringLiteral("parvo_") + language, folder)))
            break;
    }
    if (!found)
        return false;
    m_language = own->language();
    QCoreApplication::installTranslator(own.get());
    m_translators.push_back(std::move(own));
    // Qt's words in its standard dialogs (file chooser, message boxes); absent is no failure.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(QStringLiteral("qtbase_") + language,
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        m_translators.push_back(std::move(qt));
    }
    return true;
}
