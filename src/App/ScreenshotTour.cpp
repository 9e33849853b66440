// SPDX-License-Identifier: GPL-3.0-or-later
#include "App/ScreenshotTour.h"

#include "App/MainWindow.h"
#include "History/HistoryStore.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <memory>

namespace {

// A photo-like picture: soft gradients with fine grain, which JPEG cannot squeeze for free.
QImage photo(int width, int height, quint32 seed) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(24));
            const int r = int(120 + 100 * std::sin(x * 0.004 + seed)) + grain;
            const int g = int(110 + 90 * std::cos(y * 0.005 + seed)) + grain;
            const int b = int(140 + 80 * std::sin((x + y) * 0.003)) + grain;
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return image;
}

QList<QUrl> makeInputs(const QString& folder) {
    const struct {
        const char* name;
        int width, height;
    } inputs[] = {{"Harbour at dawn.png", 2400, 1600},
                  {"Market street.jpg", 3000, 2000},
                  {"Garden.png", 1800, 1200}};
    QList<QUrl> urls;
    quint32 seed = 1;
    for (const auto& input : inputs) {
        const QString path = QDir(folder).filePath(QString::fromUtf8(input.name));
        photo(input.width, input.height, seed++).save(path, nullptr, 97);
        urls.append(QUrl::fromLocalFile(path));
    }
    return urls;
}

// Drops the files through the same event a desktop drag delivers.
void dropOn(QWidget& target, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    const QPointF centre(target.width() / 2.0, target.height() / 2.0);
    QDragEnterEvent enter(centre.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    QDropEvent drop(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
}

QPushButton* buttonLabelled(QWidget& screen, const QString& text) {
    for (QPushButton* button : screen.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

bool saveTabs(MainWindow& window, const QString& folder) {
    QDir().mkpath(folder);
    const QStringList names = {"1-compress", "2-pdf-tools", "3-ocr", "4-history"};
    bool saved = true;
    for (int i = 0; i < window.tabs()->count(); ++i) {
        window.tabs()->setCurrentIndex(i);
        QApplication::processEvents();
        saved = window.grab().save(QDir(folder).filePath(names.value(i) + ".png")) && saved;
    }
    window.tabs()->setCurrentIndex(0);
    return saved;
}

struct Tour {
    QPointer<MainWindow> window;
    HistoryStore* history;
    QString folder;
    QTemporaryDir inputs;
    QElapsedTimer clock;
    bool started = false;
};

// Polled every 100 ms: start the batch once the drop is queued, photograph when it is logged.
void step(Tour& tour, QTimer& timer) {
    QWidget* compress = tour.window ? tour.window->tabs()->widget(0) : nullptr;
    if (!compress || tour.clock.elapsed() > 60000) {
        QCoreApplication::exit(1);
        return;
    }
    if (!tour.started) {
        if (QPushButton* start = buttonLabelled(*compress, QStringLiteral("Compress"));
            start && start->isEnabled()) {
            start->click();
            tour.started = true;
        }
        return;
    }
    if (tour.history->entries().empty()) {
        return;
    }
    timer.stop();
    QCoreApplication::exit(saveTabs(*tour.window, tour.folder) ? 0 : 1);
}

} // namespace

namespace ScreenshotTour {

void start(MainWindow& window, HistoryStore& history, const QString& folder) {
    auto tour = std::make_shared<Tour>();
    tour->window = &window;
    tour->history = &history;
    tour->folder = folder;
    tour->clock.start();
    window.resize(980, 660);
    QWidget* compress = window.tabs()->widget(0);
    if (auto* picker = compress->findChild<QComboBox*>()) {
        picker->setCurrentIndex(1); // Web (1 MB): the generated photos are larger than that
    }
    dropOn(*compress, makeInputs(tour->inputs.path()));
    auto* timer = new QTimer(&window);
    QObject::connect(timer, &QTimer::timeout, timer, [tour, timer] { step(*tour, *timer); });
    timer->start(100);
}

} // namespace ScreenshotTour
