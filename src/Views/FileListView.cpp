// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/FileListView.h"

#include "Views/FileListRoles.h"
#include "Views/FileRowDelegate.h"

#include <QConcatenateTablesProxyModel>
#include <QMouseEvent>

FileListView::FileListView(const QueueListModel::Look& queueLook, const QString& doneHeading,
                           QWidget* parent)
    : QListView(parent), m_queue(new QueueListModel(queueLook, this)),
      m_results(new ResultListModel(doneHeading, this)),
      m_rows(new QConcatenateTablesProxyModel(this)), m_delegate(new FileRowDelegate(this)) {
    setObjectName(QStringLiteral("list"));
    m_rows->addSourceModel(m_queue);
    m_rows->addSourceModel(m_results);
    setModel(m_rows);
    setItemDelegate(m_delegate);
    setFrameShape(QFrame::NoFrame);
    // The rows were drawn on the window before they became a list; they still are.
    viewport()->setBackgroundRole(QPalette::Window);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setMouseTracking(true);

    connect(this, &QAbstractItemView::activated, this, &FileListView::revealActivated);
    connect(m_delegate, &FileRowDelegate::revealRequested, this, &FileListView::revealRequested);
}

int FileListView::queueRow(std::size_t position) const {
    return m_rows->mapFromSource(m_queue->index(m_queue->rowOf(position))).row();
}

int FileListView::resultRow(std::size_t position) const {
    return m_rows->mapFromSource(m_results->index(m_results->rowOf(position))).row();
}

void FileListView::revealActivated(const QModelIndex& index) {
    const QString saved = index.data(FileListRoles::SavedPathRole).toString();
    if (!saved.isNull()) {
        emit revealRequested(saved);
    }
}

bool FileListView::overRevealLink(const QPoint& position) {
    const QModelIndex index = indexAt(position);
    if (!index.isValid()) {
        return false;
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return m_delegate->revealRect(option, index).contains(position);
}

void FileListView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::NoButton) {
        if (overRevealLink(event->position().toPoint())) {
            viewport()->setCursor(Qt::PointingHandCursor);
        } else {
            viewport()->unsetCursor();
        }
    }
    QListView::mouseMoveEvent(event);
}
