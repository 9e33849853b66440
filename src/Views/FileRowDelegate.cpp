// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/FileRowDelegate.h"

#include "Desktop/Icons.h"
#include "Views/Appearance.h"
#include "Views/FileListRoles.h"
#include "Views/ScreenParts.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <cmath>
#include <qdrawutil.h>

using namespace FileListRoles;
namespace SP = ScreenParts;

namespace {

// Logical pixels, as the rows built from widgets measured them.
constexpr int kSymbolSize = 16;
constexpr int kSpacing = 8;       // between the parts of a row
constexpr int kDividerHeight = 3; // a sunken one-pixel line, as QFrame::HLine draws it
constexpr int kDividerBlock = SP::kDividerSpace * 2 + kDividerHeight + SP::kListSpacing;
constexpr int kSelectionPad = 6;

QString revealText() {
    //: The link that shows a file written in the file manager.
    return FileRowDelegate::tr("Reveal");
}

RowKind kindOf(const QModelIndex& index) {
    return static_cast<RowKind>(index.data(KindRole).toInt());
}

bool isSaved(const QModelIndex& index) {
    return !index.data(SavedPathRole).toString().isNull();
}

int textWidth(const QFont& font, const QString& text) {
    return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
}

// Centred vertically as a box layout centres a smaller widget in its row.
QRect centredIn(const QRect& row, int x, int width, int height) {
    return QRect(x, row.top() + (row.height() - height) / 2, width, height);
}

QPalette::ColorGroup colorGroup(const QStyleOptionViewItem& option) {
    if (!(option.state & QStyle::State_Enabled)) {
        return QPalette::Disabled;
    }
    return option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
}

} // namespace

struct FileRowDelegate::Geometry {
    QRect content; // the row without margins and spacing
    QRect divider; // empty when the row has none
    QRect symbol, name, detail, reveal;
};

FileRowDelegate::FileRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

const QPixmap& FileRowDelegate::symbol(const QString& name, const QColor& color, qreal dpr) const {
    const QString key = name + QLatin1Char('|') +
                        (color.isValid() ? QString::number(color.rgba(), 16) : QString()) +
                        QLatin1Char('|') + QString::number(dpr);
    auto found = m_symbols.find(key);
    if (found == m_symbols.end()) {
        // Without a colour the symbol keeps its own (the green check, the grey info).
        const QIcon icon = color.isValid() ? Icons::symbol(name, color) : Icons::symbol(name);
        found = m_symbols.insert(key, icon.pixmap(QSize(kSymbolSize, kSymbolSize), dpr));
    }
    return *found;
}

// The link is as large as QPushButton makes a flat "Reveal" button, so that rows keep the
// height they had when the link was one.
const FileRowDelegate::Metrics& FileRowDelegate::metrics(const QStyleOptionViewItem& option) const {
    if (m_metrics && option.font == m_metricsFont) {
        return *m_metrics;
    }
    QStyleOptionButton button;
    if (option.widget) {
        button.initFrom(option.widget);
    }
    button.fontMetrics = QFontMetrics(option.font);
    button.features = QStyleOptionButton::Flat;
    button.text = revealText();
    const QSize text = button.fontMetrics.size(Qt::TextShowMnemonic, button.text);
    button.rect.setSize(text);
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    Metrics m;
    m.reveal = style->sizeFromContents(QStyle::CT_PushButton, &button, text, option.widget);
    m.text = std::max(kSymbolSize, QFontMetrics(option.font).height());
    m.link = std::max(m.text, m.reveal.height());
    // Rounded up, as a label sizes itself.
    m.heading =
        static_cast<int>(std::ceil(QFontMetricsF(Appearance::caption2(option.font)).height()));
    m_metricsFont = option.font;
    m_metrics = m;
    return *m_metrics;
}

// Where a flat button of that size would put its label.
QRect FileRowDelegate::revealLabelRect(const QStyleOptionViewItem& option,
                                       const QRect& button) const {
    QStyleOptionButton label;
    if (option.widget) {
        label.initFrom(option.widget);
    }
    label.features = QStyleOptionButton::Flat;
    label.rect = button;
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    return style->subElementRect(QStyle::SE_PushButtonContents, &label, option.widget);
}

int FileRowDelegate::contentHeight(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    if (kindOf(index) == RowKind::heading) {
        return metrics(option).heading;
    }
    return isSaved(index) ? metrics(option).link : metrics(option).text;
}

QSize FileRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const bool first = index.row() == 0;
    const bool last = index.row() == index.model()->rowCount() - 1;
    const int height = (first ? SP::kListMargin : 0) +
                       (index.data(DividerAboveRole).toBool() ? kDividerBlock : 0) +
                       contentHeight(option, index) + (last ? SP::kListMargin : SP::kListSpacing);
    return QSize(2 * SP::kListMargin, height);
}

