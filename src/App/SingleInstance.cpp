// SPDX-License-Identifier: GPL-3.0-or-later
#include "App/SingleInstance.h"

#include "Views/LocalPath.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <utility>

namespace {

constexpr auto kInterface = "org.freedesktop.Application";

QList<QUrl> urlsOf(const QStringList& uris) {
    QList<QUrl> urls;
    for (const QString& uri : uris) {
        urls.append(QUrl(uri));
    }
    return urls;
}

QStringList urisOf(const QList<QUrl>& files) {
    QStringList uris;
    for (const QUrl& file : files) {
        uris.append(QString::fromUtf8(file.toEncoded()));
    }
    return uris;
}

// An action's parameter arrives as a variant holding the string array, which QtDBus may
// leave marshalled.
QStringList urisIn(const QVariantList& parameter) {
    if (parameter.isEmpty()) {
        return {};
    }
    const QVariant& value = parameter.front();
    if (value.canConvert<QDBusArgument>()) {
        return qdbus_cast<QStringList>(value.value<QDBusArgument>());
    }
    return value.toStringList();
}

} // namespace

QString SingleInstance::serviceName() {
    return QStringLiteral(PARVO_APP_ID);
}

QString SingleInstance::objectPath() {
    return QLatin1Char('/') + serviceName().replace(QLatin1Char('.'), QLatin1Char('/'));
}

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

QList<QUrl> SingleInstance::fileUrls(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        const QFileInfo file(LocalPath::toQString(path));
        urls.append(QUrl::fromLocalFile(file.absoluteFilePath()));
    }
    return urls;
}

bool SingleInstance::handOver(std::optional<Launch::Tab> tab, const QList<QUrl>& files) {
    QDBusConnectionInterface* bus = m_bus.isConnected() ? m_bus.interface() : nullptr;
    if (bus == nullptr ||
        !m_bus.registerObject(objectPath(), this, QDBusConnection::ExportScriptableSlots)) {
        return false;
    }
    // Queued rather than refused: when the owner ends, the name passes to this process.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> claim =
        bus->registerService(serviceName(), QDBusConnectionInterface::QueueService,
                             QDBusConnectionInterface::DontAllowReplacement);
    if (!claim.isValid() || claim.value() != QDBusConnectionInterface::ServiceQueued) {
        return false;
    }
    if (callOwner(tab, files)) {
        return true;
    }
    waitForName();
    return false;
}

bool SingleInstance::callOwner(std::optional<Launch::Tab> tab, const QList<QUrl>& files) {
    const QVariantMap platformData;
    QDBusMessage call;
    if (tab) {
        call = QDBusMessage::createMethodCall(serviceName(), objectPath(), kInterface,
                                              QStringLiteral("ActivateAction"));
        const QVariantList parameter{QVariant::fromValue(urisOf(files))};
        call << QString::fromUtf8(QByteArrayView(Launch::tabName(*tab)))
             << QVariant::fromValue(parameter) << platformData;
    } else if (!files.isEmpty()) {
        call = QDBusMessage::createMethodCall(serviceName(), objectPath(), kInterface,
                                              QStringLiteral("Open"));
        call << urisOf(files) << platformData;
    } else {
        call = QDBusMessage::createMethodCall(serviceName(), objectPath(), kInterface,
                                              QStringLiteral("Activate"));
        call << platformData;
    }
    return m_bus.call(call, QDBus::Block, kAnswerMs).type() == QDBusMessage::ReplyMessage;
}

bool SingleInstance::ownsName() const {
    const QDBusReply<QString> owner = m_bus.interface()->serviceOwner(serviceName());
    return owner.isValid() && owner.value() == m_bus.baseService();
}

void SingleInstance::waitForName() {
    QEventLoop loop;
    QTimer::singleShot(kTakeOverMs, &loop, &QEventLoop::quit);
    connect(m_bus.interface(), &QDBusConnectionInterface::serviceRegistered, &loop,
            [&loop](const QString& name) {
                if (name == serviceName()) {
                    loop.quit();
                }
            });
    if (!ownsName()) {
        loop.exec();
    }
}

void SingleInstance::Activate(const QVariantMap&) {
    emit activateRequested();
}

void SingleInstance::Open(const QStringList& uris, const QVariantMap&) {
    emit openRequested(Launch::Tab::compress, urlsOf(uris));
}

void SingleInstance::ActivateAction(const QString& actionName, const QVariantList& parameter,
                                    const QVariantMap&) {
    if (const auto tab = Launch::tabNamed(actionName.toStdString())) {
        emit openRequested(*tab, urlsOf(urisIn(parameter)));
    }
}
