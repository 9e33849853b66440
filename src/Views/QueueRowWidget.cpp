// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/QueueRowWidget.h"

#include "Desktop/Icons.h"
#include "Views/Appearance.h"
#include "Views/ElidedLabel.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {

constexpr int kSymbolSize = 16;
constexpr int kSpacing = 8;

} // namespace

QueueRowWidget::QueueRowWidget(const QString& symbolName, const QString& name,
                               const QString& detail, QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kSpacing);
    row->addWidget(Appearance::symbolLabel(symbolName, kSymbolSize, Icons::secondary(this), this));
    auto* nameLabel = new ElidedLabel(name, this);
    nameLabel->setObjectName(QStringLiteral("name"));
    row->addWidget(nameLabel);
    row->addStretch(1);
    if (!detail.isEmpty()) {
        auto* detailLabel = new QLabel(detail, this);
        detailLabel->setObjectName(QStringLiteral("detail"));
        detailLabel->setTextFormat(Qt::PlainText);
        detailLabel->setFont(Appearance::caption(font()));
        Appearance::makeSecondary(*detailLabel);
        row->addWidget(detailLabel);
    }
}
