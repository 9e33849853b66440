// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/HistoryEntry.h"

#include <QWidget>
#include <cstdint>

class HistoryListModel;
class HistoryRowDelegate;
class HistoryStore;
class QLabel;
class QListView;
class QPushButton;
class QStackedWidget;
class StoreWatcher;

/// The History tab: the shared store's entries, newest first, one row each (mode symbol, input
/// name, subtitle, date, and "Reveal" when the entry has an output), under a header with the
/// entry count and "Clear"; an empty state when there are none. It follows the store live:
/// whatever records into it or clears it, from any screen or window, shows at once.
///
/// Apart from Clear it only reads the store. Threading: the UI thread only. The store must
/// outlive the view.
class HistoryView : public QWidget {
    Q_OBJECT

public:
    explicit HistoryView(HistoryStore& history, QWidget* parent = nullptr);
    ~HistoryView() override;

    /// The symbol of a mode, matched on the whole text, case-sensitively: "Compress" →
    /// "doc.zipper", "OCR" → "text.viewfinder", anything else → "doc.on.doc".
    static QString iconName(const QString& mode);

    /// The row's second line: "<mode> · <before> → <after> (−<P>%)" when both sizes are
    /// known, before ≥ 1 and after ≠ before; otherwise "<mode> · <note>", or the mode alone
    /// without a note. P is the saving in whole percent, truncated, never below 0.
    static QString subtitle(const HistoryEntry& entry);

    /// (1 − after ÷ before) × 100 truncated toward zero, raised to 0 when negative.
    /// Requires before ≥ 1.
    static std::int64_t savingPercent(std::int64_t before, std::int64_t after);

protected:
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeEmptyState();
    QListView* makeList();
    void applyStyles();
    void refresh();
    void reveal(const QString& outputPath);

    HistoryStore& m_history;
    StoreWatcher* m_watcher;
    HistoryListModel* m_rows;
    HistoryRowDelegate* m_delegate = nullptr;
    QLabel* m_headerSymbol = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_clear = nullptr;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_emptyState = nullptr;
    QListView* m_list = nullptr;
};
