// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

class QWidget;

/// Icons named by symbol ("doc.zipper", "doc.on.doc", "text.viewfinder",
/// "clock.arrow.circlepath", "clock", "square.and.arrow.down", "photo", "doc",
/// "doc.text.magnifyingglass", "checkmark.circle.fill", "info.circle").
///
/// Never blank: a symbol is looked up in the desktop's icon theme under its freedesktop names
/// first; when the theme has none of them (or there is no theme), a built-in vector drawing is
/// used, which is sharp at any size. An unknown symbol name gives a plain rounded square.
/// UI thread only.
namespace Icons {

/// The theme icon, else the built-in drawing in the palette's text colour. The status symbols
/// "checkmark.circle.fill" (green) and "info.circle" (grey) are always the built-in drawings,
/// because their colour carries the meaning and theme icons have their own.
QIcon symbol(const QString& symbolName);

/// The built-in drawing in `color`, for places that ask for a symbol in a given colour
/// (the accent colour of a header or an empty state).
QIcon symbol(const QString& symbolName, const QColor& color);

/// What a symbol stands for, in words, for screen readers: "doc.zipper" → "Compress",
/// "checkmark.circle.fill" → "Saved", "info.circle" → "Nothing saved", …; empty for an
/// unknown name.
QString description(const QString& symbolName);

/// The accent colour: the palette's highlight colour of `widget` (or of the application).
QColor accent(const QWidget* widget);

/// The secondary (dimmed) text colour of `widget`'s palette.
QColor secondary(const QWidget* widget);

} // namespace Icons
