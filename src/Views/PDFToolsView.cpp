// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/PDFToolsView.h"

#include "Views/EmptyStateWidget.h"

#include <QVBoxLayout>

PDFToolsView::PDFToolsView(HistoryStore& history, QWidget* parent)
    : QWidget(parent), m_history(history) {
#ifdef Q_OS_MACOS
    const QString where = QStringLiteral("On your Mac.");
#else
    const QString where = QStringLiteral("On your computer.");
#endif
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new EmptyStateWidget(
        QStringLiteral("doc.on.doc"), QStringLiteral("Drop PDFs"),
        QStringLiteral("Merge several into one, split into chunks, or pull out a page range. ") +
            where,
        this));
}
