// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

/// The overlay shown over a screen while files are dragged over it: the accent colour at 8 %
/// over the whole screen, a dashed rounded frame (inset 18, radius 16, line 2, dashes 8 apart
/// by 6) and, when set, a centred symbol (40 px) above a text (title-3, medium).
///
/// A child of the screen that always covers it, follows its resizes and lets every mouse and
/// drag event through to the widgets below. Hidden until shown; showing it raises it above the
/// screen's other children. UI thread only.
class DropHint : public QWidget {
    Q_OBJECT

public:
    explicit DropHint(QWidget* screen);

    /// A symbol name as Icons::symbol takes it; empty for none.
    void setSymbol(const QString& symbolName);
    void setText(const QString& text);
    const QString& symbol() const { return m_symbol; }
    const QString& text() const { return m_text; }

    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void paintCentre(QPainter& painter, const QColor& accent);

    QString m_symbol;
    QString m_text;
};
