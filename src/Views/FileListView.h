// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Views/QueueListModel.h"
#include "Views/ResultListModel.h"

#include <QListView>
#include <QString>
#include <cstddef>

class FileRowDelegate;
class QConcatenateTablesProxyModel;

/// The scrolling list of a working screen: its queued files (QueueListModel), then the last
/// batch's rows (ResultListModel), drawn by FileRowDelegate.
///
/// Queued and result rows can be selected (click, Shift/Ctrl-click, arrows with Shift or
/// Ctrl, Ctrl+A). Enter or a double click on a saved result, or a click on its link, asks for
/// it to be revealed. Dragging result rows out carries their files.
///
/// The view asks and the screen acts. UI thread only.
class FileListView : public QListView {
    Q_OBJECT

public:
    FileListView(const QueueListModel::Look& queueLook, const QString& doneHeading,
                 QWidget* parent = nullptr);

    QueueListModel& queueModel() { return *m_queue; }
    ResultListModel& resultModel() { return *m_results; }
    FileRowDelegate& rowDelegate() { return *m_delegate; }

    /// The list row (of model()) that shows a queue position or a result position.
    int queueRow(std::size_t position) const;
    int resultRow(std::size_t position) const;

signals:
    void revealRequested(const QString& savedPath);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void revealActivated(const QModelIndex& index);
    bool overRevealLink(const QPoint& position);

    QueueListModel* m_queue;
    ResultListModel* m_results;
    QConcatenateTablesProxyModel* m_rows;
    FileRowDelegate* m_delegate;
};
