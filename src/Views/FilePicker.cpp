// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/FilePicker.h"

#include "Views/DropHandler.h"

#include <QFileDialog>
#include <QPushButton>
#include <QUrl>
#include <utility>

FilePicker::FilePicker(QWidget& screen, DropHandlerBase& drops, QString filter)
    : QObject(&screen), m_screen(screen), m_drops(drops), m_filter(std::move(filter)) {}

void FilePicker::setChooser(Chooser chooser) {
    m_chooser = std::move(chooser);
}

void FilePicker::add(Kind kind) {
    const QStringList chosen = m_chooser(&m_screen, kind, m_filter);
    QList<QUrl> urls;
    for (const QString& path : chosen) {
        if (!path.isEmpty()) {
            urls.push_back(QUrl::fromLocalFile(path));
        }
    }
    m_drops.handleUrls(urls);
}

QPushButton* FilePicker::button(Kind kind, QWidget* parent) {
    const bool files = kind == Kind::files;
    auto* button = new QPushButton(files ? tr("Add Files\u2026") : tr("Add Folder\u2026"), parent);
    button->setObjectName(files ? QStringLiteral("addFiles") : QStringLiteral("addFolder"));
    connect(button, &QPushButton::clicked, this, [this, kind] { add(kind); });
    return button;
}

QStringList FilePicker::desktopChooser(QWidget* parent, Kind kind, const QString& filter) {
    if (kind == Kind::folder) {
        const QString folder = QFileDialog::getExistingDirectory(parent, tr("Add Folder"));
        return folder.isEmpty() ? QStringList() : QStringList{folder};
    }
    return QFileDialog::getOpenFileNames(parent, tr("Add Files"), QString(), filter);
}

QString FilePicker::filter(const QString& label,
                           const std::set<std::string, std::less<>>& extensions) {
    QStringList patterns;
    for (const std::string& extension : extensions) {
        const QString lower = QString::fromStdString(extension);
        patterns << QStringLiteral("*.") + lower << QStringLiteral("*.") + lower.toUpper();
    }
    return label + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}
