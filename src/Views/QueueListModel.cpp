// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/QueueListModel.h"

#include "Views/ByteText.h"
#include "Views/FileListRoles.h"
#include "Views/LocalPath.h"
#include "Workflows/CompressWorkflow.h"

#include <utility>

using namespace FileListRoles;

QueueListModel::QueueListModel(Look look, QObject* parent)
    : QAbstractListModel(parent), m_look(std::move(look)) {}

bool QueueListModel::hasHeading() const {
    return m_look.heading || !m_look.headingFormat.isEmpty();
}

int QueueListModel::headingRows() const {
    return hasHeading() && !m_files.empty() ? 1 : 0;
}

int QueueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : headingRows() + static_cast<int>(m_files.size());
}

std::optional<std::size_t> QueueListModel::positionOf(int row) const {
    const int position = row - headingRows();
    if (position < 0 || position >= static_cast<int>(m_files.size())) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(position);
}

Qt::ItemFlags QueueListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // A heading is enabled so that a screen reader walking the list reads it.
    if (!positionOf(index.row())) {
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant QueueListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const std::optional<std::size_t> position = positionOf(index.row());
    return position ? fileData(m_files[*position], role) : headingData(role);
}

QVariant QueueListModel::headingData(int role) const {
    switch (role) {
    case KindRole:
        return static_cast<int>(RowKind::heading);
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return m_look.heading ? m_look.heading(m_files.size())
                              : m_look.headingFormat.arg(m_files.size());
    default:
        return {};
    }
}

QVariant QueueListModel::fileData(const File& file, int role) const {
    switch (role) {
    case KindRole:
        return static_cast<int>(RowKind::queued);
    case Qt::DisplayRole:
        return LocalPath::toQString(file.source.filename());
    case Qt::ToolTipRole:
        return LocalPath::toQString(file.source);
    case Qt::AccessibleTextRole:
        return m_look.showsSize ? LocalPath::toQString(file.source.filename()) +
                                      QStringLiteral(", ") + sizeText(file)
                                : LocalPath::toQString(file.source.filename());
    case SymbolRole:
        return m_look.symbol;
    case DetailRole:
        return m_look.showsSize ? sizeText(file) : QString();
    default:
        return {};
    }
}

const QString& QueueListModel::sizeText(const File& file) const {
    if (!file.size) {
        file.size = ByteText::text(CompressWorkflow::fileSize(file.source));
    }
    return *file.size;
}

void QueueListModel::sync(std::size_t count, const SourceAt& sourceAt) {
    const std::size_t shown = m_files.size();
    // Appending keeps every earlier item, so checking the last one shown tells it apart.
    if (count > shown && (shown == 0 || sourceAt(shown - 1) == m_files[shown - 1].source)) {
        append(count, sourceAt);
    } else if (count < shown) {
        if (!removeMissing(count, sourceAt)) {
            rebuild(count, sourceAt);
        }
    } else if (count != shown) {
        rebuild(count, sourceAt);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            if (sourceAt(i) != m_files[i].source) {
                rebuild(count, sourceAt);
                return;
            }
        }
    }
}

void QueueListModel::append(std::size_t count, const SourceAt& sourceAt) {
    const bool headingAppears = hasHeading() && m_files.empty();
    const int first = rowCount();
    const int last = first + (headingAppears ? 1 : 0) + static_cast<int>(count - m_files.size());
    beginInsertRows({}, first, last - 1);
    m_files.reserve(count);
    for (std::size_t i = m_files.size(); i < count; ++i) {
        m_files.push_back(File{sourceAt(i), std::nullopt});
    }
    endInsertRows();
    if (headingRows() > 0 && !headingAppears) {
        emit dataChanged(index(0), index(0));
    }
}

// Items taken out leave the others in order, so one pass pairs every item still queued with
// its row; the rows left unpaired go, a run of neighbours at a time, from the last run back.
bool QueueListModel::removeMissing(std::size_t count, const SourceAt& sourceAt) {
    std::vector<bool> keep(m_files.size(), false);
    std::size_t next = 0;
    for (std::size_t i = 0; i < m_files.size() && next < count; ++i) {
        if (m_files[i].source == sourceAt(next)) {
            keep[i] = true;
            ++next;
        }
    }
    if (next != count) {
        return false;
    }
    if (count == 0) {
        // What a finished batch does: a reset spares the view its row-by-row bookkeeping.
        beginResetModel();
        m_files.clear();
        endResetModel();
        return true;
    }
    const int heading = headingRows();
    for (std::size_t end = m_files.size(); end > 0;) {
        if (keep[end - 1]) {
            --end;
            continue;
        }
        std::size_t begin = end - 1;
        while (begin > 0 && !keep[begin - 1]) {
            --begin;
        }
        beginRemoveRows({}, heading + static_cast<int>(begin), heading + static_cast<int>(end) - 1);
        m_files.erase(m_files.begin() + static_cast<std::ptrdiff_t>(begin),
                      m_files.begin() + static_cast<std::ptrdiff_t>(end));
        endRemoveRows();
        end = begin;
    }
    if (heading > 0) {
        emit dataChanged(index(0), index(0));
    }
    return true;
}

void QueueListModel::rebuild(std::size_t count, const SourceAt& sourceAt) {
    beginResetModel();
    m_files.clear();
    m_files.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        m_files.push_back(File{sourceAt(i), std::nullopt});
    }
    endResetModel();
}
