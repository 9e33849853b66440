// SPDX-License-Identifier: GPL-3.0-or-later
// The `parvo` executable: the window when run without arguments, the headless front end when
// given a command (compress, ocr, merge, split, extract). The headless path never creates a
// QApplication, so it runs without a display.
#include "Cli/CompressCommand.h"
#include "Desktop/Icons.h"
#include "App/MainWindow.h"
#include "Cli/OcrCommand.h"
#include "App/ParvoApp.h"
#include "Cli/PdfToolsCommand.h"
#include "App/ScreenshotTour.h"
#include "Platform/ProcessTuning.h"

#include <QApplication>
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

// Ctrl-C or SIGTERM: finish the file in progress (so no temporary file is left), then stop;
// a second signal ends the process at once. Signals are blocked in every thread (the
// libraries start their own) and taken by sigwait on one watcher thread, where stopping a
// batch is an ordinary call rather than work inside a signal handler.
void stopOnSignals(std::stop_source stop) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread([stopSignals, stop]() mutable {
        int signal = 0;
        if (sigwait(&stopSignals, &signal) == 0) {
            std::cerr << "parvo: stopping after the file in progress\n";
            stop.request_stop();
        }
        if (sigwait(&stopSignals, &signal) == 0) {
            std::_Exit(128 + signal);
        }
    }).detach();
}

std::string usage() {
    return CompressCommand::usage() + "\n" + OcrCommand::usage() + "\n" + PdfToolsCommand::usage();
}

bool isCommand(const std::string& name) {
    return name == "compress" || name == "ocr" || PdfToolsCommand::handles(name);
}

// Every command takes the arguments after its name and the same stop request, and returns
// the same exit statuses.
int runCommand(const std::string& command, const std::vector<std::string>& rest) {
    std::stop_source stop;
    stopOnSignals(stop);
    if (command == "compress") {
        return CompressCommand::run(rest, std::cout, std::cerr, stop.get_token());
    }
    if (command == "ocr") {
        return OcrCommand::run(rest, std::cout, std::cerr, stop.get_token());
    }
    return PdfToolsCommand::run(command, rest, std::cout, std::cerr, stop.get_token());
}

// The window is quiet: Qt's warnings (fonts, platform plugins, D-Bus) go nowhere.
void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

int runWindow(int argc, char** argv, const std::string& screenshotFolder) {
    QApplication::setApplicationName(QStringLiteral("parvo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Parvo"));
    QApplication::setApplicationVersion(QStringLiteral(PARVO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("parvo"));
    // Installed only once the application stands: without a display Qt must still be able to
    // say why it cannot start.
    QApplication application(argc, argv);
    qInstallMessageHandler(dropMessage);
    // Installed with the desktop file; the built-in symbol stands in when running from a build.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("parvo"), Icons::symbol(QStringLiteral("doc.zipper"))));
    if (screenshotFolder.empty()) {
        ParvoApp parvo;
        parvo.openWindow();
        return QApplication::exec();
    }
    // The tour keeps its history in memory: it never touches the user's.
    ParvoApp parvo({}, new UpdaterController());
    ScreenshotTour::start(*parvo.openWindow(), parvo.history(),
                          QString::fromStdString(screenshotFolder));
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    ProcessTuning::keepLargeAllocationsForReuse();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.empty()) {
        return runWindow(argc, argv, {});
    }
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::cout << usage();
        return CompressCommand::kSuccess;
    }
    // Undocumented: used by scripts/screenshots to photograph each tab.
    if (arguments.size() == 2 && arguments[0] == "--screenshots") {
        return runWindow(1, argv, arguments[1]);
    }
    if (!isCommand(arguments.front())) {
        std::cerr << usage();
        return CompressCommand::kBadArguments;
    }
    return runCommand(arguments.front(), {arguments.begin() + 1, arguments.end()});
}
