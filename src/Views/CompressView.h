// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Views/BatchController.h"
#include "Workflows/CompressJob.h"
#include "Workflows/CompressOutcome.h"
#include "Workflows/CompressWorkflow.h"
#include "Workflows/TargetChoice.h"

#include <QWidget>
#include <optional>

class BatchStatus;
class DropHandlerBase;
class FileListView;
class FilePicker;
class HistoryStore;
class QCheckBox;
class QComboBox;
class QMimeData;
class QPushButton;
class QStackedWidget;

using CompressBatch = BatchController<CompressWorkflow::Job, CompressWorkflow::Outcome>;

/// The Compress screen: files and folders dropped on it, or chosen with "Add Files…" and
/// "Add Folder…", are queued as compression jobs; the size picker chooses the target;
/// "Compress" (Ctrl+Return) runs the queue as one batch in the background, showing its
/// progress, and lists one result row per job, which are also logged to `history`; Stop and
/// Escape stop it. Selected queued jobs can be removed, also during a batch (which then skips
/// them unless started).
///
/// UI thread only. `history` must outlive every batch the screen starts (see
/// BatchControllerBase::waitForAll); closing the screen during a batch stops it and still logs
/// the finished rows.
class CompressView : public QWidget {
    Q_OBJECT

public:
    explicit CompressView(HistoryStore& history, QWidget* parent = nullptr);

    /// What dropping `data` on the screen does: its URLs are expanded into jobs in the
    /// background and queued unless already queued.
    void handleDrop(const QMimeData& data);
    /// "Add Files…": the file dialog; the files chosen are handled as if dropped.
    void addFiles();
    /// Starts a batch over the queue with the chosen target; does nothing while a batch runs
    /// or with an empty queue.
    void compress();

    CompressWorkflow::TargetChoice choice() const;
    /// A target's label in the user's language (CompressWorkflow::label in English).
    static QString targetText(CompressWorkflow::TargetChoice choice);
    CompressBatch& batch() { return *m_batch; }
    DropHandlerBase& drops() { return *m_drops; }
    FilePicker& picker() { return *m_picker; }
    FileListView& list() { return *m_list; }
    /// The compressor later batches use (the engine by default).
    void setCompressor(CompressWorkflow::Compressor compressor);
    /// Later batches run their files' engine steps in worker processes with `workers`, or
    /// in this process when absent (the default, which tests with a fake engine rely on).
    void setWorkers(std::optional<WorkerSettings> workers);

private:
    static QString startLabel();
    QWidget* makeHeader();
    QWidget* makeBody();
    void showQueue();
    void showDone();
    void showState();

    CompressBatch* m_batch;
    DropHandlerBase* m_drops = nullptr;
    FilePicker* m_picker = nullptr;
    CompressWorkflow::Compressor m_compressor; // empty: the engine
    std::optional<WorkerSettings> m_workers;
    BatchStatus* m_status = nullptr;
    QComboBox* m_target = nullptr;
    QCheckBox* m_keepText = nullptr;
    QPushButton* m_start = nullptr;
    QStackedWidget* m_body = nullptr;
    FileListView* m_list = nullptr;
};
