// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/Appearance.h"

#include "Desktop/Icons.h"

#include <QLabel>
#include <QString>
#include <QWidget>

namespace {

QFont scaled(const QFont& base, qreal factor) {
    QFont font = base;
    if (base.pointSizeF() > 0) {
        font.setPointSizeF(base.pointSizeF() * factor);
    } else {
        font.setPixelSize(qRound(base.pixelSize() * factor));
    }
    return font;
}

} // namespace

namespace Appearance {

// Ratios of the usual desktop type ramp to its body size (13 pt body: headline 13 bold,
// title 3 about 16, caption 10, caption 2 about 9.5).
QFont headline(const QFont& base) {
    QFont font = base;
    font.setWeight(QFont::Bold);
    return font;
}

QFont title(const QFont& base, QFont::Weight weight) {
    QFont font = scaled(base, 1.6);
    font.setWeight(weight);
    return font;
}

QFont title3(const QFont& base, QFont::Weight weight) {
    QFont font = scaled(base, 1.25);
    font.setWeight(weight);
    return font;
}

QFont caption(const QFont& base) {
    return scaled(base, 0.85);
}

QFont caption2(const QFont& base) {
    return scaled(base, 0.8);
}

QString onThisComputer(const QString& textForMac) {
#ifdef Q_OS_MACOS
    return textForMac;
#else
    QString text = textForMac;
    return text.replace(QStringLiteral("your Mac"), QStringLiteral("your computer"));
#endif
}

void makeSecondary(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, Icons::secondary(&widget));
    palette.setColor(QPalette::Text, Icons::secondary(&widget));
    widget.setPalette(palette);
}

QLabel* symbolLabel(const QString& symbolName, int sizePixels, const QColor& colour,
                    QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(Icons::symbol(symbolName, colour)
                         .pixmap(QSize(sizePixels, sizePixels), label->devicePixelRatioF()));
    label->setFixedSize(sizePixels, sizePixels);
    label->setProperty("symbol", symbolName);
    const QString description = Icons::description(symbolName);
    label->setAccessibleName(description);
    label->setAccessibleDescription(description);
    return label;
}

} // namespace Appearance
