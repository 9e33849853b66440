// SPDX-License-Identifier: GPL-3.0-or-later
// How well the window keeps its event loop turning, on the offscreen platform. Three probes:
//   parvo-ui-probe [--email|--web|--small] FILE...
//     one Compress batch over copies of the files (default --web), from pressing Compress until
//     its rows are shown and logged:  {"files":N,"seconds":S,"longest_gap_ms":G}
//   parvo-ui-probe --folder N
//     a folder of N small generated files dropped on the Compress tab of a whole window: the
//     time until the queue is drawn and the longest gap meanwhile; then a batch over them with
//     a stand-in compressor that answers at once, so the figure is the finish of N rows:
//     {"files":N,"listed_seconds":S,"longest_gap_listing_ms":G,"batch_seconds":B,
//      "longest_gap_batch_ms":F}
//   parvo-ui-probe --running N
//     a batch of N small files on the Compress tab of a whole window, each reporting its start,
//     20 pages and its end about a millisecond apart (a stand-in for the workflow): the longest
//     gap while it runs, up to its last event, and how many progress updates the screen got;
//     then, for the machine's own share, the longest gap of the same batch sending no events:
//     {"files":N,"events":E,"running_seconds":S,"longest_gap_running_ms":G,"updates":U,
//      "longest_gap_quiet_ms":Q}
// Inputs are copied or generated in a temporary folder, so no folder of the caller's is
// written; the history goes to a file in that folder.
#include "App/MainWindow.h"
#include "App/UpdaterController.h"
#include "Cli/Syntax.h"
#include "History/HistoryStore.h"
#include "Platform/ProcessTuning.h"
#include "Views/CompressView.h"
#include "Views/DropHandler.h"
#include "Views/FileListView.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The longest time the event loop went without firing a 1 ms timer.
class GapMeter {
public:
    GapMeter() {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_ticker.start();
    }
    double seconds() const { return static_cast<double>(m_clock.nsecsElapsed()) / 1e9; }
    double longestMs() {
        tick();
        return static_cast<double>(m_longest) / 1e6;
    }

private:
    void tick() {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }

    QTimer m_ticker;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

fs::path pathOf(const QTemporaryDir& dir) {
    return fs::path(dir.path().toStdString());
}

// Copies the inputs under distinct names so that no two collide in the temporary folder.
QList<QUrl> copiesIn(const QTemporaryDir& dir, const QStringList& files) {
    QList<QUrl> urls;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const fs::path source = files[i].toStdString();
        const fs::path copy = pathOf(dir) / (std::to_string(i) + "-" + source.filename().string());
        std::error_code error;
        if (fs::copy_file(source, copy, error)) {
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(copy.string())));
        }
    }
    return urls;
}

// Stands in for a folder of photos: only names and sizes matter until a batch runs.
fs::path generatedFolder(const QTemporaryDir& dir, int count) {
    const fs::path folder = pathOf(dir) / "Photos";
    fs::create_directories(folder);
    const std::string bytes(64, 'x');
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%05d.jpg", i + 1);
        std::ofstream(folder / name, std::ios::binary) << bytes;
    }
    return folder;
}

void dropAndSettle(CompressView& view, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    view.handleDrop(data);
    while (view.drops().pending() > 0) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void runUntilFinished(CompressView& view) {
    QEventLoop loop;
    // One more turn of the loop after the finish, so the finish itself counts as a gap.
    QObject::connect(&view.batch(), &BatchControllerBase::finished, &loop,
                     [&loop] { QTimer::singleShot(0, &loop, &QEventLoop::quit); });
    view.compress();
    if (view.batch().working()) {
        loop.exec();
    }
}

int batchProbe(int targetIndex, const QStringList& files) {
    QTemporaryDir dir;
    HistoryStore history(pathOf(dir) / "history.json");
    CompressView view(history);
    view.resize(640, 480);
    view.show();
    view.findChild<QComboBox*>(QStringLiteral("target"))->setCurrentIndex(targetIndex);
    dropAndSettle(view, copiesIn(dir, files));
    const std::size_t queued = view.batch().queue().size();
    GapMeter gaps;
    gaps.start();
    runUntilFinished(view);
    std::printf("{\"files\":%zu,\"seconds\":%.3f,\"longest_gap_ms\":%.1f}\n", queued,
                gaps.seconds(), gaps.longestMs());
    return 0;
}

// Waits until the list has been painted with `rows` queued files; returns at the turn of the
// loop after that paint.
void waitUntilDrawn(CompressView& view, std::size_t rows) {
    QEventLoop loop;
    struct Watcher : QObject {
        std::function<void()> painted;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                painted();
            }
            return false;
        }
    } watcher;
    watcher.painted = [&] {
        if (view.list().queueModel().fileCount() >= rows) {
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
        }
    };
    view.list().viewport()->installEventFilter(&watcher);
    loop.exec();
    view.list().viewport()->removeEventFilter(&watcher);
}

