// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class HistoryStore;

/// The OCR tab. For now it shows its empty state only: the invitation to drop scans.
class OCRView : public QWidget {
    Q_OBJECT
public:
    /// `history` must outlive the view (the application owns it).
    explicit OCRView(HistoryStore& history, QWidget* parent = nullptr);

private:
    HistoryStore& m_history;
};
