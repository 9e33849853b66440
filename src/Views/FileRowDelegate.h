// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QSize>
#include <QStyledItemDelegate>
#include <optional>

/// Paints the list of a working screen (rows described by FileListRoles) without a widget per
/// row, so a list of 10,000 files costs only the rows in sight:
/// - a heading: its text in the caption-2 style, secondary colour;
/// - a queued file: its symbol in the secondary colour, its name cut to fit and its detail
///   (a size) in the caption style, secondary colour, at the right;
/// - a result: its status symbol in its own colour, its name cut to fit, its caption at the
///   right and, when it saved a file, a borderless "Reveal" link the size of a button.
/// Rows sit kListSpacing apart inside a kListMargin margin (ScreenParts); a row with a divider
/// above gets it with kDividerSpace on either side. Selected rows are highlighted and the
/// current one framed when the list has focus. A click on a link emits revealRequested.
///
/// Threading: the UI thread only.
class FileRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit FileRowDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    /// The clickable "Reveal" area of the row drawn in `option.rect`; empty without a saved file.
    QRect revealRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;

signals:
    void revealRequested(const QString& savedPath);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    struct Geometry;
    struct Metrics {
        int text;     // a file row without a link
        int link;     // a result row with a link
        int heading;  // a heading row
        QSize reveal; // the link, as large as a flat button
    };
    Geometry layout(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    const Metrics& metrics(const QStyleOptionViewItem& option) const;
    int contentHeight(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    QRect revealLabelRect(const QStyleOptionViewItem& option, const QRect& button) const;
    void paintDivider(QPainter* painter, const QStyleOptionViewItem& option,
                      const Geometry& geometry) const;
    void paintSelection(QPainter* painter, const QStyleOptionViewItem& option,
                        const Geometry& geometry) const;
    void paintFile(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                   const Geometry& geometry) const;
    const QPixmap& symbol(const QString& name, const QColor& color, qreal dpr) const;

    mutable QHash<QString, QPixmap> m_symbols; // by name, colour and pixel ratio
    // For the font last asked about: every row of a list has the same, and a layout asks
    // for the size of each of 10,000 rows.
    mutable QFont m_metricsFont;
    mutable std::optional<Metrics> m_metrics;
};
