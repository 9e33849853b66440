// SPDX-License-Identifier: GPL-3.0-or-later
#include "Desktop/Icons.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace {

// Drawings are made on a 24 × 24 grid and scaled to the requested rectangle.
using Drawing = std::function<void(QPainter&, const QColor&)>;

QPen strokePen(const QColor& color, qreal width = 1.8) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// A page with a folded top-right corner.
QPainterPath pagePath(qreal left, qreal top, qreal width, qreal height) {
    const qreal fold = width * 0.32;
    QPainterPath path;
    path.moveTo(left, top);
    path.lineTo(left + width - fold, top);
    path.lineTo(left + width, top + fold);
    path.lineTo(left + width, top + height);
    path.lineTo(left, top + height);
    path.closeSubpath();
    path.moveTo(left + width - fold, top);
    path.lineTo(left + width - fold, top + fold);
    path.lineTo(left + width, top + fold);
    return path;
}

void drawDoc(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    p.drawPath(pagePath(5, 2.5, 14, 19));
}

void drawDocZipper(QPainter& p, const QColor& c) {
    drawDoc(p, c);
    p.setPen(strokePen(c, 1.6));
    for (qreal y = 5.5; y < 15; y += 3) {
        p.drawLine(QPointF(10, y), QPointF(12, y));
        p.drawLine(QPointF(12, y + 1.5), QPointF(14, y + 1.5));
    }
    p.drawRoundedRect(QRectF(10, 15.5, 4, 3.5), 1, 1);
}

void drawDocOnDoc(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    p.drawPath(pagePath(8, 5.5, 12, 16));
    QPainterPath back;
    back.moveTo(5, 15.5);
    back.lineTo(5, 2.5);
    back.lineTo(14, 2.5);
    p.drawPath(back);
}

void drawTextLines(QPainter& p, const QColor& c, qreal left, qreal top, int count) {
    p.setPen(strokePen(c, 1.6));
    for (int i = 0; i < count; ++i) {
        const qreal right = i == count - 1 ? left + 5 : left + 8;
        p.drawLine(QPointF(left, top + i * 3.5), QPointF(right, top + i * 3.5));
    }
}

void drawTextViewfinder(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    const qreal lo = 3, hi = 21, arm = 5;
    struct Corner {
        qreal x, y, dx, dy;
    };
    for (const Corner& k : {Corner{lo, lo, 1, 1}, Corner{hi, lo, -1, 1}, Corner{lo, hi, 1, -1},
                            Corner{hi, hi, -1, -1}}) {
        const qreal x = k.x, y = k.y, dx = k.dx, dy = k.dy;
        p.drawLine(QPointF(x, y + dy * arm), QPointF(x, y));
        p.drawLine(QPointF(x, y), QPointF(x + dx * arm, y));
    }
    drawTextLines(p, c, 8, 8.5, 3);
}

void drawClockHands(QPainter& p, const QColor& c, QPointF centre) {
    p.setPen(strokePen(c, 1.6));
    p.drawLine(centre, centre + QPointF(0, -5));
    p.drawLine(centre, centre + QPointF(3.5, 2));
}

void drawClock(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    p.drawEllipse(QPointF(12, 12), 9, 9);
    drawClockHands(p, c, QPointF(12, 12));
}

void drawClockArrow(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    const QRectF ring(3, 3, 18, 18);
    p.drawArc(ring, 150 * 16, -300 * 16); // open at the left, running clockwise from it
    QPainterPath head;
    head.moveTo(1.5, 8);
    head.lineTo(4.2, 8.5);
    head.lineTo(5.8, 5.6);
    p.drawPath(head);
    drawClockHands(p, c, QPointF(12, 12));
}

void drawSquareArrowDown(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    QPainterPath tray;
    tray.moveTo(8, 9);
    tray.lineTo(4, 9);
    tray.lineTo(4, 21);
    tray.lineTo(20, 21);
    tray.lineTo(20, 9);
    tray.lineTo(16, 9);
    p.drawPath(tray);
    p.drawLine(QPointF(12, 2.5), QPointF(12, 15));
    p.drawPolyline(QPolygonF({QPointF(8, 11.5), QPointF(12, 15.5), QPointF(16, 11.5)}));
}

void drawPhoto(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    p.drawRoundedRect(QRectF(2.5, 4.5, 19, 15), 2.5, 2.5);
    p.drawPolyline(QPolygonF(
        {QPointF(3, 18), QPointF(9, 11), QPointF(13, 15.5), QPointF(15.5, 13), QPointF(21, 18)}));
    p.drawEllipse(QPointF(16, 9), 1.6, 1.6);
}

void drawCheckmarkCircleFill(QPainter& p, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(12, 12), 10, 10);
    p.setBrush(Qt::NoBrush);
    p.setPen(strokePen(Qt::white, 2.2));
    p.drawPolyline(QPolygonF({QPointF(7.5, 12.5), QPointF(10.5, 15.5), QPointF(16.5, 8.5)}));
}

