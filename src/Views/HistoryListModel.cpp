// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/HistoryListModel.h"

#include "Desktop/DateText.h"
#include "History/HistoryStore.h"
#include "Views/HistoryRowDelegate.h"
#include "Views/HistoryView.h"

#include <algorithm>

HistoryListModel::HistoryListModel(const HistoryStore& store, QObject* parent)
    : QAbstractListModel(parent), m_store(store), m_dates(std::make_unique<DateText>()) {
    rebuild();
}

HistoryListModel::~HistoryListModel() = default;

int HistoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

const HistoryListModel::Texts& HistoryListModel::texts(const Row& row) const {
    if (!row.texts) {
        const HistoryEntry& entry = row.entry;
        row.texts = Texts{QString::fromStdString(entry.input), HistoryView::subtitle(entry),
                          m_dates->text(entry.date),
                          HistoryView::iconName(QString::fromStdString(entry.mode))};
    }
    return *row.texts;
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return texts(row).input;
    case Qt::AccessibleTextRole:
        return texts(row).input + QStringLiteral(", ") + texts(row).subtitle +
               QStringLiteral(", ") + texts(row).date;
    case HistoryRowDelegate::SubtitleRole:
        return texts(row).subtitle;
    case HistoryRowDelegate::DateRole:
        return texts(row).date;
    case HistoryRowDelegate::SymbolRole:
        return texts(row).symbol;
    case HistoryRowDelegate::OutputPathRole:
        return row.entry.outputPath ? QVariant(QString::fromStdString(*row.entry.outputPath))
                                    : QVariant();
    default:
        return {};
    }
}

void HistoryListModel::follow() {
    if (!followBatch()) {
        rebuild();
    }
}

// The store only puts a batch in front and trims the oldest, or clears: when the first row
// shown is found again at k, the k entries before it are new and the rows beyond what is left
// were trimmed. Anything else is followed by a rebuild.
bool HistoryListModel::followBatch() {
    const std::vector<HistoryEntry>& entries = m_store.entries();
    if (m_rows.empty() || entries.empty()) {
        return false;
    }
    const auto first = std::find_if(entries.begin(), entries.end(), [&](const HistoryEntry& e) {
        return e.id == m_rows.front().entry.id;
    });
    const auto added = static_cast<std::size_t>(first - entries.begin());
    const std::size_t kept = entries.size() - added;
    if (first == entries.end() || kept > m_rows.size() ||
        entries.back().id != m_rows[kept - 1].entry.id) {
        return false;
    }
    if (kept < m_rows.size()) {
        beginRemoveRows({}, static_cast<int>(kept), rowCount() - 1);
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(kept), m_rows.end());
        endRemoveRows();
    }
    if (added > 0) {
        beginInsertRows({}, 0, static_cast<int>(added) - 1);
        std::vector<Row> fresh;
        fresh.reserve(added);
        for (std::size_t i = 0; i < added; ++i) {
            fresh.push_back(Row{entries[i], std::nullopt});
        }
        m_rows.insert(m_rows.begin(), std::make_move_iterator(fresh.begin()),
                      std::make_move_iterator(fresh.end()));
        endInsertRows();
    }
    return true;
}

void HistoryListModel::rebuild() {
    beginResetModel();
    m_rows.clear();
    for (const HistoryEntry& entry : m_store.entries()) {
        m_rows.push_back(Row{entry, std::nullopt});
    }
    endResetModel();
}
