// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/ScreenParts.h"

#include "Desktop/Icons.h"
#include "Views/Appearance.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

namespace ScreenParts {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QVBoxLayout* spacedDivider(QWidget* parent) {
    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, kDividerSpace, 0, kDividerSpace);
    column->setSpacing(0);
    column->addWidget(divider(parent));
    return column;
}

QHBoxLayout* headerRow(QWidget& header, const QString& symbolName, const QString& title) {
    auto* row = new QHBoxLayout(&header);
    row->setContentsMargins(kHeaderMargin, kHeaderMargin, kHeaderMargin, kHeaderMargin);
    row->setSpacing(kHeaderSpacing);
    row->addWidget(
        Appearance::symbolLabel(symbolName, kHeaderSymbolSize, Icons::accent(&header), &header));
    auto* name = new QLabel(title, &header);
    name->setObjectName(QStringLiteral("headline"));
    name->setTextFormat(Qt::PlainText);
    name->setFont(Appearance::headline(name->font()));
    row->addWidget(name);
    return row;
}

void makeProminent(QPushButton& button) {
    QPalette palette = button.palette();
    palette.setColor(QPalette::Button, palette.color(QPalette::Highlight));
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
    button.setPalette(palette);
    button.setDefault(true);
}

void addRunShortcut(QWidget& screen, const std::function<void()>& action) {
    // The keypad's Enter is a different key from Return; both are expected to work.
    for (const auto keys : {Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(keys), &screen);
        QObject::connect(shortcut, &QShortcut::activated, &screen, action);
    }
}

QScrollArea* scrollingList(QWidget* content, QWidget* parent) {
    auto* scroll = new QScrollArea(parent);
    scroll->setObjectName(QStringLiteral("list"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setWidget(content);
    return scroll;
}

QVBoxLayout* rowColumn(QWidget* owner) {
    auto* column = new QVBoxLayout(owner);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kListSpacing);
    return column;
}

// Taking an item out of a layout hands it, and its widget, to the caller.
void removeRowsFrom(QLayout& layout, int first) {
    while (layout.count() > first) {
        QLayoutItem* item = layout.takeAt(first);
        delete item->widget();
        delete item;
    }
}

} // namespace ScreenParts
