// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/FileListView.h"

#include "Views/FileListRoles.h"
#include "Views/FileRowDelegate.h"

#include <QAction>
#include <QConcatenateTablesProxyModel>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>

FileListView::FileListView(const QueueListModel::Look& queueLook, const QString& doneHeading,
                           QWidget* parent)
    : QListView(parent), m_queue(new QueueListModel(queueLook, this)),
      m_results(new ResultListModel(doneHeading, this)),
      m_rows(new QConcatenateTablesProxyModel(this)), m_delegate(new FileRowDelegate(this)),
      m_remove(new QAction(tr("Remove"), this)) {
    setObjectName(QStringLiteral("list"));
    setAccessibleName(tr("Files"));
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

    m_remove->setObjectName(QStringLiteral("remove"));
    m_remove->setShortcuts({QKeySequence(QKeySequence::Delete), QKeySequence(Qt::Key_Backspace)});
    m_remove->setShortcutContext(Qt::WidgetShortcut);
    addAction(m_remove);
    connect(m_remove, &QAction::triggered, this, &FileListView::requestRemoval);
    connect(this, &QAbstractItemView::activated, this, &FileListView::revealActivated);
    connect(m_delegate, &FileRowDelegate::revealRequested, this, &FileListView::revealRequested);
    updateRemoveAction();
}

int FileListView::queueRow(std::size_t position) const {
    return m_rows->mapFromSource(m_queue->index(m_queue->rowOf(position))).row();
}

int FileListView::resultRow(std::size_t position) const {
    return m_rows->mapFromSource(m_results->index(m_results->rowOf(position))).row();
}

std::vector<std::size_t> FileListView::selectedQueuePositions() const {
    std::vector<std::size_t> positions;
    if (!selectionModel()) {
        return positions;
    }
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    for (const QModelIndex& index : selected) {
        const QModelIndex source = m_rows->mapToSource(index);
        if (source.model() != m_queue) {
            continue;
        }
        if (const auto position = m_queue->positionOf(source.row())) {
            positions.push_back(*position);
        }
    }
    std::sort(positions.begin(), positions.end());
    return positions;
}

void FileListView::updateRemoveAction() {
    m_remove->setEnabled(!selectedQueuePositions().empty());
}

void FileListView::selectionChanged(const QItemSelection& selected,
                                    const QItemSelection& deselected) {
    QListView::selectionChanged(selected, deselected);
    updateRemoveAction();
}

void FileListView::requestRemoval() {
    const std::vector<std::size_t> positions = selectedQueuePositions();
    if (!positions.empty()) {
        emit removeRequested(positions);
    }
}

void FileListView::revealActivated(const QModelIndex& index) {
    const QString saved = index.data(FileListRoles::SavedPathRole).toString();
    if (!saved.isNull()) {
        emit revealRequested(saved);
    }
}

// A batch's new rows leave no current row, and from none Qt moves every key to the first
// row; End still goes to the last.
QModelIndex FileListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = model()->rowCount();
    if (!currentIndex().isValid() && action == MoveEnd && rows > 0) {
        return model()->index(rows - 1, 0);
    }
    return QListView::moveCursor(action, modifiers);
}

// The menu belongs to queued files: it opens over one (the mouse) or over the current row
// while queued files are selected (the Menu key, Shift+F10).
void FileListView::contextMenuEvent(QContextMenuEvent* event) {
    const bool byMouse = event->reason() == QContextMenuEvent::Mouse;
    const QModelIndex index = byMouse ? indexAt(event->pos()) : currentIndex();
    const QModelIndex source = m_rows->mapToSource(index);
    if (selectedQueuePositions().empty() ||
        (byMouse && (source.model() != m_queue || !m_queue->positionOf(source.row())))) {
        event->ignore();
        return;
    }
    QMenu menu(this);
    menu.addAction(m_remove);
    menu.exec(byMouse ? event->globalPos() : viewport()->mapToGlobal(visualRect(index).center()));
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
