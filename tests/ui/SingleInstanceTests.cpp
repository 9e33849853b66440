// SPDX-License-Identifier: GPL-3.0-or-later
// One window process per session: this test process plays the running Parvo on a private
// session bus (ctest starts it under dbus-run-session) and launches the real `parvo` as the
// second start.
#include "App/MainWindow.h"
#include "App/ParvoApp.h"
#include "App/SingleInstance.h"
#include "App/UpdaterController.h"
#include "Views/CompressView.h"
#include "Views/OCRView.h"
#include "support/Synth.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Runs `parvo ARGUMENTS` in `folder` (so relative paths are relative to it) with the history
// kept inside it; returns the process, started.
std::unique_ptr<QProcess> launch(const fs::path& folder, const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(folder / "data"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(QString::fromStdString(folder));
    process->start(QStringLiteral(PARVO_EXECUTABLE), arguments);
    return process;
}

// Waits (running this process's event loop, which answers the hand-over) for `process` to
// end; its exit status, or -1 when it crashed or is still running after 20 s.
int exitStatusOf(QProcess& process) {
    if (process.state() != QProcess::NotRunning) {
        QSignalSpy finished(&process, &QProcess::finished);
        finished.wait(20000);
    }
    return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit
               ? process.exitCode()
               : -1;
}

std::vector<fs::path> compressQueue(MainWindow& window) {
    std::vector<fs::path> sources;
    for (const auto& job : qobject_cast<CompressView*>(window.tabs()->widget(0))->batch().queue()) {
        sources.push_back(job.src);
    }
    return sources;
}

// The connections that own or wait for Parvo's bus name, the owner first.
QStringList queuedOwners() {
    const QDBusMessage call =
        QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListQueuedOwners"))
        << SingleInstance::serviceName();
    const QDBusReply<QStringList> owners = QDBusConnection::sessionBus().call(call);
    return owners.isValid() ? owners.value() : QStringList();
}

const std::vector<fs::path>& ocrQueue(MainWindow& window) {
    return qobject_cast<OCRView*>(window.tabs()->widget(2))->batch().queue();
}

} // namespace

class SingleInstanceTests : public QObject {
    Q_OBJECT

private slots:
    void secondLaunchHandsItsFilesToTheFirstAndEnds();
    void launchWaitsForAnOwnerThatDoesNotAnswerToLeave();
    void withoutBusEveryLaunchOpensItsOwnWindow();
};

void SingleInstanceTests::secondLaunchHandsItsFilesToTheFirstAndEnds() {
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
    Synth::TempDir dir;
    Synth::save(Synth::photoLike(48, 32, 1), dir / "a b.png");
    ParvoApp app({}, new UpdaterController(QUrl(), QStringLiteral("1.0")));
    SingleInstance instance(QDBusConnection::sessionBus());
    QVERIFY(!instance.handOver(std::nullopt, {}));
    connect(&instance, &SingleInstance::activateRequested, &app, &ParvoApp::activate);
    connect(&instance, &SingleInstance::openRequested, &app, &ParvoApp::openFiles);
    MainWindow* window = app.activate();
    window->tabs()->setCurrentIndex(3);

    auto second = launch(dir.path(), {QStringLiteral("a b.png")});
    QCOMPARE(exitStatusOf(*second), 0);
    QTRY_COMPARE(compressQueue(*window), std::vector<fs::path>{dir / "a b.png"});
    QCOMPARE(window->tabs()->currentIndex(), 0);

    auto third = launch(dir.path(), {QStringLiteral("--tab"), QStringLiteral("ocr"),
                                     QString::fromStdString(dir / "a b.png")});
    QCOMPARE(exitStatusOf(*third), 0);
    QTRY_COMPARE(ocrQueue(*window).size(), std::size_t{1});
    QCOMPARE(window->tabs()->currentIndex(), 2);

    // A plain launch only raises the window: its tab and queues stay.
    auto fourth = launch(dir.path(), {});
    QCOMPARE(exitStatusOf(*fourth), 0);
    QCOMPARE(window->tabs()->currentIndex(), 2);
    QCOMPARE(app.windows().size(), 1);
    QCOMPARE(compressQueue(*window).size(), std::size_t{1});
    QVERIFY(QDBusConnection::sessionBus().unregisterService(SingleInstance::serviceName()));
}

void SingleInstanceTests::launchWaitsForAnOwnerThatDoesNotAnswerToLeave() {
    Synth::TempDir dir;
    // An owner of the name that answers nothing, as a Parvo busy quitting would.
    QDBusConnection squatter =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("squatter"));
    QVERIFY(squatter.registerService(SingleInstance::serviceName()));
    auto second = launch(dir.path(), {});
    QTRY_COMPARE_WITH_TIMEOUT(queuedOwners().size(), 2, 20000); // the launch waits in line
    QTest::qWait(500);
    QCOMPARE(second->state(), QProcess::Running);
    QVERIFY(squatter.unregisterService(SingleInstance::serviceName()));
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    QTRY_COMPARE(bus->servicePid(SingleInstance::serviceName()).value(),
                 static_cast<uint>(second->processId()));
    QTest::qWait(300);
    QCOMPARE(second->state(), QProcess::Running); // it is the window now
    second->terminate();
    QVERIFY(second->waitForFinished(10000));
    QDBusConnection::disconnectFromBus(QStringLiteral("squatter"));
}

void SingleInstanceTests::withoutBusEveryLaunchOpensItsOwnWindow() {
    SingleInstance instance(QDBusConnection(QStringLiteral("no bus")));
    QVERIFY(!instance.handOver(Launch::Tab::ocr, {QUrl::fromLocalFile(QStringLiteral("/a.png"))}));
}

QTEST_MAIN(SingleInstanceTests)
#include "SingleInstanceTests.moc"
