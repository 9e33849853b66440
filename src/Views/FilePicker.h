// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <set>
#include <string>

class DropHandlerBase;
class QPushButton;
class QWidget;

/// Adding files to a screen from the desktop's file dialog instead of a drop: what the user
/// chooses goes through the screen's DropHandler, so it is filtered, expanded (a folder, on
/// Compress) and de-duplicated exactly as a drop of the same files would be.
///
/// The dialog is a seam: tests give a Chooser that answers without showing anything.
/// UI thread only.
class FilePicker : public QObject {
    Q_OBJECT

public:
    enum class Kind {
        files, // "Add Files…": several files at once, limited to the screen's filter
        folder // "Add Folder…"
    };
    /// Asks the user over `parent`; returns the local paths chosen, none when cancelled.
    /// `filter` is a dialog name filter such as "PDFs (*.pdf *.PDF)" (files only).
    using Chooser = std::function<QStringList(QWidget* parent, Kind kind, const QString& filter)>;

    /// Owned by `screen`; `drops` is the screen's drop handler and must outlive the picker.
    FilePicker(QWidget& screen, DropHandlerBase& drops, QString filter);

    /// Shows the dialog of `kind` and hands what it returns to the drop handler.
    void add(Kind kind);
    void addFiles() { add(Kind::files); }
    void addFolder() { add(Kind::folder); }
    /// A button "Add Files…" or "Add Folder…" (by `kind`) that runs add(kind).
    QPushButton* button(Kind kind, QWidget* parent);
    void setChooser(Chooser chooser);

    /// The desktop's dialogs (QFileDialog, which uses the platform's own where there is one).
    static QStringList desktopChooser(QWidget* parent, Kind kind, const QString& filter);
    /// "<label> (*.png *.PNG …)" for lower-case extensions: both cases, since some desktops'
    /// dialogs match patterns case-sensitively while the screens accept any case.
    static QString filter(const QString& label,
                          const std::set<std::string, std::less<>>& extensions);

private:
    QWidget& m_screen;
    DropHandlerBase& m_drops;
    QString m_filter;
    Chooser m_chooser = desktopChooser;
};
