// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

/// What one result row shows, whatever screen made it.
struct ResultRowContent {
    QString name;                     // the input's file name
    std::optional<QString> savedPath; // the file written, absent when nothing was
    QString caption;                  // the size line or the note; may be empty
};

/// The rows of a working screen's last batch as list rows (FileListRoles), under an optional
/// heading ("DONE"); the first row has a divider above it, which parts them from the queue.
/// A result row shows a green check ("checkmark.circle.fill") when it saved a file, else a
/// secondary "info.circle", its name, its caption and, when saved, a "Reveal" link. Dragging
/// rows out carries their saved files (those still there) as file URLs, or an empty item.
///
/// Contents are made when a row is first asked for, so showing 10,000 rows formats only those
/// in sight. UI thread only.
class ResultListModel : public QAbstractListModel {
public:
    /// The content of the row at a position; must stay callable until the next reset().
    using ContentAt = std::function<ResultRowContent(std::size_t position)>;

    explicit ResultListModel(QString heading, QObject* parent = nullptr);

    /// Replaces every row by `count` new ones.
    void reset(std::size_t count, ContentAt contentAt);

    std::size_t resultCount() const { return m_contents.size(); }
    /// The result position a row shows; none for the heading or an invalid row.
    std::optional<std::size_t> positionOf(int row) const;
    const ResultRowContent& content(std::size_t position) const;

    /// The row that shows a position (valid positions only).
    int rowOf(std::size_t position) const { return headingRows() + static_cast<int>(position); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    int headingRows() const;
    QVariant headingData(int role) const;
    QVariant resultData(const ResultRowContent& content, int role) const;

    QString m_heading;
    ContentAt m_contentAt;
    mutable std::vector<std::optional<ResultRowContent>> m_contents;
};
