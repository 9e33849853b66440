// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

/// What an empty working screen shows, centred with a 40-pixel margin: a symbol at 44 pixels
/// in the accent colour, a title (title-3, semibold) and a secondary text with its lines
/// centred, 12 pixels apart. UI thread only.
class EmptyStateWidget : public QWidget {
    Q_OBJECT

public:
    EmptyStateWidget(const QString& symbolName, const QString& title, const QString& text,
                     QWidget* parent = nullptr);
};
