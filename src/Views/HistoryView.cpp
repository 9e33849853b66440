// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/HistoryView.h"

#include "Desktop/Icons.h"
#include "Desktop/Reveal.h"
#include "History/HistoryStore.h"
#include "Views/Appearance.h"
#include "Views/EmptyStateWidget.h"
#include "Views/HistoryListModel.h"
#include "Views/HistoryRowDelegate.h"
#include "Views/OutcomeWords.h"
#include "Views/StoreWatcher.h"
#include "Workflows/OutcomeText.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace {

constexpr int kHeaderMargin = 14;
constexpr int kHeaderSpacing = 12;
constexpr int kHeaderSymbol = 18;

QString emptyText() {
    //: "your Mac" is shown as "your computer" outside macOS; translate it as "your computer".
    return Appearance::onThisComputer(
        HistoryView::tr("Your compressions, OCR and PDF operations show up here \u2014 stored "
                        "only on your Mac."));
}

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// The large title style: larger than title 3, which the other screens' empty states use.
} // namespace

HistoryView::HistoryView(HistoryStore& history, QWidget* parent)
    : QWidget(parent), m_history(history), m_watcher(new StoreWatcher(history, this)),
      m_rows(new HistoryListModel(history, this)), m_delegate(new HistoryRowDelegate(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(divider(this));
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(makeEmptyState());
    m_pages->addWidget(makeList());
    layout->addWidget(m_pages, 1);
    connect(m_watcher, &StoreWatcher::changed, this, &HistoryView::refresh);
    connect(m_delegate, &HistoryRowDelegate::revealRequested, this, &HistoryView::reveal);
    applyStyles();
    refresh();
}

HistoryView::~HistoryView() = default;

QWidget* HistoryView::makeHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(kHeaderMargin, kHeaderMargin, kHeaderMargin, kHeaderMargin);
    row->setSpacing(kHeaderSpacing);
    m_headerSymbol = new QLabel(header);
    m_headerSymbol->setAccessibleName(Icons::description(QStringLiteral("clock.arrow.circlepath")));
    m_title = new QLabel(tr("History"), header);
    m_count = new QLabel(header);
    m_count->setObjectName(QStringLiteral("historyCount"));
    m_count->setAccessibleDescription(tr("Entries"));
    //: Deletes every history entry.
    m_clear = new QPushButton(tr("Clear"), header);
    m_clear->setObjectName(QStringLiteral("historyClear"));
    m_clear->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_clear, &QPushButton::clicked, this, [this] { m_history.clear(); });
    row->addWidget(m_headerSymbol);
    row->addWidget(m_title);
    row->addWidget(m_count);
    row->addStretch(1);
    row->addWidget(m_clear);
    return header;
}

QWidget* HistoryView::makeEmptyState() {
    m_emptyState = new EmptyStateWidget(QStringLiteral("clock"), tr("No history yet"), emptyText(),
                                        this, EmptyStateWidget::TitleStyle::title);
    m_emptyState->setObjectName(QStringLiteral("historyEmptyState"));
    return m_emptyState;
}

QListView* HistoryView::makeList() {
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("historyList"));
    m_list->setAccessibleName(tr("History"));
    m_list->setModel(m_rows);
    m_list->setItemDelegate(m_delegate);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setUniformItemSizes(true);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Return on a row, or a double click, reveals like its link, for keyboard users.
    connect(m_list, &QListView::activated, this, [this](const QModelIndex& index) {
        const QVariant path = index.data(HistoryRowDelegate::OutputPathRole);
        if (path.isValid())
            reveal(path.toString());
    });
    return m_list;
}

void HistoryView::applyStyles() {
    const QColor accent = Icons::accent(this);
    const qreal dpr = devicePixelRatioF();
    m_headerSymbol->setPixmap(Icons::symbol(QStringLiteral("clock.arrow.circlepath"), accent)
                                  .pixmap(QSize(kHeaderSymbol, kHeaderSymbol), dpr));
    m_title->setFont(Appearance::headline(font()));
    m_count->setFont(Appearance::caption(font()));
    m_clear->setFont(Appearance::caption(font()));
    Appearance::makeSecondary(*m_count);
}

void HistoryView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    const auto type = event->type();
    const bool restyle =
        type == QEvent::PaletteChange || type == QEvent::FontChange || type == QEvent::StyleChange;
    if (restyle && m_headerSymbol)
        applyStyles();
}

void HistoryView::refresh() {
    m_rows->follow();
    const bool empty = m_history.entries().empty();
    m_count->setText(QString::number(m_history.entries().size()));
    m_count->setVisible(!empty);
    m_clear->setVisible(!empty);
    m_clear->setEnabled(!empty);
    m_pages->setCurrentWidget(empty ? m_emptyState : static_cast<QWidget*>(m_list));
}

void HistoryView::reveal(const QString& outputPath) {
    Reveal::inFileManager(outputPath);
}

QString HistoryView::iconName(const QString& mode) {
    switch (OutcomeText::screenOfMode(mode.toStdString()).value_or(Screen::pdfTools)) {
    case Screen::compress:
        return QStringLiteral("doc.zipper");
    case Screen::ocr:
        return QStringLiteral("text.viewfinder");
    case Screen::pdfTools:
        break;
    }
    return QStringLiteral("doc.on.doc");
}

std::int64_t HistoryView::savingPercent(std::int64_t before, std::int64_t after) {
    const double saving =
        std::trunc((1.0 - static_cast<double>(after) / static_cast<double>(before)) * 100.0);
    if (!(saving > 0))
        return 0;
    // Only an "after" far below zero could get here; keep the conversion defined.
    constexpr double kLimit = 9.2e18;
    return saving >= kLimit ? std::numeric_limits<std::int64_t>::max()
                            : static_cast<std::int64_t>(saving);
}

QString HistoryView::subtitle(const HistoryEntry& entry) {
    const QString mode = OutcomeWords::mode(entry.mode);
    // A stored note is read on the screen its entry came from.
    const Screen screen = OutcomeText::screenOfMode(entry.mode).value_or(Screen::pdfTools);
    if (entry.before && entry.after && *entry.before >= 1 && *entry.after != *entry.before) {
        const QString sizes = OutcomeWords::joined(
            mode, OutcomeWords::historySizes(*entry.before, *entry.after,
                                             savingPercent(*entry.before, *entry.after)));
        // A result written above its target says so after its sizes.
        const bool above =
            entry.note &&
            OutcomeText::outcomeOfNote(Screen::compress, *entry.note) == FileOutcome::aboveTarget;
        return above ? OutcomeWords::joined(sizes,
                                            OutcomeWords::storedNote(Screen::compress, *entry.note))
                     : sizes;
    }
    if (entry.note)
        return OutcomeWords::joined(mode, OutcomeWords::storedNote(screen, *entry.note));
    return mode;
}
