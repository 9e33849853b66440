// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/ResultRowWidget.h"

#include "Desktop/Icons.h"
#include "Desktop/Reveal.h"
#include "Views/Appearance.h"
#include "Views/ElidedLabel.h"

#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

namespace {

constexpr int kSymbolSize = 16;
constexpr int kSpacing = 8;

} // namespace

ResultRowWidget::ResultRowWidget(ResultRowContent content, QWidget* parent)
    : QWidget(parent), m_content(std::move(content)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kSpacing);
    // The status symbols carry their own colours (green check, grey info).
    const QString symbol =
        saved() ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("info.circle");
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("status"));
    icon->setProperty("symbol", symbol);
    icon->setPixmap(
        Icons::symbol(symbol).pixmap(QSize(kSymbolSize, kSymbolSize), devicePixelRatioF()));
    icon->setFixedSize(kSymbolSize, kSymbolSize);
    row->addWidget(icon);
    auto* name = new ElidedLabel(m_content.name, this);
    name->setObjectName(QStringLiteral("name"));
    row->addWidget(name);
    row->addStretch(1);
    auto* caption = new QLabel(m_content.caption, this);
    caption->setObjectName(QStringLiteral("caption"));
    caption->setTextFormat(Qt::PlainText);
    caption->setFont(Appearance::caption(font()));
    Appearance::makeSecondary(*caption);
    row->addWidget(caption);
    if (saved()) {
        addReveal();
    }
}

void ResultRowWidget::addReveal() {
    m_reveal = new QPushButton(tr("Reveal"), this);
    m_reveal->setObjectName(QStringLiteral("reveal"));
    m_reveal->setFlat(true);
    m_reveal->setCursor(Qt::PointingHandCursor);
    m_reveal->setFocusPolicy(Qt::TabFocus);
    QPalette palette = m_reveal->palette();
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::Link));
    m_reveal->setPalette(palette);
    const QString path = *m_content.savedPath;
    connect(m_reveal, &QPushButton::clicked, this, [path] { Reveal::inFileManager(path); });
    layout()->addWidget(m_reveal);
}

QMimeData* ResultRowWidget::dragData() const {
    auto* data = new QMimeData;
    if (m_content.savedPath && QFileInfo(*m_content.savedPath).isFile()) {
        data->setUrls({QUrl::fromLocalFile(*m_content.savedPath)});
    }
    return data;
}

void ResultRowWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressPosition = event->position().toPoint();
    }
    QWidget::mousePressEvent(event);
}

void ResultRowWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressPosition || !(event->buttons() & Qt::LeftButton) ||
        (event->position().toPoint() - *m_pressPosition).manhattanLength() <
            QApplication::startDragDistance()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    m_pressPosition.reset();
    auto* drag = new QDrag(this);
    drag->setMimeData(dragData());
    drag->exec(Qt::CopyAction);
}