int folderProbe(int count) {
    QTemporaryDir dir;
    const fs::path folder = generatedFolder(dir, count);
    HistoryStore history(pathOf(dir) / "history.json");
    UpdaterController updater(QUrl(), QStringLiteral("0"));
    MainWindow window(history, updater);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    auto* view = qobject_cast<CompressView*>(window.tabs()->widget(0));
    QApplication::processEvents();

    GapMeter gaps;
    gaps.start();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.string()))});
    view->handleDrop(data);
    waitUntilDrawn(*view, static_cast<std::size_t>(count));
    const double listed = gaps.seconds();
    const double listingGap = gaps.longestMs();

    view->setCompressor([](const fs::path&, SizeTarget) { return std::optional<Bytes>(Bytes{1}); });
    gaps.start();
    runUntilFinished(*view);
    std::printf("{\"files\":%d,\"listed_seconds\":%.3f,\"longest_gap_listing_ms\":%.1f,"
                "\"batch_seconds\":%.3f,\"longest_gap_batch_ms\":%.1f}\n",
                count, listed, listingGap, gaps.seconds(), gaps.longestMs());
    return 0;
}

// A stand-in for compressing a small file: kPages pages, one about every kPageTime.
constexpr int kPages = 20;
constexpr auto kPageTime = std::chrono::microseconds(50);

// Waits about kPageTime for each of kPages pages of a file, sending the events of the file
// when `report` is set; returns how many were sent.
std::size_t passFile(const WorkContext& context, std::size_t file, std::size_t count, bool report) {
    if (report) {
        context.events({BatchEvent::Kind::fileStarted, file, count});
    }
    for (int page = 1; page <= kPages; ++page) {
        std::this_thread::sleep_for(kPageTime);
        if (report) {
            context.events({BatchEvent::Kind::pages, file, count, page, kPages});
        }
    }
    if (report) {
        context.events({BatchEvent::Kind::fileFinished, file, count});
    }
    return report ? kPages + 2 : 0;
}

struct RunningFigures {
    double seconds = 0;
    double longestGapMs = 0;
    std::size_t events = 0;
    int updates = 0;
};

// One batch of `jobs` on `view`, measured up to its last event: the finish, which the folder
// probe measures on its own, is left out.
RunningFigures runningBatch(CompressView& view, const std::vector<CompressWorkflow::Job>& jobs,
                            bool report) {
    view.batch().append(jobs);
    QApplication::processEvents();
    RunningFigures figures;
    QMetaObject::Connection counter = QObject::connect(
        &view.batch(), &BatchControllerBase::progressChanged, [&] { ++figures.updates; });
    GapMeter gaps;
    auto lastEventSent = [&] {
        figures.seconds = gaps.seconds();
        figures.longestGapMs = gaps.longestMs();
    };
    std::atomic<std::size_t> events = 0;
    QEventLoop loop;
    QObject::connect(&view.batch(), &BatchControllerBase::finished, &loop, &QEventLoop::quit);
    gaps.start();
    view.batch().start(
        [&](const std::vector<CompressWorkflow::Job>& snapshot, const WorkContext& context) {
            std::vector<CompressWorkflow::Outcome> rows;
            for (std::size_t i = 0; i < snapshot.size() && !context.stop.stop_requested(); ++i) {
                events += passFile(context, i, snapshot.size(), report);
                CompressWorkflow::Outcome row;
                row.name = snapshot[i].name();
                rows.push_back(row);
            }
            QMetaObject::invokeMethod(qApp, lastEventSent, Qt::QueuedConnection);
            return rows;
        });
    loop.exec();
    QObject::disconnect(counter);
    figures.events = events.load();
    return figures;
}

