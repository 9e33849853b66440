// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Views/FileQueueScreen.h"
#include "Workflows/PDFToolsWorkflow.h"

class HistoryStore;
class QComboBox;
class QCheckBox;
class QLineEdit;
class QSpinBox;

/// The PDF Tools tab: dropped PDFs are queued; the operation picker chooses Merge, Split every
/// N (with its "every N" stepper, 1–500) or Extract pages (with its page-range field); "Run"
/// (Ctrl+Return) applies the operation in the background and lists one row per output or
/// failure, which are also logged to the history under "PDF Tools".
///
/// The controls stay editable during a run: a run works on the options taken when it started.
/// UI thread only; see FileQueueScreen for the batch's lifetime.
class PDFToolsView : public FileQueueScreen {
    Q_OBJECT

public:
    /// `history` must outlive the view (the application owns it).
    explicit PDFToolsView(HistoryStore& history, QWidget* parent = nullptr);

    /// The options a run started now would use; the range text is parsed afresh each time.
    PDFToolsWorkflow::Options options() const;
    /// An operation's label in the user's language (PDFToolsWorkflow::label in English).
    static QString opText(PDFToolsWorkflow::Op op);

protected:
    FileBatch::Work makeWork() override;

private:
    void makeControls();
    void showControls();

    QComboBox* m_op = nullptr;
    QSpinBox* m_every = nullptr;
    QLineEdit* m_range = nullptr;
    QCheckBox* m_keepBookmarks = nullptr;
};
