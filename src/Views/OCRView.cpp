// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/OCRView.h"

#include "Views/Appearance.h"
#include "Views/EmptyStateWidget.h"

#include <QVBoxLayout>

OCRView::OCRView(HistoryStore& history, QWidget* parent) : QWidget(parent), m_history(history) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new EmptyStateWidget(
        QStringLiteral("doc.text.magnifyingglass"), QStringLiteral("Drop scans or image PDFs"),
        Appearance::onThisComputer(
            QStringLiteral("Parvo adds an invisible, searchable text layer — your scans become "
                           "selectable and findable. On your Mac.")),
        this));
}
