// SPDX-License-Identifier: GPL-3.0-or-later
#include "Desktop/DateText.h"
#include "History/HistoryStore.h"
#include "Views/HistoryRowDelegate.h"
#include "Views/HistoryView.h"
#include "Views/StoreWatcher.h"

#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>
#include <optional>

namespace {

// Dates in these tests are fixed instants; the host zone must not move them.
[[maybe_unused]] const bool kUtcZone = [] {
    qputenv("TZ", "UTC");
    tzset();
    return true;
}();

// 2024-12-08T15:04:00Z
constexpr std::chrono::sys_seconds kDate{std::chrono::seconds{1733670240}};

struct Sizes {
    std::optional<std::int64_t> before, after;
};

HistoryEntry makeEntry(const std::string& mode, const std::string& input, Sizes sizes = {},
                       std::optional<std::string> note = {},
                       std::optional<std::string> outputPath = {}) {
    HistoryEntry entry = HistoryEntry::make(
        mode, input, [] { return std::chrono::system_clock::time_point(kDate); });
    entry.before = sizes.before;
    entry.after = sizes.after;
    entry.note = std::move(note);
    entry.outputPath = std::move(outputPath);
    return entry;
}

std::vector<HistoryEntry> manyEntries(int count) {
    std::vector<HistoryEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back(makeEntry("Compress", "photo-" + std::to_string(i) + ".jpg",
                                    {1000 + i, 400}, {}, "/tmp/photo-small.jpg"));
    return entries;
}

// ICU separates the time from its AM/PM marker with a narrow no-break space.
QString plainSpaces(QString text) {
    return text.replace(QChar(0x202F), QLatin1Char(' ')).replace(QChar(0x00A0), QLatin1Char(' '));
}

struct Screen {
    explicit Screen(HistoryStore& store) : view(store) {
        view.resize(760, 520);
        view.show();
    }
    QLabel* count() { return view.findChild<QLabel*>(QStringLiteral("historyCount")); }
    QPushButton* clear() { return view.findChild<QPushButton*>(QStringLiteral("historyClear")); }
    QListView* list() { return view.findChild<QListView*>(QStringLiteral("historyList")); }
    int rows() { return list()->model()->rowCount(); }
    bool showsEmptyState() {
        return view.findChild<QStackedWidget*>()->currentWidget()->objectName() ==
               QStringLiteral("historyEmptyState");
    }
    QModelIndex row(int index) { return list()->model()->index(index, 0); }
    QString rowText(int index, int role = Qt::DisplayRole) {
        return row(index).data(role).toString();
    }
    HistoryView view;
};

} // namespace

