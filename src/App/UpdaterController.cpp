// SPDX-License-Identifier: GPL-3.0-or-later
#include "App/UpdaterController.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QTextDocumentFragment>

namespace {

// A release feed is a few kilobytes; anything far beyond that is not one.
constexpr qint64 kMaxFeedBytes = 4 * 1024 * 1024;

// The transfer timeout aborts the reply; depending on the Qt version that reads as a timeout
// or as a cancellation, which only the timeout or the size guard here can cause.
QString errorText(QNetworkReply& reply, bool oversized) {
    if (oversized) {
        return QCoreApplication::translate("UpdaterController", "The update feed is too large.");
    }
    if (reply.error() == QNetworkReply::OperationCanceledError ||
        reply.error() == QNetworkReply::TimeoutError) {
        return QCoreApplication::translate("UpdaterController",
                                           "The update server did not answer in time.");
    }
    return reply.errorString();
}

QString plainText(const QString& maybeHtml) {
    return QTextDocumentFragment::fromHtml(maybeHtml).toPlainText().trimmed();
}

} // namespace

QString UpdateCheckResult::title() const {
    switch (kind) {
    case Kind::UpToDate:
        return QCoreApplication::translate("UpdaterController", "You’re up to date!");
    case Kind::NewerVersion:
        return QCoreApplication::translate("UpdaterController",
                                           "A new version of Parvo is available!");
    case Kind::Failed:
        break;
    }
    return QCoreApplication::translate("UpdaterController", "Couldn’t check for updates.");
}

QString UpdateCheckResult::text() const {
    switch (kind) {
    case Kind::UpToDate:
        return QCoreApplication::translate("UpdaterController",
                                           "Parvo %1 is currently the newest version available.")
            .arg(currentVersion);
    case Kind::NewerVersion:
        //: %1 is the new version, %2 the one installed.
        return QCoreApplication::translate("UpdaterController",
                                           "Parvo %1 is now available — you have %2.")
            .arg(item.version, currentVersion);
    case Kind::Failed:
        break;
    }
    return error;
}

UpdaterController::UpdaterController(QObject* parent)
    : UpdaterController(QUrl(QStringLiteral(PARVO_UPDATE_FEED)), QStringLiteral(PARVO_VERSION),
                        parent) {}

UpdaterController::UpdaterController(QUrl feed, QString currentVersion, QObject* parent)
    : QObject(parent), m_feed(std::move(feed)), m_currentVersion(std::move(currentVersion)),
      m_network(new QNetworkAccessManager(this)), m_presenter([](const UpdateCheckResult& result) {
          showUpdateCheckResult(result, QApplication::activeWindow());
      }) {}

UpdaterController::~UpdaterController() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

bool UpdaterController::canCheckForUpdates() const {
    return m_feed.isValid() && !m_feed.isEmpty() && !m_reply;
}

void UpdaterController::checkForUpdates() {
    if (!canCheckForUpdates()) {
        return;
    }
    QNetworkRequest request(m_feed);
    request.setTransferTimeout(static_cast<int>(m_timeout.count()));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Parvo/%1").arg(m_currentVersion));
    m_oversized = false;
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > kMaxFeedBytes && m_reply) {
            m_oversized = true;
            m_reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::finished, this, &UpdaterController::finishDownload);
}

void UpdaterController::finishDownload() {
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    UpdateCheckResult result;
    result.currentVersion = m_currentVersion;
    if (m_oversized || reply->error() != QNetworkReply::NoError) {
        result.error = errorText(*reply, m_oversized);
    } else {
        result = resultFor(reply->readAll());
    }
    deliver(result);
}

UpdateCheckResult UpdaterController::resultFor(const QByteArray& feed) const {
    UpdateCheckResult result;
    result.currentVersion = m_currentVersion;
    const auto newest = UpdateFeed::newestItem(feed);
    const auto current = UpdateFeed::parseVersion(m_currentVersion);
    if (!newest || !current) {
        result.error =
            QCoreApplication::translate("UpdaterController", "The update feed could not be read.");
        return result;
    }
    result.item = *newest;
    const auto announced = UpdateFeed::parseVersion(newest->version);
    result.kind = UpdateFeed::compareVersions(*announced, *current) > 0
                      ? UpdateCheckResult::Kind::NewerVersion
                      : UpdateCheckResult::Kind::UpToDate;
    return result;
}

void UpdaterController::deliver(const UpdateCheckResult& result) {
    emit checkFinished(result);
    if (m_presenter) {
        m_presenter(result);
    }
}

void showUpdateCheckResult(const UpdateCheckResult& result, QWidget* parent) {
    const bool newer = result.kind == UpdateCheckResult::Kind::NewerVersion;
    const bool failed = result.kind == UpdateCheckResult::Kind::Failed;
    auto* box = new QMessageBox(failed ? QMessageBox::Warning : QMessageBox::Information,
                                QCoreApplication::translate("UpdaterController", "Software Update"),
                                result.title(), QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(result.text());
    if (newer && !result.item.releaseNotes.isEmpty()) {
        box->setDetailedText(plainText(result.item.releaseNotes));
    }
    if (newer && result.item.downloadUrl.isValid()) {
        QPushButton* download = box->addButton(
            QCoreApplication::translate("UpdaterController", "Download"), QMessageBox::AcceptRole);
        const QUrl link = result.item.downloadUrl;
        QObject::connect(download, &QPushButton::clicked, box,
                         [link] { QDesktopServices::openUrl(link); });
        box->addButton(QCoreApplication::translate("UpdaterController", "Later"),
                       QMessageBox::RejectRole);
    } else {
        box->addButton(QMessageBox::Ok);
    }
    box->open();
}
