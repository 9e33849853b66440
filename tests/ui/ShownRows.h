// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Views/FileListRoles.h"
#include "Views/FileListView.h"

#include <QMimeData>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

/// What a working screen's list shows, read through its models as the row delegate reads
/// them: the queued files and the result rows, in order.
namespace ShownRows {

struct Row {
    QString name, symbol, detail;
    std::optional<QString> saved; // the file behind "Reveal"
    bool dragsFile = false;       // a drag of the row carries a file URL
};

inline Row rowAt(const QModelIndex& index) {
    using namespace FileListRoles;
    Row row{index.data(Qt::DisplayRole).toString(), index.data(SymbolRole).toString(),
            index.data(DetailRole).toString(), std::nullopt, false};
    const QString saved = index.data(SavedPathRole).toString();
    if (!saved.isNull()) {
        row.saved = saved;
    }
    if (index.flags() & Qt::ItemIsDragEnabled) {
        std::unique_ptr<QMimeData> data(index.model()->mimeData({index}));
        row.dragsFile = data && data->hasUrls();
    }
    return row;
}

inline std::vector<Row> queued(FileListView& list) {
    std::vector<Row> rows;
    for (std::size_t i = 0; i < list.queueModel().fileCount(); ++i) {
        rows.push_back(rowAt(list.model()->index(list.queueRow(i), 0)));
    }
    return rows;
}

inline QStringList queuedNames(FileListView& list) {
    QStringList names;
    for (const Row& row : queued(list)) {
        names << row.name;
    }
    return names;
}

inline std::vector<Row> results(FileListView& list) {
    std::vector<Row> rows;
    for (std::size_t i = 0; i < list.resultModel().resultCount(); ++i) {
        rows.push_back(rowAt(list.model()->index(list.resultRow(i), 0)));
    }
    return rows;
}

} // namespace ShownRows
