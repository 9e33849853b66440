// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

/// One queued file: a symbol in the secondary colour, the file name cut to fit, flexible
/// space and an optional detail (such as the file's size) in the caption style, secondary
/// colour. UI thread only.
class QueueRowWidget : public QWidget {
    Q_OBJECT

public:
    QueueRowWidget(const QString& symbolName, const QString& name, const QString& detail,
                   QWidget* parent = nullptr);
};
