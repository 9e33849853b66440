// SPDX-License-Identifier: GPL-3.0-or-later
// The window in Spanish and in English: every text a user sees or hears is translated, the
// English words stay the core's, and composed texts follow the language's plurals and digits.
#include "App/MainWindow.h"
#include "App/ParvoApp.h"
#include "App/UiLanguage.h"
#include "App/UpdaterController.h"
#include "Desktop/DateText.h"
#include "History/HistoryEntry.h"
#include "Views/ByteText.h"
#include "Views/CompressView.h"
#include "Views/HistoryView.h"
#include "Views/OutcomeWords.h"
#include "Views/PDFToolsView.h"
#include "Workflows/ByteCountFormat.h"
#include "Workflows/PDFToolsWorkflow.h"
#include "Workflows/TargetChoice.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>
#include <memory>

namespace {

const QLocale kSpanish(QLocale::Spanish, QLocale::Spain);

// Every text of a widget a user reads or a screen reader speaks.
QStringList textsOf(const QWidget& widget) {
    QStringList texts{widget.toolTip(), widget.accessibleName(), widget.accessibleDescription()};
    if (auto* label = qobject_cast<const QLabel*>(&widget))
        texts << label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(&widget))
        texts << button->text();
    if (auto* field = qobject_cast<const QLineEdit*>(&widget))
        texts << field->placeholderText();
    if (auto* spin = qobject_cast<const QSpinBox*>(&widget))
        texts << spin->prefix();
    if (auto* combo = qobject_cast<const QComboBox*>(&widget)) {
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    }
    return texts;
}

// The tab's label, then the texts of its screen's widgets in creation order, so that the
// English and the Spanish run line up one to one; the first tab adds the menus.
QStringList windowTexts(MainWindow& window, int tab) {
    QStringList texts{window.tabs()->tabText(tab)};
    for (const QWidget* widget : window.tabs()->widget(tab)->findChildren<QWidget*>())
        texts << textsOf(*widget);
    if (tab == 0) {
        for (const QAction* menu : window.menuBar()->actions()) {
            texts << menu->text();
            for (const QAction* action : menu->menu()->actions())
                texts << action->text();
        }
    }
    return texts;
}

struct Run {
    std::unique_ptr<UiLanguage> language;
    std::unique_ptr<ParvoApp> app;
    MainWindow* window = nullptr;
};

Run openIn(const QLocale& locale) {
    Run run;
    run.language = std::make_unique<UiLanguage>(locale);
    run.app = std::make_unique<ParvoApp>(std::filesystem::path(),
                                         new UpdaterController(QUrl(), QStringLiteral("1.0")));
    run.window = run.app->openWindow();
    return run;
}

} // namespace

class TranslationTests : public QObject {
    Q_OBJECT

private slots:
    void everyScreenInSpanish_data();
    void everyScreenInSpanish();
    void englishNotesAreTheCores();
    void spanishPluralsSizesAndDates();
};

void TranslationTests::everyScreenInSpanish_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("english");
    QTest::addColumn<QStringList>("spanish");
    QTest::newRow("Compress") << 0 << QStringList{"Compress",      "Keep text and links",
                                                  "Add Folder…",   "Drop images, PDFs or a folder",
                                                  "Email (10 MB)", "Stop (Esc)",
                                                  "&File",         "Check for Updates…"}
                              << QStringList{"Comprimir",      "Conservar texto", "Añadir carpeta…",
                                             "Correo (10 MB)", "Detener (Esc)",   "&Archivo"};
    QTest::newRow("PDF Tools") << 1 << QStringList{"PDF Tools", "Split at bookmarks",
                                                   "every ",    "Keep bookmarks",
                                                   "Run",       "Page range"}
                               << QStringList{"Herramientas PDF", "Dividir por marcadores", "cada ",
                                              "Conservar marcadores", "Ejecutar"};
    QTest::newRow("OCR") << 2
                         << QStringList{"OCR", "Make searchable", "Run OCR",
                                        "Keep bookmarks and links"}
                         << QStringList{"OCR", "Ejecutar OCR", "Conservar marcadores y enlaces"};
    QTest::newRow("History") << 3 << QStringList{"History", "No history yet", "Clear"}
                             << QStringList{"Historial", "Aún no hay historial", "Vaciar"};
}

void TranslationTests::everyScreenInSpanish() {
    QFETCH(int, tab);
    QFETCH(QStringList, english);
    QFETCH(QStringList, spanish);
    QStringList inEnglish;
    {
        Run run = openIn(QLocale::c());
        QVERIFY(run.language->language().isEmpty());
        inEnglish = windowTexts(*run.window, tab);
    }
    Run run = openIn(kSpanish);
    QCOMPARE(run.language->language(), QStringLiteral("es"));
    const QStringList inSpanish = windowTexts(*run.window, tab);
    QCOMPARE(inSpanish.size(), inEnglish.size());
    for (const QString& text : english)
        QVERIFY2(inEnglish.contains(text), qPrintable(text));
    for (const QString& text : spanish)
        QVERIFY2(inSpanish.contains(text), qPrintable(text));
    // Words the same in both languages, and texts without words.
    const QStringList same = {"OCR", "Parvo", "Web (1 MB)", "1-5"};
    for (qsizetype i = 0; i < inEnglish.size(); ++i) {
        const bool hasWords = inEnglish[i].contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
        if (hasWords && !same.contains(inEnglish[i]))
            QVERIFY2(inSpanish[i] != inEnglish[i], qPrintable(inEnglish[i]));
    }
    // The longer words still fit the window's smallest content.
    QVERIFY2(
        run.window->tabs()->widget(tab)->minimumSizeHint().width() <=
            MainWindow::kMinimumContentSize.width(),
        qPrintable(QString::number(run.window->tabs()->widget(tab)->minimumSizeHint().width())));
}

