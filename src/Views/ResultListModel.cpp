// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/ResultListModel.h"

#include "Desktop/Icons.h"
#include "Views/FileListRoles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <utility>

using namespace FileListRoles;

namespace {

QString statusSymbol(const ResultRowContent& content) {
    return content.savedPath ? QStringLiteral("checkmark.circle.fill")
                             : QStringLiteral("info.circle");
}

QString accessibleText(const ResultRowContent& content) {
    return content.caption.isEmpty() ? content.name
                                     : content.name + QStringLiteral(", ") + content.caption;
}

} // namespace

ResultListModel::ResultListModel(QString heading, QObject* parent)
    : QAbstractListModel(parent), m_heading(std::move(heading)) {}

void ResultListModel::reset(std::size_t count, ContentAt contentAt) {
    beginResetModel();
    m_contentAt = std::move(contentAt);
    m_contents.assign(count, std::nullopt);
    endResetModel();
}

int ResultListModel::headingRows() const {
    return !m_heading.isEmpty() && !m_contents.empty() ? 1 : 0;
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : headingRows() + static_cast<int>(m_contents.size());
}

std::optional<std::size_t> ResultListModel::positionOf(int row) const {
    const int position = row - headingRows();
    if (position < 0 || position >= static_cast<int>(m_contents.size())) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(position);
}

const ResultRowContent& ResultListModel::content(std::size_t position) const {
    std::optional<ResultRowContent>& cached = m_contents.at(position);
    if (!cached) {
        cached = m_contentAt(position);
    }
    return *cached;
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    if (!positionOf(index.row())) {
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (role == DividerAboveRole) {
        return index.row() == 0;
    }
    const std::optional<std::size_t> position = positionOf(index.row());
    return position ? resultData(content(*position), role) : headingData(role);
}

QVariant ResultListModel::headingData(int role) const {
    switch (role) {
    case KindRole:
        return static_cast<int>(RowKind::heading);
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return m_heading;
    default:
        return {};
    }
}

QVariant ResultListModel::resultData(const ResultRowContent& content, int role) const {
    switch (role) {
    case KindRole:
        return static_cast<int>(RowKind::result);
    case Qt::DisplayRole:
        return content.name;
    case Qt::AccessibleTextRole:
        return accessibleText(content);
    case Qt::AccessibleDescriptionRole:
        //: Read by screen readers; %1 says whether the row's file was saved.
        return content.savedPath
                   ? QCoreApplication::translate("ResultListModel",
                                                 "%1; Enter reveals it in the file manager")
                         .arg(Icons::description(statusSymbol(content)))
                   : Icons::description(statusSymbol(content));
    case Qt::ToolTipRole:
        return content.savedPath ? QVariant(*content.savedPath) : QVariant();
    case SymbolRole:
        return statusSymbol(content);
    case DetailRole:
        return content.caption;
    case SavedPathRole:
        return content.savedPath ? QVariant(*content.savedPath) : QVariant();
    default:
        return {};
    }
}

QStringList ResultListModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

// A row whose file is gone (or that saved none) adds nothing, so a drag of such rows alone
// carries an empty item.
QMimeData* ResultListModel::mimeData(const QModelIndexList& indexes) const {
    QList<QUrl> urls;
    for (const QModelIndex& index : indexes) {
        const std::optional<std::size_t> position = positionOf(index.row());
        if (!position) {
            continue;
        }
        const std::optional<QString>& saved = content(*position).savedPath;
        if (saved && QFileInfo(*saved).isFile()) {
            urls.push_back(QUrl::fromLocalFile(*saved));
        }
    }
    auto* data = new QMimeData;
    if (!urls.isEmpty()) {
        data->setUrls(urls);
    }
    return data;
}

Qt::DropActions ResultListModel::supportedDragActions() const {
    return Qt::CopyAction;
}