int runningProbe(int count) {
    QTemporaryDir dir;
    HistoryStore history(pathOf(dir) / "history.json");
    UpdaterController updater(QUrl(), QStringLiteral("0"));
    MainWindow window(history, updater);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    auto* view = qobject_cast<CompressView*>(window.tabs()->widget(0));
    std::vector<CompressWorkflow::Job> jobs;
    for (int i = 0; i < count; ++i) {
        const fs::path source = pathOf(dir) / ("IMG_" + std::to_string(i + 1) + ".jpg");
        jobs.push_back({Uuid::random(), source, source, std::nullopt});
    }
    // The same batch without events first: what the loaded machine alone costs the loop.
    const RunningFigures quiet = runningBatch(*view, jobs, false);
    const RunningFigures busy = runningBatch(*view, jobs, true);
    std::printf("{\"files\":%d,\"events\":%zu,\"running_seconds\":%.3f,"
                "\"longest_gap_running_ms\":%.1f,\"updates\":%d,"
                "\"longest_gap_quiet_ms\":%.1f}\n",
                count, busy.events, busy.seconds, busy.longestGapMs, busy.updates,
                quiet.longestGapMs);
    return 0;
}

// The three forms, read into `probe`.
struct Probe {
    int folder = 0;
    int running = 0;
    int targetIndex = 1; // Web (1 MB)
    std::vector<std::string> files;
};

std::unique_ptr<CLI::App> syntax(Probe& probe) {
    auto app = Syntax::app("parvo-ui-probe",
                           "How well the window keeps its event loop turning, as JSON lines.",
                           {"parvo-ui-probe [--email|--web|--small] FILE...",
                            "parvo-ui-probe --folder N", "parvo-ui-probe --running N"});
    auto* folder = app->add_option("--folder", probe.folder, "a dropped folder of N files")
                       ->type_name("N")
                       ->check(Syntax::wholeNumber(1, 1000000));
    auto* running = app->add_option("--running", probe.running, "a batch of N reporting files")
                        ->type_name("N")
                        ->check(Syntax::wholeNumber(1, 1000000))
                        ->excludes(folder);
    const char* targets[] = {"--email", "--web", "--small"};
    for (int index = 0; index < 3; ++index) {
        app->add_flag_callback(
               targets[index], [&probe, index] { probe.targetIndex = index; },
               "the batch's size target (default --web)")
            ->excludes(folder)
            ->excludes(running);
    }
    app->add_option("FILE", probe.files)->excludes(folder)->excludes(running);
    return app;
}

} // namespace

int main(int argc, char** argv) {
    ProcessTuning::keepLargeAllocationsForReuse(); // as the real executable does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    Probe probe;
    const auto syntaxOfProbe = syntax(probe);
    std::vector<std::string> arguments;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        arguments.push_back(argument.toStdString());
    }
    const Syntax::Reading reading = Syntax::read(*syntaxOfProbe, arguments, std::cout, std::cerr);
    if (reading != Syntax::Reading::proceed) {
        return reading == Syntax::Reading::help ? 0 : 2;
    }
    if (probe.folder > 0) {
        return folderProbe(probe.folder);
    }
    if (probe.running > 0) {
        return runningProbe(probe.running);
    }
    if (probe.files.empty()) {
        std::cerr << Syntax::refusal("parvo-ui-probe", "FILE is required", syntaxOfProbe->help());
        return 2;
    }
    QStringList files;
    for (const std::string& file : probe.files) {
        files.push_back(QString::fromStdString(file));
    }
    return batchProbe(probe.targetIndex, files);
}