// Under English every note, label and size is the core's text, for every outcome on every
// screen and read back from the history.
void TranslationTests::englishNotesAreTheCores() {
    OutcomeText::Details details{{std::make_error_code(std::errc::no_space_on_device),
                                  "No space left on device",
                                  {WorkerLoss::Kind::timedOut, 0, std::chrono::seconds(600)}},
                                 3,
                                 "2 MB"};
    for (int outcome = 0; outcome <= static_cast<int>(FileOutcome::engineMissing); ++outcome) {
        for (const Screen screen : {Screen::compress, Screen::ocr, Screen::pdfTools}) {
            const auto kind = static_cast<FileOutcome>(outcome);
            const std::string core = OutcomeText::note(screen, kind, details);
            QCOMPARE(OutcomeWords::note(screen, kind, details).toStdString(), core);
            QCOMPARE(OutcomeWords::storedNote(screen, core).toStdString(), core);
        }
        CompressWorkflow::Outcome row;
        row.before = 2'345'678;
        row.after = 1'100'000;
        row.outcome = static_cast<FileOutcome>(outcome);
        row.cause = details.cause;
        row.targetLabel = "1 MB";
        QCOMPARE(OutcomeWords::compressResult(row).toStdString(),
                 CompressWorkflow::resultText(row));
    }
    for (const auto choice : CompressWorkflow::kTargetChoices)
        QCOMPARE(CompressView::targetText(choice).toStdString(), CompressWorkflow::label(choice));
    for (const auto op : PDFToolsWorkflow::kOps)
        QCOMPARE(PDFToolsView::opText(op).toStdString(), PDFToolsWorkflow::label(op));
    for (const std::int64_t bytes : {0LL, 1LL, 999LL, 999'500LL, 1'250'000'000LL, -2'400'000LL})
        QCOMPARE(ByteText::text(bytes, QLocale::c()).toStdString(), ByteCountFormat::text(bytes));
}

void TranslationTests::spanishPluralsSizesAndDates() {
    const UiLanguage language(kSpanish);
    const struct {
        int count;
        const char* merged;
        const char* bytes;
    } plurals[] = {
        {1, "1 página", "1 byte"}, {2, "2 páginas", "2 bytes"}, {5, "5 páginas", "5 bytes"}};
    for (const auto& each : plurals) {
        QCOMPARE(OutcomeWords::note(Screen::pdfTools, FileOutcome::merged, {{}, each.count, {}}),
                 QString::fromUtf8(each.merged));
        QCOMPARE(ByteText::text(each.count, kSpanish), QString::fromUtf8(each.bytes));
    }
    QCOMPARE(ByteText::text(1'100'000, kSpanish), QStringLiteral("1,1 MB"));
    QCOMPARE(ByteText::text(0, kSpanish), QStringLiteral("Cero KB"));
    // A stored English note is shown in Spanish with its details kept.
    QCOMPARE(OutcomeWords::storedNote(Screen::compress, "Couldn't save: disk full"),
             QStringLiteral("No se pudo guardar: disk full"));
    QCOMPARE(OutcomeWords::storedNote(Screen::ocr, "Couldn't process \u2014 took longer than 90 s"),
             QStringLiteral("No se pudo procesar: tardó más de 90 s"));
    QCOMPARE(OutcomeWords::storedNote(Screen::pdfTools, "12p"), QStringLiteral("12 págs."));
    QCOMPARE(OutcomeWords::storedNote(Screen::ocr, "a note of another version"),
             QStringLiteral("a note of another version"));
    QLocale::setDefault(kSpanish);
    HistoryEntry entry = HistoryEntry::make("Compress", "a.png", [] {
        return std::chrono::system_clock::time_point(std::chrono::sys_days{});
    });
    entry.before = 2'000'000;
    entry.after = 1'100'000;
    entry.note = "above the 1 MB target";
    QCOMPARE(HistoryView::subtitle(entry),
             QStringLiteral("Comprimir \u00B7 2 MB \u2192 1,1 MB (\u221244 %) \u00B7 por encima "
                            "del objetivo de 1 MB"));
    QLocale::setDefault(QLocale::c());
    // 5 January, in Spanish month words and the locale's order.
    const auto date =
        std::chrono::sys_seconds(std::chrono::sys_days{std::chrono::January / 5 / 2026}) +
        std::chrono::hours(14) + std::chrono::minutes(30);
    QCOMPARE(DateText(QStringLiteral("es_ES"), QStringLiteral("UTC")).text(date).left(5),
             QStringLiteral("5 ene"));
}

QTEST_MAIN(TranslationTests)
#include "TranslationTests.moc"