void drawInfoCircle(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
    p.setPen(strokePen(c, 2));
    p.drawLine(QPointF(12, 11), QPointF(12, 17));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(12, 7.5), 1.3, 1.3);
}

void drawDocMagnifier(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    QPainterPath page = pagePath(3.5, 2.5, 13, 18);
    p.drawPath(page);
    drawTextLines(p, c, 6.5, 8, 2);
    p.setPen(strokePen(c));
    p.setBrush(QColor(0, 0, 0, 0));
    p.drawEllipse(QPointF(15.5, 15), 3.8, 3.8);
    p.setPen(strokePen(c, 2.2));
    p.drawLine(QPointF(18.3, 17.8), QPointF(21.5, 21));
}

void drawUnknown(QPainter& p, const QColor& c) {
    p.setPen(strokePen(c));
    p.drawRoundedRect(QRectF(4, 4, 16, 16), 3, 3);
}

struct SymbolInfo {
    QString description; // what the symbol stands for, for screen readers
    QStringList themeNames;
    Drawing drawing;
    bool ownColour = false; // the drawing's colour carries meaning: never take the theme's
    QColor colour;
};

SymbolInfo themed(QString description, QStringList themeNames, Drawing drawing) {
    return SymbolInfo{std::move(description), std::move(themeNames), std::move(drawing), false,
                      QColor()};
}

SymbolInfo coloured(QString description, Drawing drawing, QColor colour) {
    return SymbolInfo{std::move(description), {}, std::move(drawing), true, colour};
}

const QHash<QString, SymbolInfo>& symbols() {
    static const QHash<QString, SymbolInfo> table = {
        {"doc", themed("Document", {"text-x-generic", "x-office-document"}, drawDoc)},
        {"doc.zipper",
         themed("Compress", {"package-x-generic", "application-x-archive"}, drawDocZipper)},
        {"doc.on.doc", themed("PDF Tools", {"edit-copy"}, drawDocOnDoc)},
        {"text.viewfinder", themed("OCR", {"scanner", "insert-text"}, drawTextViewfinder)},
        {"clock", themed("Clock", {"appointment-soon", "alarm"}, drawClock)},
        {"clock.arrow.circlepath", themed("History", {"document-open-recent"}, drawClockArrow)},
        {"square.and.arrow.down",
         themed("Drop files here", {"document-save", "go-down"}, drawSquareArrowDown)},
        {"photo", themed("Image", {"image-x-generic"}, drawPhoto)},
        {"doc.text.magnifyingglass",
         themed("Searchable document", {"edit-find", "system-search"}, drawDocMagnifier)},
        {"checkmark.circle.fill",
         coloured("Saved", drawCheckmarkCircleFill, QColor(0x2e, 0xa0, 0x43))},
        {"info.circle", coloured("Nothing saved", drawInfoCircle, QColor(0x86, 0x86, 0x8b))},
    };
    return table;
}

// Paints a drawing at any size; the colour follows the application palette unless fixed.
class SymbolEngine final : public QIconEngine {
public:
    SymbolEngine(Drawing drawing, QColor colour)
        : m_drawing(std::move(drawing)), m_colour(colour) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        QColor colour =
            m_colour.isValid() ? m_colour : QApplication::palette().color(QPalette::Text);
        if (mode == QIcon::Disabled) {
            colour.setAlphaF(colour.alphaF() * 0.4);
        }
        const qreal side = std::min(rect.width(), rect.height());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2.0,
                           rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 24.0, side / 24.0);
        m_drawing(*painter, colour);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new SymbolEngine(m_drawing, m_colour); }

private:
    Drawing m_drawing;
    QColor m_colour;
};

const SymbolInfo* find(const QString& name) {
    const auto it = symbols().constFind(name);
    return it == symbols().constEnd() ? nullptr : &*it;
}

} // namespace

namespace Icons {

QIcon symbol(const QString& symbolName) {
    const SymbolInfo* info = find(symbolName);
    if (!info) {
        return QIcon(new SymbolEngine(drawUnknown, {}));
    }
    if (!info->ownColour) {
        for (const QString& themeName : info->themeNames) {
            if (QIcon::hasThemeIcon(themeName)) {
                return QIcon::fromTheme(themeName);
            }
        }
    }
    return QIcon(new SymbolEngine(info->drawing, info->colour));
}

QIcon symbol(const QString& symbolName, const QColor& color) {
    const SymbolInfo* info = find(symbolName);
    return QIcon(new SymbolEngine(info ? info->drawing : Drawing(drawUnknown), color));
}

QString description(const QString& symbolName) {
    const SymbolInfo* info = find(symbolName);
    return info ? info->description : QString();
}

QColor accent(const QWidget* widget) {
    return (widget ? widget->palette() : QApplication::palette()).color(QPalette::Highlight);
}

QColor secondary(const QWidget* widget) {
    const QPalette palette = widget ? widget->palette() : QApplication::palette();
    return palette.color(QPalette::PlaceholderText);
}

} // namespace Icons
