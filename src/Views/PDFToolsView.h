// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class HistoryStore;

/// The PDF Tools tab. For now it shows its empty state only: the invitation to drop PDFs.
class PDFToolsView : public QWidget {
    Q_OBJECT
public:
    /// `history` must outlive the view (the application owns it).
    explicit PDFToolsView(HistoryStore& history, QWidget* parent = nullptr);

private:
    HistoryStore& m_history;
};
