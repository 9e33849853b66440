// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/EmptyStateWidget.h"

#include "Desktop/Icons.h"
#include "Views/Appearance.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kMargin = 40;
constexpr int kSpacing = 12;
constexpr int kSymbolSize = 44;

QLabel* centredLabel(const QString& text, const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    return label;
}

} // namespace

EmptyStateWidget::EmptyStateWidget(const QString& symbolName, const QString& title,
                                   const QString& text, QWidget* parent, TitleStyle titleStyle)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->setSpacing(kSpacing);
    column->addStretch(1);
    column->addWidget(Appearance::symbolLabel(symbolName, kSymbolSize, Icons::accent(this), this),
                      0, Qt::AlignHCenter);
    auto* titleLabel = centredLabel(title, QStringLiteral("title"), this);
    titleLabel->setFont(titleStyle == TitleStyle::title
                            ? Appearance::title(font(), QFont::DemiBold)
                            : Appearance::title3(font(), QFont::DemiBold));
    column->addWidget(titleLabel);
    auto* textLabel = centredLabel(text, QStringLiteral("text"), this);
    Appearance::makeSecondary(*textLabel);
    column->addWidget(textLabel);
    m_buttons = new QHBoxLayout;
    m_buttons->setSpacing(kSpacing);
    m_buttons->addStretch(1);
    m_buttons->addStretch(1);
    column->addLayout(m_buttons);
    column->addStretch(1);
}

void EmptyStateWidget::addButton(QPushButton* button) {
    button->setParent(this);
    m_buttons->insertWidget(m_buttons->count() - 1, button);
}
