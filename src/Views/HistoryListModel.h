// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/HistoryEntry.h"

#include <QAbstractListModel>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class DateText;
class HistoryStore;

/// The history store's entries as rows for HistoryRowDelegate, in the store's order (newest
/// first). It follows the store change by change: a recorded batch inserts its rows at the
/// top and removes those the store trimmed at the bottom, and a clear removes every row, so a
/// view of a thousand rows redraws only what changed. A row's texts (subtitle, date) are made
/// the first time it is asked for.
///
/// Item data: Qt::DisplayRole and Qt::ToolTipRole the input name, Qt::AccessibleTextRole the
/// name, subtitle and date, and HistoryRowDelegate's roles.
/// UI thread only. The store must outlive the model.
class HistoryListModel : public QAbstractListModel {
public:
    explicit HistoryListModel(const HistoryStore& store, QObject* parent = nullptr);
    ~HistoryListModel() override;

    /// Brings the rows in line with the store after one change of it.
    void follow();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct Texts {
        QString input, subtitle, date, symbol;
    };
    struct Row {
        HistoryEntry entry;
        mutable std::optional<Texts> texts;
    };

    const Texts& texts(const Row& row) const;
    bool followBatch();
    void rebuild();

    const HistoryStore& m_store;
    std::unique_ptr<DateText> m_dates;
    std::vector<Row> m_rows;
};
