// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/DropHint.h"

#include "Desktop/Icons.h"
#include "Views/Appearance.h"

#include <QEvent>
#include <QPainter>

namespace {

constexpr qreal kInset = 18;
constexpr qreal kRadius = 16;
constexpr qreal kLineWidth = 2;
constexpr qreal kDash = 8;
constexpr qreal kGap = 6;
constexpr int kSymbolSize = 40;
constexpr int kSpacing = 10;
constexpr int kFillAlpha = 20; // 8 % of 255

} // namespace

DropHint::DropHint(QWidget* screen) : QWidget(screen) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    QWidget::setVisible(false);
    if (screen) {
        setGeometry(screen->rect());
        screen->installEventFilter(this);
    }
}

void DropHint::setSymbol(const QString& symbolName) {
    m_symbol = symbolName;
    update();
}

void DropHint::setText(const QString& text) {
    m_text = text;
    update();
}

void DropHint::setVisible(bool visible) {
    if (visible && parentWidget()) {
        setGeometry(parentWidget()->rect());
        raise();
    }
    QWidget::setVisible(visible);
}

bool DropHint::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void DropHint::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = Icons::accent(this);
    QColor fill = accent;
    fill.setAlpha(kFillAlpha);
    painter.fillRect(rect(), fill);

    // Qt measures dash patterns in line widths; the frame is stroked inside its bounds.
    QPen pen(accent, kLineWidth);
    pen.setDashPattern({kDash / kLineWidth, kGap / kLineWidth});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal half = kLineWidth / 2;
    const QRectF frame =
        QRectF(rect()).adjusted(kInset + half, kInset + half, -kInset - half, -kInset - half);
    painter.drawRoundedRect(frame, kRadius - half, kRadius - half);
    paintCentre(painter, accent);
}

void DropHint::paintCentre(QPainter& painter, const QColor& accent) {
    const bool hasSymbol = !m_symbol.isEmpty();
    const bool hasText = !m_text.isEmpty();
    if (!hasSymbol && !hasText) {
        return;
    }
    const QFont font = Appearance::title3(this->font(), QFont::Medium);
    const QFontMetrics metrics(font);
    const int textHeight = hasText ? metrics.height() : 0;
    const int total =
        (hasSymbol ? kSymbolSize : 0) + (hasSymbol && hasText ? kSpacing : 0) + textHeight;
    int y = (height() - total) / 2;
    if (hasSymbol) {
        const QPixmap symbol = Icons::symbol(m_symbol, accent)
                                   .pixmap(QSize(kSymbolSize, kSymbolSize), devicePixelRatioF());
        painter.drawPixmap((width() - kSymbolSize) / 2, y, symbol);
        y += kSymbolSize + kSpacing;
    }
    if (hasText) {
        painter.setFont(font);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(0, y, width(), textHeight), Qt::AlignCenter, m_text);
    }
}
