// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

/// Paints one history row of a list view without a widget per row, so a full history (a
/// thousand rows) costs only the rows in sight: the mode symbol in an 18-pixel box, the input
/// name over its subtitle, the date, a "Reveal" link when the row has an output path, and a
/// divider under the text column; the current row is framed while the list has focus. A click
/// on the link emits `revealRequested`.
///
/// The item data it reads: Qt::DisplayRole (input name), and the roles below.
/// Threading: the UI thread only.
class HistoryRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    enum Role {
        SubtitleRole = Qt::UserRole + 1, // QString
        DateRole,                        // QString, already formatted
        SymbolRole,                      // QString, a symbol name for Icons::symbol
        OutputPathRole,                  // QString; null when the entry has no output
    };

    explicit HistoryRowDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    /// The clickable "Reveal" area of the row drawn in `option.rect`; empty without a path.
    QRect revealRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;

signals:
    void revealRequested(const QString& outputPath);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    struct Geometry;
    Geometry layout(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void paintTexts(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                    const Geometry& geometry) const;
    const QPixmap& symbol(const QString& name, const QColor& color, qreal dpr) const;

    mutable QHash<QString, QPixmap> m_symbols; // by name, colour and pixel ratio
};
