// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

class QColor;
class QLabel;
class QString;
class QWidget;

/// The semantic text styles the screens are drawn with, relative to the widget's base font,
/// and the secondary (dimmed) text colour. UI thread only.
namespace Appearance {

QFont headline(const QFont& base);
QFont title(const QFont& base, QFont::Weight weight);
QFont title3(const QFont& base, QFont::Weight weight);
QFont caption(const QFont& base);
QFont caption2(const QFont& base);

/// A user text as written for the Mac, with "your Mac" saying "your computer" elsewhere.
QString onThisComputer(const QString& textForMac);

/// Gives `widget` the secondary text colour.
void makeSecondary(QWidget& widget);

/// A label showing Icons::symbol(symbolName, colour) at sizePixels square, named and described
/// for screen readers by Icons::description.
QLabel* symbolLabel(const QString& symbolName, int sizePixels, const QColor& colour,
                    QWidget* parent);

} // namespace Appearance
