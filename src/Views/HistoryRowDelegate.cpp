// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/HistoryRowDelegate.h"

#include "Desktop/Icons.h"
#include "Views/Appearance.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <cmath>

namespace {

// Logical pixels (points on the reference desktop).
constexpr int kSideMargin = 16;
constexpr int kVerticalMargin = 7;
constexpr int kSpacing = 10;
constexpr int kSymbolBox = 18;
constexpr int kSymbolSize = 16;
constexpr int kLineGap = 2;
constexpr int kTextIndent = kSideMargin + kSymbolBox + kSpacing; // the divider starts here
constexpr int kDivider = 1;
constexpr int kMinimumWidth = 240;

QString revealText() {
    //: The link that shows a file written in the file manager.
    return HistoryRowDelegate::tr("Reveal");
}

bool hasOutput(const QModelIndex& index) {
    return index.data(HistoryRowDelegate::OutputPathRole).isValid();
}

// Rounded up: painting measures with fractional advances.
int textWidth(const QFont& font, const QString& text) {
    return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
}

QRect centredAt(int x, int centreY, int width, int height) {
    return QRect(x, centreY - height / 2, width, height);
}

} // namespace

struct HistoryRowDelegate::Geometry {
    QRect symbol, title, subtitle, date, reveal;
    QRect divider;
};

HistoryRowDelegate::HistoryRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

const QPixmap& HistoryRowDelegate::symbol(const QString& name, const QColor& color,
                                          qreal dpr) const {
    const QString key = name + QLatin1Char('|') + QString::number(color.rgba(), 16) +
                        QLatin1Char('|') + QString::number(dpr);
    auto found = m_symbols.find(key);
    if (found == m_symbols.end())
        found = m_symbols.insert(
            key, Icons::symbol(name, color).pixmap(QSize(kSymbolSize, kSymbolSize), dpr));
    return *found;
}

HistoryRowDelegate::Geometry HistoryRowDelegate::layout(const QStyleOptionViewItem& option,
                                                        const QModelIndex& index) const {
    const QRect row = option.rect;
    const QFontMetrics body(option.font);
    const QFontMetrics caption(Appearance::caption(option.font));
    const QFontMetrics small(Appearance::caption2(option.font));
    const int centreY =
        row.top() + kVerticalMargin + (row.height() - 2 * kVerticalMargin - kDivider) / 2;
    Geometry g;
    g.symbol = centredAt(row.left() + kSideMargin, centreY, kSymbolBox, kSymbolBox);
    int right = row.left() + row.width() - kSideMargin;
    if (hasOutput(index)) {
        const int width = textWidth(option.font, revealText());
        g.reveal = centredAt(right - width, centreY, width, body.height());
        right = g.reveal.left() - kSpacing;
    }
    const int dateWidth =
        textWidth(Appearance::caption2(option.font), index.data(DateRole).toString());
    g.date = centredAt(right - dateWidth, centreY, dateWidth, small.height());
    right = g.date.left() - kSpacing;
    const int textLeft = row.left() + kTextIndent;
    const int textWidth = std::max(0, right - textLeft);
    const int textTop = centreY - (body.height() + kLineGap + caption.height()) / 2;
    g.title = QRect(textLeft, textTop, textWidth, body.height());
    g.subtitle = QRect(textLeft, g.title.bottom() + 1 + kLineGap, textWidth, caption.height());
    g.divider = QRect(row.left() + kTextIndent, row.bottom(), row.width() - kTextIndent, kDivider);
    return g;
}

QSize HistoryRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const int body = QFontMetrics(option.font).height();
    const int text = body + kLineGap + QFontMetrics(Appearance::caption(option.font)).height();
    return QSize(kMinimumWidth,
                 2 * kVerticalMargin + std::max({text, kSymbolBox, body}) + kDivider);
}

QRect HistoryRowDelegate::revealRect(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    if (!hasOutput(index))
        return {};
    return QStyle::visualRect(option.direction, option.rect, layout(option, index).reveal);
}

void HistoryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const Geometry g = layout(option, index);
    const auto visual = [&](const QRect& rect) {
        return QStyle::visualRect(option.direction, option.rect, rect);
    };
    painter->save();
    const QColor secondary = option.palette.color(QPalette::PlaceholderText);
    const QPixmap& pixmap = symbol(index.data(SymbolRole).toString(), secondary,
                                   painter->device()->devicePixelRatioF());
    const QSizeF pixmapSize = pixmap.deviceIndependentSize();
    const QRectF box = visual(g.symbol);
    painter->drawPixmap(QPointF(box.center().x() - pixmapSize.width() / 2,
                                box.center().y() - pixmapSize.height() / 2),
                        pixmap);
    paintTexts(painter, option, index, g);
    QColor line = option.palette.color(QPalette::WindowText);
    line.setAlphaF(0.12f);
    painter->fillRect(visual(g.divider), line);
    if (option.state & QStyle::State_HasFocus) {
        // Rows are not selectable: the frame is what shows a keyboard user where Enter acts.
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = option.rect.adjusted(kSideMargin / 2, 1, -kSideMargin / 2, -1 - kDivider);
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.backgroundColor = option.palette.color(QPalette::Base);
        const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
    painter->restore();
}

void HistoryRowDelegate::paintTexts(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index, const Geometry& g) const {
    const auto visual = [&](const QRect& rect) {
        return QStyle::visualRect(option.direction, option.rect, rect);
    };
    // Only the name and subtitle give way; the date and the link were measured to fit.
    const auto draw = [&](const QRect& rect, const QFont& font, const QColor& color,
                          const QString& text, bool elide) {
        painter->setFont(font);
        painter->setPen(color);
        const QString shown =
            elide ? QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width()) : text;
        int flags = Qt::AlignVCenter | Qt::AlignLeading | Qt::TextSingleLine;
        if (!elide)
            flags |= Qt::TextDontClip;
        painter->drawText(visual(rect), flags, shown);
    };
    const QColor primary = option.palette.color(QPalette::Text);
    const QColor secondary = option.palette.color(QPalette::PlaceholderText);
    draw(g.title, option.font, primary, index.data(Qt::DisplayRole).toString(), true);
    draw(g.subtitle, Appearance::caption(option.font), secondary,
         index.data(SubtitleRole).toString(), true);
    draw(g.date, Appearance::caption2(option.font), secondary, index.data(DateRole).toString(),
         false);
    if (!g.reveal.isEmpty())
        draw(g.reveal, option.font, option.palette.color(QPalette::Link), revealText(), false);
}

bool HistoryRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                     const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
        type == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QRect reveal = revealRect(option, index);
        if (mouse->button() == Qt::LeftButton && reveal.contains(mouse->position().toPoint())) {
            if (type == QEvent::MouseButtonRelease)
                emit revealRequested(index.data(OutputPathRole).toString());
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
