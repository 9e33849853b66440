// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

class QHBoxLayout;
class QPushButton;

/// What an empty screen shows, centred with a 40-pixel margin: a symbol at 44 pixels in the
/// accent colour, a semibold title (title-3 on the working screens, the larger title style on
/// History) and a secondary text with its lines centred, 12 pixels apart, then the buttons
/// given by addButton in a centred row. UI thread only.
class EmptyStateWidget : public QWidget {
    Q_OBJECT

public:
    enum class TitleStyle { title3, title };

    EmptyStateWidget(const QString& symbolName, const QString& title, const QString& text,
                     QWidget* parent = nullptr, TitleStyle titleStyle = TitleStyle::title3);

    /// Puts `button` (which becomes a child of this widget) after the earlier ones, under
    /// the text.
    void addButton(QPushButton* button);

private:
    QHBoxLayout* m_buttons = nullptr;
};
