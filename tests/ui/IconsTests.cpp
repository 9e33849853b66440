// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in drawings come from compiled-in SVG resources: each must actually render, in the
// colour asked for (or its own, for the status symbols), and fainter when disabled.
#include "Desktop/Icons.h"

#include <QApplication>
#include <QImage>
#include <QTest>

namespace {

struct Inked {
    int pixels = 0;     // pixels at least half opaque
    int maxAlpha = 0;   // the most opaque pixel's alpha
    QRgb darkest = 0;   // the colour of the most opaque pixel
    bool white = false; // some opaque pixel is white
};

Inked inkOf(const QIcon& icon, QIcon::Mode mode = QIcon::Normal) {
    const QImage image =
        icon.pixmap(QSize(48, 48), mode).toImage().convertToFormat(QImage::Format_ARGB32);
    Inked ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            ink.pixels += qAlpha(pixel) >= 128;
            ink.white = ink.white || (qAlpha(pixel) == 255 && (pixel & 0xffffff) == 0xffffff);
            if (qAlpha(pixel) > ink.maxAlpha) {
                ink.maxAlpha = qAlpha(pixel);
                ink.darkest = pixel;
            }
        }
    }
    return ink;
}

} // namespace

class IconsTests : public QObject {
    Q_OBJECT

private slots:
    void everyDrawingRendersInItsColour_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("ownColour"); // invalid: the colour asked for
        for (const char* name : {"doc", "doc.zipper", "doc.on.doc", "text.viewfinder", "clock",
                                 "clock.arrow.circlepath", "square.and.arrow.down", "photo",
                                 "doc.text.magnifyingglass", "no.such.symbol"})
            QTest::newRow(name) << QString(name) << QColor();
        QTest::newRow("checkmark") << "checkmark.circle.fill" << QColor(0x2e, 0xa0, 0x43);
        QTest::newRow("info") << "info.circle" << QColor(0x86, 0x86, 0x8b);
    }

    void everyDrawingRendersInItsColour() {
        QFETCH(QString, name);
        QFETCH(QColor, ownColour);
        const QColor asked(0x1e, 0x60, 0xd0);
        const Inked tinted = inkOf(Icons::symbol(name, asked));
        QVERIFY2(tinted.pixels > 40, qPrintable(name));
        QCOMPARE(QColor(tinted.darkest).rgb(), asked.rgb());
        QCOMPARE(tinted.white, name == "checkmark.circle.fill");
        if (ownColour.isValid()) {
            QCOMPARE(QColor(inkOf(Icons::symbol(name)).darkest).rgb(), ownColour.rgb());
        }
        const Inked disabled = inkOf(Icons::symbol(name, asked), QIcon::Disabled);
        QVERIFY(disabled.maxAlpha > 0 && disabled.maxAlpha < 128);
        QCOMPARE(Icons::description(name).isEmpty(), name == "no.such.symbol");
    }
};

QTEST_MAIN(IconsTests)
#include "IconsTests.moc"
