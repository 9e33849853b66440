// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Cli/Launch.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>
#include <optional>

/// Keeps the windows of a session in one process, so that only one process loads and rewrites
/// the history. The first window process owns the bus name `serviceName()` and answers the
/// freedesktop `org.freedesktop.Application` interface at `objectPath()`:
///
/// - Activate(): raise a window;
/// - Open(uris): queue the files on Compress;
/// - ActivateAction("compress" | "pdf-tools" | "ocr", [uris]): open that tab, queueing the files.
///
/// A later window launch hands its request to that process and ends. Without a session bus
/// every launch opens its own window, as before. UI thread only.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    /// How long a running instance has to answer a hand-over, and how long a launch then
    /// waits for that instance to end (it may be finishing a file before quitting).
    static constexpr int kAnswerMs = 5000;
    static constexpr int kTakeOverMs = 30000;

    /// The application id: the desktop entry's and the metainfo's name, and the bus name.
    static QString serviceName();
    static QString objectPath();

    explicit SingleInstance(QDBusConnection bus, QObject* parent = nullptr);

    /// Asks for the bus name. When another process owns it, hands it the request (`tab`
    /// absent and no files: just raise a window; files without a tab go to Compress) and
    /// returns true: this process should end. Returns false when this process is to open the
    /// window itself: it owns the name now, there is no bus, or the owner did not answer —
    /// then it waits up to kTakeOverMs for the owner to end and takes the name over.
    /// `files` are absolute file URLs.
    bool handOver(std::optional<Launch::Tab> tab, const QList<QUrl>& files);

    /// Absolute file URLs of command-line paths, relative ones against the working directory.
    static QList<QUrl> fileUrls(const std::vector<std::string>& paths);

signals:
    /// A later launch asked for a window.
    void activateRequested();
    /// A later launch asked for `tab` with `files` (file URLs, possibly none) queued on it.
    void openRequested(Launch::Tab tab, const QList<QUrl>& files);

public slots:
    // The interface's methods, under the names the interface gives them.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
    Q_SCRIPTABLE void Open(const QStringList& uris, const QVariantMap& platformData);
    Q_SCRIPTABLE void ActivateAction(const QString& actionName, const QVariantList& parameter,
                                     const QVariantMap& platformData);

private:
    bool callOwner(std::optional<Launch::Tab> tab, const QList<QUrl>& files);
    bool ownsName() const;
    void waitForName();

    QDBusConnection m_bus;
};
