// SPDX-License-Identifier: GPL-3.0-or-later
#include "App/ScreenshotTour.h"

#include "App/MainWindow.h"
#include "History/HistoryStore.h"
#include "Views/DropHandler.h"
#include "Views/OCRView.h"
#include "Views/PDFToolsView.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
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

// A born-digital document of `pages` pages, each with a heading and a paragraph.
QUrl makePdf(const QString& folder, const QString& name, int pages) {
    const QString path = QDir(folder).filePath(name);
    QPdfWriter writer(path);
    writer.setResolution(72);
    QPainter painter(&writer);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1) {
            writer.newPage();
        }
        painter.setFont(QFont(QStringLiteral("Sans"), 20, QFont::Bold));
        painter.drawText(
            60, 90, QStringLiteral("%1 \u2014 page %2").arg(name.section('.', 0, 0)).arg(page));
        painter.setFont(QFont(QStringLiteral("Sans"), 11));
        painter.drawText(QRect(60, 120, 480, 600), Qt::TextWordWrap,
                         QStringLiteral("Figures for the period, notes on method and the tables "
                                        "that the summary refers to."));
    }
    return QUrl::fromLocalFile(path);
}

// A scan-like picture of a few printed lines, large enough to recognise.
QUrl makeScan(const QString& folder, const QString& name, const QStringList& lines) {
    QImage image(900, 120 + 60 * int(lines.size()), QImage::Format_RGB32);
    image.fill(QColor(0xf4, 0xf1, 0xea));
    QPainter painter(&image);
    painter.setPen(QColor(0x22, 0x22, 0x22));
    painter.setFont(QFont(QStringLiteral("Serif"), 28));
    for (int i = 0; i < lines.size(); ++i) {
        painter.drawText(60, 100 + 60 * i, lines[i]);
    }
    painter.end();
    const QString path = QDir(folder).filePath(name);
    image.save(path, nullptr, 92);
    return QUrl::fromLocalFile(path);
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

// Found by name, which stays the same in every language.
QPushButton* buttonNamed(QWidget& screen, const QString& name) {
    return screen.findChild<QPushButton*>(name);
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

// The tour's stages, in order: each batch runs alone so that none slows another.
enum class Stage { compress, pdfTools, ocr, extras, photograph };

struct Tour {
    QPointer<MainWindow> window;
    HistoryStore* history;
    QString folder;
    QTemporaryDir inputs;
    QElapsedTimer clock;
    Stage stage = Stage::compress;
};

bool idleWithRows(FileQueueScreen& screen) {
    return !screen.batch().working() && !screen.batch().done().empty();
}

bool queued(FileQueueScreen& screen) {
    return screen.drops().pending() == 0 && screen.batch().queueSize() > 0;
}

// Advances the tour by at most one stage; true when it is ready to be photographed.
bool advance(Tour& tour, QWidget& compress, PDFToolsView& pdfTools, OCRView& ocr) {
    switch (tour.stage) {
    case Stage::compress:
        if (QPushButton* start = buttonNamed(compress, QStringLiteral("start"));
            start && start->isEnabled()) {
            start->click();
            tour.stage = Stage::pdfTools;
        }
        return false;
    case Stage::pdfTools:
        if (!tour.history->entries().empty() && queued(pdfTools)) {
            pdfTools.run();
            tour.stage = Stage::ocr;
        }
        return false;
    case Stage::ocr:
        if (idleWithRows(pdfTools) && queued(ocr)) {
            ocr.run();
            tour.stage = Stage::extras;
        }
        return false;
    case Stage::extras:
        // Files waiting for the next run above the last run's rows.
        if (idleWithRows(ocr)) {
            const QString folder = tour.inputs.path();
            dropOn(pdfTools, {makePdf(folder, QStringLiteral("Appendix.pdf"), 2)});
            dropOn(ocr, {makeScan(folder, QStringLiteral("Letter.jpg"), {QStringLiteral("Dear")})});
            tour.stage = Stage::photograph;
        }
        return false;
    case Stage::photograph:
        return queued(pdfTools) && queued(ocr);
    }
    return false;
}

// Polled every 100 ms.
void step(Tour& tour, QTimer& timer) {
    QTabWidget* tabs = tour.window ? tour.window->tabs() : nullptr;
    auto* pdfTools = tabs ? qobject_cast<PDFToolsView*>(tabs->widget(1)) : nullptr;
    auto* ocr = tabs ? qobject_cast<OCRView*>(tabs->widget(2)) : nullptr;
    if (!pdfTools || !ocr || tour.clock.elapsed() > 120000) {
        QCoreApplication::exit(1);
        return;
    }
    if (!advance(tour, *tabs->widget(0), *pdfTools, *ocr)) {
        return;
    }
    timer.stop();
    QCoreApplication::exit(saveTabs(*tour.window, tour.folder) ? 0 : 1);
}

// Queues the inputs of every screen: photos to compress, PDFs to split, scans to recognise.
void dropInputs(MainWindow& window, const QString& folder) {
    QWidget* compress = window.tabs()->widget(0);
    if (auto* picker = compress->findChild<QComboBox*>()) {
        picker->setCurrentIndex(1); // Web (1 MB): the generated photos are larger than that
    }
    dropOn(*compress, makeInputs(folder));
    QWidget* pdfTools = window.tabs()->widget(1);
    if (auto* picker = pdfTools->findChild<QComboBox*>()) {
        picker->setCurrentIndex(1); // Split every N
    }
    if (auto* every = pdfTools->findChild<QSpinBox*>()) {
        every->setValue(2);
    }
    dropOn(*pdfTools, {makePdf(folder, QStringLiteral("Quarterly report.pdf"), 5)});
    dropOn(*window.tabs()->widget(2),
           {makeScan(folder, QStringLiteral("Receipt scan.png"),
                     {QStringLiteral("Corner Bakery"), QStringLiteral("2 loaves of rye  7.40"),
                      QStringLiteral("Total  7.40")})});
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
    dropInputs(window, tour->inputs.path());
    auto* timer = new QTimer(&window);
    QObject::connect(timer, &QTimer::timeout, timer, [tour, timer] { step(*tour, *timer); });
    timer->start(100);
}

} // namespace ScreenshotTour
