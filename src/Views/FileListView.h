// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Views/QueueListModel.h"
#include "Views/ResultListModel.h"

#include <QListView>
#include <QString>
#include <cstddef>
#include <vector>

class FileRowDelegate;
class QAction;
class QConcatenateTablesProxyModel;

/// The scrolling list of a working screen: its queued files (QueueListModel), then the last
/// batch's rows (ResultListModel), drawn by FileRowDelegate.
///
/// Queued and result rows can be selected (click, Shift/Ctrl-click, arrows with Shift or
/// Ctrl, Ctrl+A). "Remove" — the Delete or Backspace key, or the context menu of a queued
/// row — asks for the selected queued files to be taken out; it does nothing while removal is
/// disabled. Enter or a double click on a saved result, or a click on its link, asks for it to
/// be revealed. Dragging result rows out carries their files.
///
/// The view asks and the screen acts: it changes no queue itself. UI thread only.
class FileListView : public QListView {
    Q_OBJECT

public:
    FileListView(const QueueListModel::Look& queueLook, const QString& doneHeading,
                 QWidget* parent = nullptr);

    QueueListModel& queueModel() { return *m_queue; }
    ResultListModel& resultModel() { return *m_results; }
    FileRowDelegate& rowDelegate() { return *m_delegate; }
    /// The "Remove" command, also in the context menu.
    QAction& removeAction() { return *m_remove; }

    /// The list row (of model()) that shows a queue position or a result position.
    int queueRow(std::size_t position) const;
    int resultRow(std::size_t position) const;
    /// The queue positions of the selected queued files, ascending.
    std::vector<std::size_t> selectedQueuePositions() const;

signals:
    /// Remove was chosen with these queue positions selected (ascending, not empty).
    void removeRequested(const std::vector<std::size_t>& positions);
    void revealRequested(const QString& savedPath);

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    void requestRemoval();
    void revealActivated(const QModelIndex& index);
    void updateRemoveAction();
    bool overRevealLink(const QPoint& position);

    QueueListModel* m_queue;
    ResultListModel* m_results;
    QConcatenateTablesProxyModel* m_rows;
    FileRowDelegate* m_delegate;
    QAction* m_remove;
};
