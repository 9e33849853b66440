// SPDX-License-Identifier: GPL-3.0-or-later
//
// The built-in drawings are SVG files on a 24 × 24 grid (icons/*.svg, in the icons.qrc
// resource) drawn in `currentColor`, which is replaced by the wanted colour before rendering.
// They are rendered with QSvgRenderer rather than through QIcon's SVG plugin, which a desktop
// may lack.

#include "Desktop/Icons.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QStringList>
#include <QSvgRenderer>
#include <QWidget>
#include <memory>

// The resource is compiled into a static library: it must be registered by name, and
// Q_INIT_RESOURCE must be used outside any namespace.
static void registerIconResource() {
    Q_INIT_RESOURCE(icons);
}

namespace {

struct SymbolInfo {
    QString description; // what the symbol stands for, for screen readers (English)
    QStringList themeNames;
    QString drawing; // the file in icons/, without ".svg"
    QColor colour;   // valid: the drawing's colour carries meaning, never take the theme's
};

const QHash<QString, SymbolInfo>& symbols() {
    static const QHash<QString, SymbolInfo> table = {
        {"doc",
         {QT_TRANSLATE_NOOP("Icons", "Document"),
          {"text-x-generic", "x-office-document"},
          "doc",
          {}}},
        {"doc.zipper",
         {QT_TRANSLATE_NOOP("Icons", "Compress"),
          {"package-x-generic", "application-x-archive"},
          "doc.zipper",
          {}}},
        {"doc.on.doc", {QT_TRANSLATE_NOOP("Icons", "PDF Tools"), {"edit-copy"}, "doc.on.doc", {}}},
        {"text.viewfinder",
         {QT_TRANSLATE_NOOP("Icons", "OCR"), {"scanner", "insert-text"}, "text.viewfinder", {}}},
        {"clock",
         {QT_TRANSLATE_NOOP("Icons", "Clock"), {"appointment-soon", "alarm"}, "clock", {}}},
        {"clock.arrow.circlepath",
         {QT_TRANSLATE_NOOP("Icons", "History"),
          {"document-open-recent"},
          "clock.arrow.circlepath",
          {}}},
        {"square.and.arrow.down",
         {QT_TRANSLATE_NOOP("Icons", "Drop files here"),
          {"document-save", "go-down"},
          "square.and.arrow.down",
          {}}},
        {"photo", {QT_TRANSLATE_NOOP("Icons", "Image"), {"image-x-generic"}, "photo", {}}},
        {"doc.text.magnifyingglass",
         {QT_TRANSLATE_NOOP("Icons", "Searchable document"),
          {"edit-find", "system-search"},
          "doc.text.magnifyingglass",
          {}}},
        {"checkmark.circle.fill",
         {QT_TRANSLATE_NOOP("Icons", "Saved"),
          {},
          "checkmark.circle.fill",
          QColor(0x2e, 0xa0, 0x43)}},
        {"info.circle",
         {QT_TRANSLATE_NOOP("Icons", "Nothing saved"),
          {},
          "info.circle",
          QColor(0x86, 0x86, 0x8b)}},
    };
    return table;
}

// The drawing's SVG text, read once.
QByteArray svgOf(const QString& drawing) {
    static QHash<QString, QByteArray> cache;
    if (cache.isEmpty())
        registerIconResource();
    auto found = cache.find(drawing);
    if (found == cache.end()) {
        QFile file(QStringLiteral(":/icons/%1.svg").arg(drawing));
        found = cache.insert(drawing, file.open(QIODevice::ReadOnly) ? file.readAll() : "");
    }
    return *found;
}

// Paints a drawing at any size; the colour follows the application palette unless fixed.
class SymbolEngine final : public QIconEngine {
public:
    SymbolEngine(QByteArray svg, QColor colour) : m_svg(std::move(svg)), m_colour(colour) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const QColor colour =
            m_colour.isValid() ? m_colour : QApplication::palette().color(QPalette::Text);
        const qreal opacity = colour.alphaF() * (mode == QIcon::Disabled ? 0.4 : 1.0);
        const qreal side = std::min(rect.width(), rect.height());
        const QRectF square(rect.x() + (rect.width() - side) / 2.0,
                            rect.y() + (rect.height() - side) / 2.0, side, side);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (opacity >= 1) {
            rendererFor(colour).render(painter, square);
        } else {
            // Drawn opaque first, then faded as a whole: overlapping strokes stay as faint as
            // the rest.
            const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
            QImage layer((square.size() * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
            layer.setDevicePixelRatio(scale);
            layer.fill(Qt::transparent);
            QPainter layerPainter(&layer);
            layerPainter.setRenderHint(QPainter::Antialiasing);
            rendererFor(colour).render(&layerPainter, QRectF(QPointF(0, 0), square.size()));
            layerPainter.end();
            painter->setOpacity(painter->opacity() * opacity);
            painter->drawImage(square, layer);
        }
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new SymbolEngine(m_svg, m_colour); }

private:
    // The drawing parsed in `colour` (opaque; transparency is the painter's opacity), kept
    // until the colour changes.
    QSvgRenderer& rendererFor(const QColor& colour) {
        const QByteArray name = colour.name(QColor::HexRgb).toLatin1();
        if (!m_renderer || name != m_rendererColour) {
            m_renderer =
                std::make_unique<QSvgRenderer>(QByteArray(m_svg).replace("currentColor", name));
            m_rendererColour = name;
        }
        return *m_renderer;
    }

    QByteArray m_svg;
    QColor m_colour;
    std::unique_ptr<QSvgRenderer> m_renderer;
    QByteArray m_rendererColour;
};

const SymbolInfo* find(const QString& name) {
    const auto it = symbols().constFind(name);
    return it == symbols().constEnd() ? nullptr : &*it;
}

QString drawingOf(const QString& symbolName) {
    const SymbolInfo* info = find(symbolName);
    return info ? info->drawing : QStringLiteral("unknown");
}

} // namespace

namespace Icons {

QIcon symbol(const QString& symbolName) {
    const SymbolInfo* info = find(symbolName);
    if (info && !info->colour.isValid()) {
        for (const QString& themeName : info->themeNames) {
            if (QIcon::hasThemeIcon(themeName)) {
                return QIcon::fromTheme(themeName);
            }
        }
    }
    return QIcon(new SymbolEngine(svgOf(drawingOf(symbolName)), info ? info->colour : QColor()));
}

QIcon symbol(const QString& symbolName, const QColor& color) {
    return QIcon(new SymbolEngine(svgOf(drawingOf(symbolName)), color));
}

QString description(const QString& symbolName) {
    const SymbolInfo* info = find(symbolName);
    return info ? QCoreApplication::translate("Icons", info->description.toUtf8().constData())
                : QString();
}

QColor accent(const QWidget* widget) {
    return (widget ? widget->palette() : QApplication::palette()).color(QPalette::Highlight);
}

QColor secondary(const QWidget* widget) {
    const QPalette palette = widget ? widget->palette() : QApplication::palette();
    return palette.color(QPalette::PlaceholderText);
}

} // namespace Icons
