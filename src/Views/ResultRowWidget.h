// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <optional>

class QMimeData;
class QPushButton;

/// What one result row shows, whatever screen made it.
struct ResultRowContent {
    QString name;                     // the input's file name
    std::optional<QString> savedPath; // the file written, absent when nothing was
    QString caption;                  // the size line or the note; may be empty
};

/// One result row: a green check ("checkmark.circle.fill") when something was saved, else a
/// secondary "info.circle"; the name cut to fit; flexible space; the caption in the caption
/// style; and, only when saved, a borderless "Reveal" link that shows the file in the file
/// manager. Dragging the row out offers the saved file as a file URL, or an empty item when
/// there is none or it no longer exists. UI thread only.
class ResultRowWidget : public QWidget {
    Q_OBJECT

public:
    explicit ResultRowWidget(ResultRowContent content, QWidget* parent = nullptr);

    const ResultRowContent& content() const { return m_content; }
    bool saved() const { return m_content.savedPath.has_value(); }
    /// The "Reveal" button, or null on a row without a saved file.
    QPushButton* revealButton() const { return m_reveal; }
    /// What a drag of this row carries (a new object, owned by the caller).
    QMimeData* dragData() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void addReveal();

    ResultRowContent m_content;
    QPushButton* m_reveal = nullptr;
    std::optional<QPoint> m_pressPosition;
};
