// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Views/BatchController.h"
#include "Views/EmptyStateWidget.h"
#include "Workflows/BatchEvents.h"
#include "Workflows/ResultRow.h"

#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>

class BatchStatus;
class DropHandlerBase;
class FileListView;
class FilePicker;
class HistoryStore;
class QHBoxLayout;
class QMimeData;
class QPushButton;
class QStackedWidget;

using FileBatch = BatchController<std::filesystem::path, ResultRow>;

/// A working screen whose queue holds dropped files and whose runs give ResultRow values: a
/// header (symbol, title, the screen's own controls, flexible space, "Add Files…", "Stop" while
/// working, the run button), the running batch's progress (BatchStatus), a divider, and either
/// the empty state (with "Add Files…") or a list of the queued files followed by the last
/// run's rows (FileListView). Dropped local files, and files chosen with "Add Files…", that
/// pass the screen's accept test are queued once each; the run button and Ctrl+Return start a
/// batch when the queue holds something and no batch runs; Stop and Escape stop it. Selected
/// queued files can be removed, also during a batch (which then skips them unless started).
///
/// UI thread only. `history` must outlive every batch the screen starts (see
/// BatchControllerBase::waitForAll); closing the screen during a batch stops it and still logs
/// the finished rows.
class FileQueueScreen : public QWidget {
    Q_OBJECT

public:
    struct Look {
        Screen screen = Screen::ocr; // whose words the result rows use
        QString symbol;              // the header's symbol, drawn in the accent colour
        QString title;               // the header's title
        QString runLabel;            // the run button while idle
        QString workingLabel;        // the run button during a batch
        QString emptySymbol;
        QString emptyTitle;
        QString emptyText;
        EmptyStateWidget::TitleStyle emptyTitleStyle = EmptyStateWidget::TitleStyle::title3;
        QString hintText;   // shown by the drop hint while files are dragged over the screen
        QString fileFilter; // the file dialog's name filter (FilePicker::filter)
    };
    /// Whether a dropped local path is queued; runs on a worker thread, so it must be safe
    /// there (it may look at the file system).
    using Accepts = std::function<bool(const std::filesystem::path& dropped)>;

    FileQueueScreen(HistoryStore& history, const Look& look, Accepts accepts,
                    FileBatch::Entries entries, QWidget* parent = nullptr);

    /// What dropping `data` on the screen does: its URLs are checked in the background and
    /// the accepted files queued unless already queued.
    void handleDrop(const QMimeData& data);
    /// "Add Files…": the file dialog; the files chosen are handled as if dropped.
    void addFiles();
    /// Starts a batch over the queue with the options as they are now; does nothing while a
    /// batch runs or with an empty queue.
    void run();

    FileBatch& batch() { return *m_batch; }
    DropHandlerBase& drops() { return *m_drops; }
    FilePicker& picker() { return *m_picker; }
    FileListView& list() { return *m_list; }
    QPushButton& runButton() { return *m_run; }
    /// Later batches run their files' engine steps in worker processes with `workers`, or
    /// in this process when absent (the default, which tests with a fake engine rely on).
    void setWorkers(std::optional<WorkerSettings> workers);
    /// The empty state is shown (rather than the list).
    bool showsEmptyState() const;

protected:
    /// The batch's work, capturing by value whatever options the screen has now. Called by
    /// run() on the UI thread only when a batch may start.
    virtual FileBatch::Work makeWork() = 0;
    const std::optional<WorkerSettings>& workers() const { return m_workers; }
    /// Puts `control` in the header after the previously added ones, before the flexible
    /// space.
    void addHeaderControl(QWidget* control);

private:
    QWidget* makeHeader(const Look& look);
    QWidget* makeBody(const Look& look);
    void showQueue();
    void showDone();
    void showState();

    Look m_look;
    FileBatch* m_batch;
    DropHandlerBase* m_drops = nullptr;
    FilePicker* m_picker = nullptr;
    QHBoxLayout* m_header = nullptr;
    int m_controlsEnd = 0; // where the next header control goes
    BatchStatus* m_status = nullptr;
    QPushButton* m_addFiles = nullptr;
    QPushButton* m_run = nullptr;
    QStackedWidget* m_body = nullptr;
    FileListView* m_list = nullptr;
    std::optional<WorkerSettings> m_workers;
};
