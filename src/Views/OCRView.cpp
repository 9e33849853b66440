// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/OCRView.h"

#include "Views/EmptyStateWidget.h"

#include <QVBoxLayout>

OCRView::OCRView(HistoryStore& history, QWidget* parent) : QWidget(parent), m_history(history) {
#ifdef Q_OS_MACOS
    const QString where = QStringLiteral("On your Mac.");
#else
    const QString where = QStringLiteral("On your computer.");
#endif
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new EmptyStateWidget(
        QStringLiteral("doc.text.magnifyingglass"), QStringLiteral("Drop scans or image PDFs"),
        QStringLiteral("Parvo adds an invisible, searchable text layer — your scans become "
                       "selectable and findable. ") +
            where,
        this));
}
