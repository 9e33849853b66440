// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

/// The queued files of a working screen as list rows (FileListRoles), in queue order, under an
/// optional heading row that counts them ("TO COMPRESS · 12"). A file row shows the screen's
/// symbol, the file name and, when the screen asks for it, the file's size, read from disk
/// the first time the row is asked for: listing 10,000 files reads none of them up front.
///
/// It mirrors a queue kept elsewhere (the screen's BatchController): call sync() after every
/// change of that queue. UI thread only.
class QueueListModel : public QAbstractListModel {
public:
    struct Look {
        QString symbol;        // drawn on every file row
        QString headingFormat; // "%1" stands for the number of files; empty: no heading
        bool showsSize = false;
        /// The heading for a number of files, in place of `headingFormat` when set (for
        /// texts whose words follow the number).
        std::function<QString(std::size_t files)> heading{};
    };
    /// The source file of the queue item at a position.
    using SourceAt = std::function<const std::filesystem::path&(std::size_t position)>;

    explicit QueueListModel(Look look, QObject* parent = nullptr);

    /// Brings the rows in line with a queue of `count` items after one change of it: items
    /// appended at the end (costs only the new rows), some taken out, or the queue emptied.
    /// Any other change is shown by rebuilding every row.
    void sync(std::size_t count, const SourceAt& sourceAt);

    std::size_t fileCount() const { return m_files.size(); }
    /// The queue position a row shows; none for the heading or an invalid row.
    std::optional<std::size_t> positionOf(int row) const;

    /// The row that shows a position (valid positions only).
    int rowOf(std::size_t position) const { return headingRows() + static_cast<int>(position); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct File {
        std::filesystem::path source;
        mutable std::optional<QString> size; // read when first shown
    };

    bool hasHeading() const;
    int headingRows() const;
    QVariant headingData(int role) const;
    QVariant fileData(const File& file, int role) const;
    const QString& sizeText(const File& file) const;
    void append(std::size_t count, const SourceAt& sourceAt);
    bool removeMissing(std::size_t count, const SourceAt& sourceAt);
    void rebuild(std::size_t count, const SourceAt& sourceAt);

    Look m_look;
    std::vector<File> m_files;
};