FileRowDelegate::Geometry FileRowDelegate::layout(const QStyleOptionViewItem& option,
                                                  const QModelIndex& index) const {
    const QRect row = option.rect;
    Geometry g;
    int top = row.top() + (index.row() == 0 ? SP::kListMargin : 0);
    const int left = row.left() + SP::kListMargin;
    const int width = std::max(0, row.width() - 2 * SP::kListMargin);
    if (index.data(DividerAboveRole).toBool()) {
        g.divider = QRect(left, top + SP::kDividerSpace, width, kDividerHeight);
        top += kDividerBlock;
    }
    g.content = QRect(left, top, width, contentHeight(option, index));
    if (kindOf(index) == RowKind::heading) {
        g.name = g.content;
        return g;
    }
    g.symbol = centredIn(g.content, left, kSymbolSize, kSymbolSize);
    int right = g.content.left() + g.content.width();
    if (isSaved(index)) {
        const QSize size = metrics(option).reveal;
        g.reveal = centredIn(g.content, right - size.width(), size.width(), size.height());
        right = g.reveal.left() - kSpacing;
    }
    const QString detail = index.data(DetailRole).toString();
    if (!detail.isEmpty()) {
        const QFont caption = Appearance::caption(option.font);
        const int detailWidth = textWidth(caption, detail);
        g.detail =
            centredIn(g.content, right - detailWidth, detailWidth, QFontMetrics(caption).height());
        right = g.detail.left() - kSpacing;
    }
    const int nameLeft = g.symbol.right() + 1 + kSpacing;
    g.name = QRect(nameLeft, g.content.top(), std::max(0, right - nameLeft), g.content.height());
    return g;
}

QRect FileRowDelegate::revealRect(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    if (kindOf(index) != RowKind::result || !isSaved(index)) {
        return {};
    }
    return QStyle::visualRect(option.direction, option.rect, layout(option, index).reveal);
}

void FileRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const Geometry g = layout(option, index);
    painter->save();
    paintSelection(painter, option, g);
    paintDivider(painter, option, g);
    if (kindOf(index) == RowKind::heading) {
        const QFont font = Appearance::caption2(option.font);
        painter->setFont(font);
        painter->setPen(option.palette.color(colorGroup(option), QPalette::PlaceholderText));
        const QString text = QFontMetrics(font).elidedText(index.data(Qt::DisplayRole).toString(),
                                                           Qt::ElideRight, g.name.width());
        painter->drawText(QStyle::visualRect(option.direction, option.rect, g.name),
                          Qt::AlignVCenter | Qt::AlignLeading | Qt::TextSingleLine, text);
    } else {
        paintFile(painter, option, index, g);
    }
    painter->restore();
}

void FileRowDelegate::paintSelection(QPainter* painter, const QStyleOptionViewItem& option,
                                     const Geometry& g) const {
    const QRect area = QStyle::visualRect(option.direction, option.rect,
                                          g.content.adjusted(-kSelectionPad, -SP::kListSpacing / 2,
                                                             kSelectionPad, SP::kListSpacing / 2));
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(area, option.palette.brush(colorGroup(option), QPalette::Highlight));
    }
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = area;
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.backgroundColor = option.palette.color(
            colorGroup(option),
            option.state & QStyle::State_Selected ? QPalette::Highlight : QPalette::Window);
        const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
}

void FileRowDelegate::paintDivider(QPainter* painter, const QStyleOptionViewItem& option,
                                   const Geometry& g) const {
    if (g.divider.isEmpty()) {
        return;
    }
    const int y = g.divider.top() + g.divider.height() / 2;
    qDrawShadeLine(painter, QPoint(g.divider.left(), y), QPoint(g.divider.right() + 1, y),
                   option.palette, true, 1, 0);
}

void FileRowDelegate::paintFile(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index, const Geometry& g) const {
    const auto visual = [&](const QRect& rect) {
        return QStyle::visualRect(option.direction, option.rect, rect);
    };
    const QPalette::ColorGroup group = colorGroup(option);
    const bool selected = option.state & QStyle::State_Selected;
    const QColor primary =
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::WindowText);
    const QColor secondary =
        selected ? primary : option.palette.color(group, QPalette::PlaceholderText);

    const bool result = kindOf(index) == RowKind::result;
    const QPixmap& pixmap =
        symbol(index.data(SymbolRole).toString(),
               result ? QColor() : option.palette.color(group, QPalette::PlaceholderText),
               painter->device()->devicePixelRatioF());
    painter->drawPixmap(visual(g.symbol).topLeft(), pixmap);

    const auto draw = [&](const QRect& rect, const QFont& font, const QColor& color,
                          const QString& text, Qt::Alignment alignment) {
        painter->setFont(font);
        painter->setPen(color);
        const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width());
        painter->drawText(visual(rect), int(alignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                          shown);
    };
    draw(g.name, option.font, primary, index.data(Qt::DisplayRole).toString(), Qt::AlignLeading);
    if (!g.detail.isEmpty()) {
        draw(g.detail, Appearance::caption(option.font), secondary,
             index.data(DetailRole).toString(), Qt::AlignLeading);
    }
    if (!g.reveal.isEmpty()) {
        draw(revealLabelRect(option, g.reveal), option.font,
             selected ? primary : option.palette.color(group, QPalette::Link), revealText(),
             Qt::AlignHCenter);
    }
}

bool FileRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                  const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
        type == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QRect reveal = revealRect(option, index);
        if (mouse->button() == Qt::LeftButton && reveal.contains(mouse->position().toPoint())) {
            if (type == QEvent::MouseButtonRelease) {
                emit revealRequested(index.data(SavedPathRole).toString());
            }
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