class HistoryViewTests : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void emptyStoreShowsTheEmptyStateWithoutCountOrClear() {
        HistoryStore store({});
        Screen screen(store);
        QVERIFY(screen.showsEmptyState());
        QVERIFY(!screen.count()->isVisible());
        QVERIFY(!screen.clear()->isVisible());
        QVERIFY(!screen.clear()->isEnabled());
        QStringList texts;
        for (const QLabel* label : screen.view.findChildren<QLabel*>())
            if (label->isVisible())
                texts << label->text();
        QVERIFY(texts.contains(QStringLiteral("History")));
        QVERIFY(texts.contains(QStringLiteral("No history yet")));
        QVERIFY(texts.contains(QStringLiteral("Your compressions, OCR and PDF operations show up "
                                              "here \u2014 stored only on your computer.")));
    }

    void countAndRowsFollowTheStoreNewestFirst() {
        HistoryStore store({});
        Screen screen(store);
        store.recordBatch({makeEntry("Compress", "one.jpg")});
        QVERIFY(!screen.showsEmptyState());
        QVERIFY(screen.count()->isVisible());
        QCOMPARE(screen.count()->text(), QStringLiteral("1"));
        QVERIFY(screen.clear()->isVisible() && screen.clear()->isEnabled());

        // Recorded by another screen while this one is shown: no event loop turn needed.
        store.recordBatch({makeEntry("OCR", "a.png"), makeEntry("PDF Tools", "b.pdf")});
        QCOMPARE(screen.count()->text(), QStringLiteral("3"));
        QCOMPARE(screen.rows(), 3);
        QCOMPARE(screen.rowText(0), QStringLiteral("b.pdf"));
        QCOMPARE(screen.rowText(1), QStringLiteral("a.png"));
        QCOMPARE(screen.rowText(2), QStringLiteral("one.jpg"));
        QCOMPARE(screen.rowText(0, HistoryRowDelegate::DateRole), DateText().text(kDate));
    }

    void clearEmptiesStoreViewAndFile() {
        const auto file = std::filesystem::path(m_dir.filePath("history.json").toStdString());
        {
            HistoryStore store(file);
            Screen screen(store);
            store.recordBatch({makeEntry("Compress", "a.jpg"), makeEntry("OCR", "b.png")});
            QTest::mouseClick(screen.clear(), Qt::LeftButton);
            QVERIFY(store.entries().empty());
            QVERIFY(screen.showsEmptyState());
            QCOMPARE(screen.rows(), 0);
            QVERIFY(!screen.count()->isVisible());
            QVERIFY(!screen.clear()->isVisible());
        }
        HistoryStore reopened(file);
        QVERIFY(reopened.entries().empty());
        QVERIFY(std::filesystem::exists(file));
    }

    void subtitle_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<qint64>("before"); // -1: absent
        QTest::addColumn<qint64>("after");  // -1: absent
        QTest::addColumn<QString>("note");  // null: absent
        QTest::addColumn<QString>("expected");
        const QString none;
        QTest::newRow("75%") << "Compress" << 1000LL << 250LL << none
                             << "Compress \u00B7 1 KB \u2192 250 bytes (\u221275%)";
        QTest::newRow("66.7% truncated") << "Compress" << 2400000LL << 800000LL << none
                                         << "Compress \u00B7 2.4 MB \u2192 800 KB (\u221266%)";
        QTest::newRow("0.1% is 0") << "Compress" << 1000LL << 999LL << none
                                   << "Compress \u00B7 1 KB \u2192 999 bytes (\u22120%)";
        QTest::newRow("growth is 0") << "Compress" << 1000LL << 1500LL << none
                                     << "Compress \u00B7 1 KB \u2192 2 KB (\u22120%)";
        QTest::newRow("above its target")
            << "Compress" << 3200000LL << 2400000LL << "above the 2 MB target"
            << "Compress \u00B7 3.2 MB \u2192 2.4 MB (\u221225%) \u00B7 above the 2 MB target";
        QTest::newRow("sizes win over note") << "Compress" << 1000LL << 500LL << "Copied"
                                             << "Compress \u00B7 1 KB \u2192 500 bytes (\u221250%)";
        QTest::newRow("equal sizes, note")
            << "Compress" << 1000LL << 1000LL << "Already optimized \u2014 left as is"
            << "Compress \u00B7 Already optimized \u2014 left as is";
        QTest::newRow("equal sizes, no note")
            << "Compress" << 1000LL << 1000LL << none << "Compress";
        QTest::newRow("before 0") << "Compress" << 0LL << 10LL << none << "Compress";
        QTest::newRow("before absent") << "Compress" << -1LL << 10LL << "x"
                                       << "Compress \u00B7 x";
        QTest::newRow("after absent") << "Compress" << 10LL << -1LL << none << "Compress";
        QTest::newRow("pages") << "PDF Tools" << -1LL << -1LL << "3p"
                               << "PDF Tools \u00B7 3p";
        QTest::newRow("failed merge")
            << "PDF Tools" << -1LL << -1LL << "Need at least one valid PDF"
            << "PDF Tools \u00B7 Need at least one valid PDF";
        QTest::newRow("empty note keeps the dot") << "OCR" << -1LL << -1LL << ""
                                                  << "OCR \u00B7 ";
    }

    void subtitle() {
        QFETCH(QString, mode);
        QFETCH(qint64, before);
        QFETCH(qint64, after);
        QFETCH(QString, note);
        QFETCH(QString, expected);
        Sizes sizes;
        if (before >= 0)
            sizes.before = before;
        if (after >= 0)
            sizes.after = after;
        const auto entry =
            makeEntry(mode.toStdString(), "in.jpg", sizes,
                      note.isNull() ? std::nullopt : std::optional(note.toStdString()));
        QCOMPARE(HistoryView::subtitle(entry), expected);

        HistoryStore store({});
        Screen screen(store);
        store.recordBatch({entry});
        QCOMPARE(screen.rowText(0, HistoryRowDelegate::SubtitleRole), expected);
    }

    void iconByExactMode_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("Compress") << "Compress"
                                  << "doc.zipper";
        QTest::newRow("OCR") << "OCR"
                             << "text.viewfinder";
        QTest::newRow("PDF Tools") << "PDF Tools"
                                   << "doc.on.doc";
        QTest::newRow("ocr") << "ocr"
                             << "doc.on.doc";
        QTest::newRow("compress") << "compress"
                                  << "doc.on.doc";
        QTest::newRow("trailing space") << "Compress "
                                        << "doc.on.doc";
        QTest::newRow("empty") << ""
                               << "doc.on.doc";
    }

    void iconByExactMode() {
        QFETCH(QString, mode);
        QFETCH(QString, symbol);
        QCOMPARE(HistoryView::iconName(mode), symbol);
        HistoryStore store({});
        Screen screen(store);
        store.recordBatch({makeEntry(mode.toStdString(), "x")});
        QCOMPARE(screen.rowText(0, HistoryRowDelegate::SymbolRole), symbol);
    }

    void revealOnlyWithAnOutputPath() {
        HistoryStore store({});
        Screen screen(store);
        const std::string gone = m_dir.filePath("gone-small.jpg").toStdString();
        store.recordBatch({makeEntry("Compress", "none.jpg", {}, "Couldn't save: x"),
                           makeEntry("Compress", "gone.jpg", {}, {}, gone)});
        auto* delegate = qobject_cast<HistoryRowDelegate*>(screen.list()->itemDelegate());
        QVERIFY(delegate);
        // Observe the request instead of opening a file manager from a test.
        QObject::disconnect(delegate, &HistoryRowDelegate::revealRequested, &screen.view, nullptr);
        QSignalSpy requests(delegate, &HistoryRowDelegate::revealRequested);

        const auto rectOf = [&](int row) {
            QStyleOptionViewItem option;
            option.initFrom(screen.list()->viewport());
            option.font = screen.list()->font();
            option.rect = screen.list()->visualRect(screen.row(row));
            return delegate->revealRect(option, screen.list()->model()->index(row, 0));
        };
        const QRect withPath = rectOf(0);
        QVERIFY(!withPath.isEmpty());
        QVERIFY(rectOf(1).isEmpty());

        QTest::mouseClick(screen.list()->viewport(), Qt::LeftButton, {}, withPath.center());
        QCOMPARE(requests.count(), 1);
        QCOMPARE(requests.at(0).at(0).toString(), QString::fromStdString(gone));
        const QRect nameArea = screen.list()->visualRect(screen.row(0));
        QTest::mouseClick(screen.list()->viewport(), Qt::LeftButton, {},
                          QPoint(nameArea.left() + 60, nameArea.center().y()));
        QCOMPARE(requests.count(), 1);
    }

    void twoViewsOnOneStoreBothFollowIt() {
        HistoryStore store({});
        auto first = std::make_unique<Screen>(store);
        Screen second(store);
        store.recordBatch({makeEntry("Compress", "a.jpg")});
        QCOMPARE(first->rows(), 1);
        QCOMPARE(second.rows(), 1);
        QTest::mouseClick(first->clear(), Qt::LeftButton);
        QVERIFY(first->showsEmptyState());
        QVERIFY(second.showsEmptyState());
        first.reset(); // a closed window stops observing
        store.recordBatch({makeEntry("OCR", "b.png")});
        QCOMPARE(second.count()->text(), QStringLiteral("1"));
    }

    void watcherRemovedDuringANotificationIsNotCalled() {
        HistoryStore store({});
        StoreWatcher first(store);
        auto* second = new StoreWatcher(store);
        QSignalSpy secondSpy(second, &StoreWatcher::changed);
        QObject::connect(&first, &StoreWatcher::changed, [&second] {
            delete second;
            second = nullptr;
        });
        store.recordBatch({makeEntry("OCR", "a.png")});
        QCOMPARE(secondSpy.count(), 0);
        QVERIFY(second == nullptr);
    }

    void dateText_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en_US afternoon") << "en_US"
                                         << "UTC"
                                         << "Dec 8, 3:04 PM";
        QTest::newRow("en_US in Madrid") << "en_US"
                                         << "Europe/Madrid"
                                         << "Dec 8, 4:04 PM";
        QTest::newRow("es_ES, 24-hour") << "es_ES"
                                        << "UTC"
                                        << "8 dic, 15:04";
        QTest::newRow("POSIX name") << "es_ES.UTF-8"
                                    << "UTC"
                                    << "8 dic, 15:04";
        QTest::newRow("de_DE, 24-hour") << "de_DE"
                                        << "UTC"
                                        << "8. Dez., 15:04";
    }

    void dateText() {
        QFETCH(QString, locale);
        QFETCH(QString, zone);
        QFETCH(QString, expected);
        QCOMPARE(plainSpaces(DateText(locale, zone).text(kDate)), expected);
    }

    void dateTextUsesTheHostZoneByDefault() {
        QCOMPARE(plainSpaces(DateText(QStringLiteral("en_US")).text(kDate)),
                 QStringLiteral("Dec 8, 3:04 PM"));
    }

    void showingAThousandEntries() {
        HistoryStore store({});
        store.recordBatch(manyEntries(HistoryStore::cap + 200));
        QBENCHMARK {
            Screen screen(store);
            QVERIFY(QTest::qWaitForWindowExposed(&screen.view));
            QCOMPARE(screen.rows(), 1000);
        }
    }

    void recordingWhileAThousandAreShown() {
        HistoryStore store({});
        store.recordBatch(manyEntries(HistoryStore::cap));
        Screen screen(store);
        QVERIFY(QTest::qWaitForWindowExposed(&screen.view));
        const auto batch = manyEntries(5);
        // Only the batch's rows arrive and the trimmed ones leave: the others are not rebuilt.
        QSignalSpy resets(screen.list()->model(), &QAbstractItemModel::modelReset);
        QSignalSpy inserted(screen.list()->model(), &QAbstractItemModel::rowsInserted);
        store.recordBatch(batch);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(screen.rows(), 1000);
        QCOMPARE(screen.rowText(5), QStringLiteral("photo-999.jpg"));
        QCOMPARE(screen.rowText(999), QStringLiteral("photo-5.jpg"));
        QBENCHMARK {
            store.recordBatch(batch);
            screen.list()->repaint();
        }
        QCOMPARE(screen.rowText(0), QStringLiteral("photo-4.jpg"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(HistoryViewTests)
#include "HistoryViewTests.moc"
