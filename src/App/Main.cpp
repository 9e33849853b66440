// SPDX-License-Identifier: GPL-3.0-or-later
// The `parvo` executable: the window when run without a command (with the files named on
// the command line queued), the headless front end when given one (compress, ocr, merge,
// split, extract). The headless path never creates a QApplication, so it runs without a
// display.
#include "App/MainWindow.h"
#include "App/ParvoApp.h"
#include "App/ScreenshotTour.h"
#include "App/SingleInstance.h"
#include "App/UiLanguage.h"
#include "Cli/CompressCommand.h"
#include "Cli/Launch.h"
#include "Desktop/Icons.h"
#include "Platform/ProcessTuning.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QString>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace {

// The window is quiet: Qt's warnings (fonts, platform plugins, D-Bus) go nowhere.
void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

// The photographs of scripts/screenshots; the tour keeps its history in memory, so it never
// touches the user's.
int runTour(const std::string& folder) {
    ParvoApp parvo({}, new UpdaterController());
    ScreenshotTour::start(*parvo.openWindow(), parvo.history(), QString::fromStdString(folder));
    return QApplication::exec();
}

// The window of the session: a launch while one is open hands its request to that process
// and ends here.
int runSession(const Launch::Request& request) {
    SingleInstance instance(QDBusConnection::sessionBus());
    const QList<QUrl> files = SingleInstance::fileUrls(request.files);
    if (instance.handOver(request.tab, files)) {
        return CompressCommand::kSuccess;
    }
    ParvoApp parvo;
    QObject::connect(&instance, &SingleInstance::activateRequested, &parvo, &ParvoApp::activate);
    QObject::connect(&instance, &SingleInstance::openRequested, &parvo, &ParvoApp::openFiles);
    if (request.tab || !files.isEmpty()) {
        parvo.openFiles(request.tab.value_or(Launch::Tab::compress), files);
    } else {
        parvo.activate();
    }
    return QApplication::exec();
}

int runWindow(char** argv, const Launch::Request& request) {
    QApplication::setApplicationName(QStringLiteral("parvo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Parvo"));
    QApplication::setApplicationVersion(QStringLiteral(PARVO_VERSION));
    QApplication::setDesktopFileName(SingleInstance::serviceName());
    // Every argument is Parvo's: none of Qt's own options is taken from the command line.
    int argc = 1;
    // Installed only once the application stands: without a display Qt must still be able to
    // say why it cannot start.
    QApplication application(argc, argv);
    qInstallMessageHandler(dropMessage);
    const UiLanguage language;
    // Installed with the desktop file; the built-in symbol stands in when running from a build.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("parvo"), Icons::symbol(QStringLiteral("doc.zipper"))));
    return request.action == Launch::Action::screenshots ? runTour(request.folder)
                                                         : runSession(request);
}

} // namespace

int main(int argc, char** argv) {
    ProcessTuning::keepLargeAllocationsForReuse();
    const Launch::Request request =
        Launch::read(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    switch (request.action) {
    case Launch::Action::help:
        std::cout << Launch::usage();
        return CompressCommand::kSuccess;
    case Launch::Action::version:
        std::cout << "parvo " PARVO_VERSION "\n";
        return CompressCommand::kSuccess;
    case Launch::Action::badArguments:
        std::cerr << Launch::refusal(request.problem);
        return CompressCommand::kBadArguments;
    case Launch::Action::command: {
        return Launch::runCommandStoppedBySignals(request, std::cout, std::cerr);
    }
    case Launch::Action::screenshots:
    case Launch::Action::window:
        break;
    }
    return runWindow(argv, request);
}
