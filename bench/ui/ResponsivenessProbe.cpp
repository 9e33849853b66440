// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one Compress batch over copies of the files given on the command line, on the offscreen
// platform, and reports the longest time the UI thread's event loop went without turning
// while the batch ran (from pressing Compress until its rows were shown and logged):
//   parvo-ui-probe [--email|--web|--small] FILE...        (default --web)
// prints {"files":N,"seconds":S,"longest_gap_ms":G}. Inputs are copied to a temporary folder
// first, so their folders are never written; the history goes to a file in that folder.
#include "History/HistoryStore.h"
#include "Platform/ProcessTuning.h"
#include "Views/CompressView.h"
#include "Views/DropHandler.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct Arguments {
    int targetIndex = 1; // Web (1 MB)
    QStringList files;
};

Arguments parse(const QStringList& arguments) {
    Arguments parsed;
    const QStringList targets = {"--email", "--web", "--small"};
    for (const QString& argument : arguments.mid(1)) {
        if (targets.contains(argument)) {
            parsed.targetIndex = static_cast<int>(targets.indexOf(argument));
        } else {
            parsed.files.push_back(argument);
        }
    }
    return parsed;
}

// Copies the inputs under distinct names so that no two collide in the temporary folder.
QList<QUrl> copiesIn(const QTemporaryDir& dir, const QStringList& files) {
    QList<QUrl> urls;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const fs::path source = files[i].toStdString();
        const fs::path copy = fs::path(dir.path().toStdString()) /
                              (std::to_string(i) + "-" + source.filename().string());
        std::error_code error;
        if (fs::copy_file(source, copy, error)) {
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(copy.string())));
        }
    }
    return urls;
}

void dropAndSettle(CompressView& view, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    view.handleDrop(data);
    while (view.drops().pending() > 0) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace

int main(int argc, char** argv) {
    ProcessTuning::keepLargeAllocationsForReuse(); // as the real executable does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    const Arguments arguments = parse(QApplication::arguments());
    QTemporaryDir dir;
    if (arguments.files.isEmpty() || !dir.isValid()) {
        std::fputs("usage: parvo-ui-probe [--email|--web|--small] FILE...\n", stderr);
        return 2;
    }
    HistoryStore history(fs::path(dir.path().toStdString()) / "history.json");
    CompressView view(history);
    view.resize(640, 480);
    view.show();
    view.findChild<QComboBox*>(QStringLiteral("target"))->setCurrentIndex(arguments.targetIndex);
    dropAndSettle(view, copiesIn(dir, arguments.files));
    const auto files = view.batch().queue().size();

    QElapsedTimer clock;
    qint64 lastTickNs = 0;
    qint64 longestGapNs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGapNs = std::max(longestGapNs, now - lastTickNs);
        lastTickNs = now;
    });
    QObject::connect(&view.batch(), &BatchControllerBase::finished, &app, [&] {
        // One more turn of the loop so the finish itself counts as a gap.
        QTimer::singleShot(0, &app, &QApplication::quit);
    });
    clock.start();
    ticker.start();
    view.compress();
    if (view.batch().working()) {
        QApplication::exec();
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const qint64 now = clock.nsecsElapsed();
    longestGapNs = std::max(longestGapNs, now - lastTickNs);
    std::printf("{\"files\":%zu,\"seconds\":%.3f,\"longest_gap_ms\":%.1f}\n", files, seconds,
                static_cast<double>(longestGapNs) / 1e6);
    return 0;
}
