// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "App/UpdateFeed.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

/// What a user-initiated update check found.
struct UpdateCheckResult {
    enum class Kind { UpToDate, NewerVersion, Failed };
    Kind kind = Kind::Failed;
    QString currentVersion;
    AppcastItem item; // the newest release announced (UpToDate, NewerVersion)
    QString error;    // why the check failed, for the user (Failed)

    /// The dialog's headline and its explanatory text.
    QString title() const;
    QString text() const;
};

/// The application's one updater: fetches the update feed (an RSS appcast) when the user asks,
/// compares its newest version with the application's own and reports the result. No check
/// runs unasked.
///
/// Threading: create and call on the UI thread; the download is asynchronous and the result
/// is delivered on the UI thread, once per check, to the presenter (by default a dialog on the
/// active window with a "Download" button for a newer version) and by checkFinished().
class UpdaterController : public QObject {
    Q_OBJECT
public:
    using Presenter = std::function<void(const UpdateCheckResult&)>;

    /// The feed fixed at build time and the application's own version.
    explicit UpdaterController(QObject* parent = nullptr);
    /// `feed` empty or invalid: checking is impossible. `currentVersion` dotted numeric.
    UpdaterController(QUrl feed, QString currentVersion, QObject* parent = nullptr);
    ~UpdaterController() override;

    /// True when a feed is configured and no check is running.
    bool canCheckForUpdates() const;

    /// Starts a check; does nothing when canCheckForUpdates() is false.
    void checkForUpdates();

    void setPresenter(Presenter presenter) { m_presenter = std::move(presenter); }
    /// How long the feed may stay silent before the check fails (default 20 s).
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

signals:
    void checkFinished(const UpdateCheckResult& result);

private:
    void finishDownload();
    UpdateCheckResult resultFor(const QByteArray& feed) const;
    void deliver(const UpdateCheckResult& result);

    QUrl m_feed;
    QString m_currentVersion;
    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    Presenter m_presenter;
    std::chrono::milliseconds m_timeout{20000};
    bool m_oversized = false;
};

/// The standard presentation: a non-modal message box over `parent`; for a newer version its
/// "Download" button opens the release's link in the browser.
void showUpdateCheckResult(const UpdateCheckResult& result, QWidget* parent);
