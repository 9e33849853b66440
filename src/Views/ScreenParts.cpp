// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/ScreenParts.h"

#include "Desktop/Icons.h"
#include "Views/Appearance.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace ScreenParts {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
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

QCheckBox* optionBox(const QString& text, const QString& objectName, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(objectName);
    box->setChecked(false);
    return box;
}

} // namespace ScreenParts
