// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/FileQueueScreen.h"

#include "Desktop/Reveal.h"
#include "Views/BatchStatus.h"
#include "Views/DropHandler.h"
#include "Views/DropHint.h"
#include "Views/FileListView.h"
#include "Views/FilePicker.h"
#include "Views/LocalPath.h"
#include "Views/OutcomeWords.h"
#include "Views/ScreenParts.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <unordered_set>
#include <utility>

namespace SP = ScreenParts;

namespace {

enum BodyPage { emptyPage = 0, listPage = 1 };

struct PathHash {
    std::size_t operator()(const std::filesystem::path& path) const {
        return std::filesystem::hash_value(path);
    }
};

// Linear in both lists, where comparing each new file with every queued one would take
// seconds for a drop of thousands.
void appendUnlessQueued(std::vector<std::filesystem::path>& queue,
                        const std::vector<std::filesystem::path>& files) {
    std::unordered_set<std::filesystem::path, PathHash> queued(queue.begin(), queue.end());
    for (const std::filesystem::path& file : files) {
        if (queued.insert(file).second) {
            queue.push_back(file);
        }
    }
}

ResultRowContent rowContent(const ResultRow& row, Screen screen) {
    ResultRowContent content;
    content.name = QString::fromStdString(row.name);
    if (row.saved) {
        content.savedPath = LocalPath::toQString(*row.saved);
    }
    content.caption = OutcomeWords::note(screen, row.outcome, {row.cause, row.pages, {}});
    return content;
}

} // namespace

FileQueueScreen::FileQueueScreen(HistoryStore& history, const Look& look, Accepts accepts,
                                 FileBatch::Entries entries, QWidget* parent)
    : QWidget(parent), m_look(look),
      m_batch(new FileBatch(history, std::move(entries), appendUnlessQueued, this)) {
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
    m_picker = new FilePicker(*this, *m_drops, look.fileFilter);
    m_status = new BatchStatus(*this, *m_batch, [this](std::size_t file) {
        const std::filesystem::path* item = m_batch->runningItem(file);
        return item != nullptr ? LocalPath::toQString(item->filename()) : QString();
    });

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader(look));
    column->addWidget(m_status);
    column->addWidget(SP::divider(this));
    column->addWidget(makeBody(look), 1);

    SP::addRunShortcut(*this, [this] { run(); });
    connect(m_batch, &BatchControllerBase::queueChanged, this, &FileQueueScreen::showQueue);
    connect(m_batch, &BatchControllerBase::doneChanged, this, &FileQueueScreen::showDone);
    connect(m_batch, &BatchControllerBase::workingChanged, this, &FileQueueScreen::showState);
    connect(m_list, &FileListView::removeRequested, m_batch,
            [this](const std::vector<std::size_t>& positions) { m_batch->removeAt(positions); });
    connect(m_list, &FileListView::revealRequested, this, &Reveal::inFileManager);
    showState();
}

QWidget* FileQueueScreen::makeHeader(const Look& look) {
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    m_header = SP::headerRow(*header, look.symbol, look.title);
    m_controlsEnd = m_header->count();
    m_header->addStretch(1);
    m_addFiles = m_picker->button(FilePicker::Kind::files, header);
    m_header->addWidget(m_addFiles);
    m_header->addWidget(m_status->stopButton(header));
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
    auto* empty = new EmptyStateWidget(look.emptySymbol, look.emptyTitle, look.emptyText, m_body,
                                       look.emptyTitleStyle);
    empty->addButton(m_picker->button(FilePicker::Kind::files, empty));
    m_body->insertWidget(emptyPage, empty);
    m_list = new FileListView({QStringLiteral("doc"), QString(), false}, QString(), m_body);
    m_body->insertWidget(listPage, m_list);
    return m_body;
}

// The screen's controls are made after the rest of it, and Qt puts a new widget last in the
// tab order: each is moved behind the one to its left, so that Tab and a screen reader meet
// the header from left to right. (Qt 6.4 moves nothing behind a widget that takes no focus,
// or behind the last one of the chain: the title lends a focus policy for the move.)
void FileQueueScreen::addHeaderControl(QWidget* control) {
    QWidget* left = m_header->itemAt(m_controlsEnd - 1)->widget();
    m_header->insertWidget(m_controlsEnd++, control);
    control->stackUnder(m_addFiles);
    const Qt::FocusPolicy policy = left->focusPolicy();
    left->setFocusPolicy(Qt::TabFocus);
    QWidget::setTabOrder(left, control);
    left->setFocusPolicy(policy);
}

void FileQueueScreen::handleDrop(const QMimeData& data) {
    m_drops->handleDrop(data);
}

void FileQueueScreen::addFiles() {
    m_picker->addFiles();
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

void FileQueueScreen::showQueue() {
    const auto& queue = m_batch->queue();
    m_list->queueModel().sync(
        queue.size(), [&queue](std::size_t i) -> const auto& { return queue[i]; });
    showState();
}

void FileQueueScreen::showDone() {
    const auto& done = m_batch->done();
    m_list->resultModel().reset(done.size(), [&done, screen = m_look.screen](std::size_t i) {
        return rowContent(done[i], screen);
    });
    showState();
}

void FileQueueScreen::showState() {
    const bool empty = m_batch->queue().empty() && m_batch->done().empty();
    m_body->setCurrentIndex(empty ? emptyPage : listPage);
    m_run->setText(m_batch->working() ? m_look.workingLabel : m_look.runLabel);
    m_run->setEnabled(m_batch->canStart());
}

void FileQueueScreen::setWorkers(std::optional<WorkerSettings> workers) {
    m_workers = std::move(workers);
}
