// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/PDFToolsView.h"

#include "Views/Appearance.h"
#include "Views/EmptyStateWidget.h"

#include <QVBoxLayout>

PDFToolsView::PDFToolsView(HistoryStore& history, QWidget* parent)
    : QWidget(parent), m_history(history) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new EmptyStateWidget(
        QStringLiteral("doc.on.doc"), QStringLiteral("Drop PDFs"),
        Appearance::onThisComputer(QStringLiteral(
            "Merge several into one, split into chunks, or pull out a page range. On your Mac.")),
        this));
}
