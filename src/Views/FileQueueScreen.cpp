// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/FileQueueScreen.h"

#include "Views/DropHandler.h"
#include "Views/DropHint.h"
#include "Views/LocalPath.h"
#include "Views/QueueRowWidget.h"
#include "Views/ResultRowWidget.h"
#include "Views/ScreenParts.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <utility>

namespace SP = ScreenParts;

namespace {

enum BodyPage { emptyPage = 0, listPage = 1 };

ResultRowContent rowContent(const ResultRow& row) {
    ResultRowContent content;
    content.name = QString::fromStdString(row.name);
    if (row.saved) {
        content.savedPath = LocalPath::toQString(*row.saved);
    }
    content.caption = QString::fromStdString(row.note);
    return content;
}

} // namespace

FileQueueScreen::FileQueueScreen(HistoryStore& history, const Look& look, Accepts accepts,
                                 FileBatch::Entries entries, QWidget* parent)
    : QWidget(parent), m_look(look),
      m_batch(new FileBatch(history, std::move(entries), FileBatch::appendUnlessEqual, this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader(look));
    column->addWidget(SP::divider(this));
    column->addWidget(makeBody(look), 1);

    using Path = std::filesystem::path;
    auto* drops = new DropHandler<Path>(
        this,
        [accepts = std::move(accepts)](const Path& dropped) {
            return accepts(dropped) ? std::vector<Path>{dropped} : std::vector<Path>{};
        },
        [this](const std::vector<Path>& files) { m_batch->append(files); });
    drops->hint().setSymbol(QStringLiteral("square.and.arrow.down"));
    drops->hint().setText(look.hintText);
    m_drops = drops;

    SP::addRunShortcut(*this, [this] { run(); });
    connect(m_batch, &BatchControllerBase::queueChanged, this, &FileQueueScreen::showQueue);
    connect(m_batch, &BatchControllerBase::doneChanged, this, &FileQueueScreen::showDone);
    connect(m_batch, &BatchControllerBase::workingChanged, this, &FileQueueScreen::showState);
    showState();
}

QWidget* FileQueueScreen::makeHeader(const Look& look) {
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    m_header = SP::headerRow(*header, look.symbol, look.title);
    m_controlsEnd = m_header->count();
    m_header->addStretch(1);
    m_run = new QPushButton(look.runLabel, header);
    m_run->setObjectName(QStringLiteral("run"));
    SP::makeProminent(*m_run);
    connect(m_run, &QPushButton::clicked, this, &FileQueueScreen::run);
    m_header->addWidget(m_run);
    return header;
}

QWidget* FileQueueScreen::makeBody(const Look& look) {
    m_body = new QStackedWidget(this);
    m_body->setObjectName(QStringLiteral("body"));
    m_body->insertWidget(emptyPage,
                         new EmptyStateWidget(look.emptySymbol, look.emptyTitle, look.emptyText,
                                              m_body, look.emptyTitleStyle));
    m_body->insertWidget(listPage, SP::scrollingList(makeList(), m_body));
    return m_body;
}

QWidget* FileQueueScreen::makeList() {
    auto* list = new QWidget;
    auto* column = new QVBoxLayout(list);
    column->setContentsMargins(SP::kListMargin, SP::kListMargin, SP::kListMargin, SP::kListMargin);
    column->setSpacing(SP::kListSpacing);
    auto* queueSection = new QWidget(list);
    queueSection->setObjectName(QStringLiteral("queue"));
    m_queueRows = SP::rowColumn(queueSection);
    column->addWidget(queueSection);
    queueSection->hide();

    m_doneSection = new QWidget(list);
    m_doneSection->setObjectName(QStringLiteral("done"));
    m_doneRows = SP::rowColumn(m_doneSection);
    m_doneRows->addLayout(SP::spacedDivider(m_doneSection));
    column->addWidget(m_doneSection);
    column->addStretch(1);
    m_doneSection->hide();
    return list;
}

void FileQueueScreen::addHeaderControl(QWidget* control) {
    m_header->insertWidget(m_controlsEnd++, control);
}

void FileQueueScreen::handleDrop(const QMimeData& data) {
    m_drops->handleDrop(data);
}

void FileQueueScreen::run() {
    if (!m_batch->canStart()) {
        return;
    }
    m_batch->start(makeWork());
}

bool FileQueueScreen::showsEmptyState() const {
    return m_body->currentIndex() == emptyPage;
}

// The queue only grows by appending or empties at once, so new files are added as rows below
// the shown ones instead of rebuilding the list.
void FileQueueScreen::showQueue() {
    const auto& queue = m_batch->queue();
    if (queue.size() < m_queueShown) {
        SP::removeRowsFrom(*m_queueRows, 0);
        m_queueShown = 0;
    }
    QWidget* section = m_queueRows->parentWidget();
    for (; m_queueShown < queue.size(); ++m_queueShown) {
        m_queueRows->addWidget(new QueueRowWidget(
            QStringLiteral("doc"), LocalPath::toQString(queue[m_queueShown].filename()), QString(),
            section));
    }
    section->setVisible(!queue.empty());
    showState();
}

void FileQueueScreen::showDone() {
    constexpr int kFixedItems = 1; // the divider
    SP::removeRowsFrom(*m_doneRows, kFixedItems);
    for (const ResultRow& row : m_batch->done()) {
        m_doneRows->addWidget(new ResultRowWidget(rowContent(row), m_doneSection));
    }
    m_doneSection->setVisible(!m_batch->done().empty());
    showState();
}

void FileQueueScreen::showState() {
    const bool empty = m_batch->queue().empty() && m_batch->done().empty();
    m_body->setCurrentIndex(empty ? emptyPage : listPage);
    m_run->setText(m_batch->working() ? m_look.workingLabel : m_look.runLabel);
    m_run->setEnabled(m_batch->canStart());
}
