// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Views/FileQueueScreen.h"
#include "Workflows/OCRWorkflow.h"

class HistoryStore;
class QCheckBox;

/// The OCR tab: dropped scans and PDFs (the extensions of OCRWorkflow::accepts) are queued;
/// "Run OCR" (Ctrl+Return) makes a searchable PDF beside each in the background and lists one
/// row per file ("searchable PDF", "No text found" or "Couldn't save: …"), which are also
/// logged to the history under "OCR".
///
/// UI thread only; see FileQueueScreen for the batch's lifetime.
class OCRView : public FileQueueScreen {
    Q_OBJECT

public:
    /// `history` must outlive the view (the application owns it).
    explicit OCRView(HistoryStore& history, QWidget* parent = nullptr);

    /// The builder later batches use (the engine by default).
    void setBuilder(OCRWorkflow::Builder builder);

protected:
    FileBatch::Work makeWork() override;

private:
    OCRWorkflow::Builder m_builder; // empty: the engine
    QCheckBox* m_keepStructure = nullptr;
};
