// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

class QFrame;
class QHBoxLayout;
class QCheckBox;
class QPushButton;
class QWidget;

/// The pieces every working screen is built from, so that their headers, dividers and lists
/// line up: measures in pixels, widgets created as children of the given parent. UI thread only.
namespace ScreenParts {

inline constexpr int kHeaderMargin = 14;
inline constexpr int kHeaderSpacing = 12;
inline constexpr int kHeaderSymbolSize = 22;
inline constexpr int kListMargin = 16;
inline constexpr int kListSpacing = 8;
inline constexpr int kDividerSpace = 4; // above and below the divider before a batch's rows

/// A thin horizontal line.
QFrame* divider(QWidget* parent);

/// Gives `header` its row layout (kHeaderMargin around, kHeaderSpacing apart) and puts the
/// symbol in the accent colour and the title in the headline style into it.
QHBoxLayout* headerRow(QWidget& header, const QString& symbolName, const QString& title);

/// A filled button in the accent colour, the look of a window's main action.
void makeProminent(QPushButton& button);

/// A screen's option beyond its Parts' controls: a check box, off whenever the screen is made
/// and never stored; the batch takes its state when it starts.
QCheckBox* optionBox(const QString& text, const QString& objectName, QWidget* parent);

/// Ctrl+Return and Ctrl+Enter (Command on macOS) call `action` while `screen` is visible in
/// the active window; the action itself decides whether it may run.
void addRunShortcut(QWidget& screen, const std::function<void()>& action);

} // namespace ScreenParts
