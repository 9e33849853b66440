// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/CompressView.h"

#include "Desktop/Reveal.h"
#include "History/UtcDate.h"
#include "Views/Appearance.h"
#include "Views/BatchStatus.h"
#include "Views/DropHandler.h"
#include "Views/EmptyStateWidget.h"
#include "Views/FileListView.h"
#include "Views/FilePicker.h"
#include "Views/LocalPath.h"
#include "Views/OutcomeWords.h"
#include "Views/ScreenParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace CW = CompressWorkflow;
namespace SP = ScreenParts;

namespace {

constexpr int kPickerWidth = 160;

QString emptyStateText() {
    //: "your Mac" is shown as "your computer" outside macOS; translate it as "your computer".
    return Appearance::onThisComputer(
        CompressView::tr("Pick a target size and Parvo shrinks them to fit \u2014 entirely on "
                         "your Mac. Drop a folder to compress everything inside."));
}

std::vector<HistoryEntry> compressEntries(const std::vector<CW::Outcome>& rows) {
    return CW::historyEntries(rows, UtcDate::systemClock());
}

ResultRowContent rowContent(const CW::Outcome& outcome) {
    ResultRowContent content;
    content.name = QString::fromStdString(outcome.name);
    if (outcome.saved) {
        content.savedPath = LocalPath::toQString(*outcome.saved);
    }
    content.caption = OutcomeWords::compressResult(outcome);
    return content;
}

} // namespace

CompressView::CompressView(HistoryStore& history, QWidget* parent)
    : QWidget(parent),
      m_batch(new CompressBatch(history, compressEntries, CW::appendUnlessQueued, this)) {
    m_drops = new DropHandler<CW::Job>(
        this,
        [](const std::filesystem::path& dropped) {
            return CW::jobs(dropped, CW::acceptedExtensions());
        },
        [this](const std::vector<CW::Job>& jobs) { m_batch->append(jobs); });
    m_picker = new FilePicker(*this, *m_drops,
                              FilePicker::filter(tr("Images and PDFs"), CW::acceptedExtensions()));
    m_status = new BatchStatus(*this, *m_batch, [this](std::size_t file) {
        const CW::Job* job = m_batch->runningItem(file);
        return job != nullptr ? LocalPath::toQString(job->src.filename()) : QString();
    });

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());
    column->addWidget(m_status);
    column->addWidget(SP::divider(this));
    column->addWidget(makeBody(), 1);

    SP::addRunShortcut(*this, [this] { compress(); });
    connect(m_batch, &BatchControllerBase::queueChanged, this, &CompressView::showQueue);
    connect(m_batch, &BatchControllerBase::doneChanged, this, &CompressView::showDone);
    connect(m_batch, &BatchControllerBase::workingChanged, this, &CompressView::showState);
    connect(m_list, &FileListView::removeRequested, m_batch,
            [this](const std::vector<std::size_t>& positions) { m_batch->removeAt(positions); });
    connect(m_list, &FileListView::revealRequested, this, &Reveal::inFileManager);
    showState();
}

QWidget* CompressView::makeHeader() {
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    QHBoxLayout* row =
        SP::headerRow(*header, QStringLiteral("doc.zipper"), QStringLiteral("Parvo"));
    row->addStretch(1);
    m_target = new QComboBox(header);
    m_target->setObjectName(QStringLiteral("target"));
    // On Linux Qt names a pop-up by its current item and leaves the label to a relation; the
    // description says what it chooses.
    m_target->setAccessibleName(tr("Target size"));
    m_target->setAccessibleDescription(tr("Target size"));
    for (const CW::TargetChoice choice : CW::kTargetChoices) {
        m_target->addItem(targetText(choice), static_cast<int>(choice));
    }
    // Wide enough for the labels, which may be longer in other languages.
    m_target->setFixedWidth(std::max(kPickerWidth, m_target->sizeHint().width()));
    row->addWidget(m_target);
    //: Keeps the PDFs' text, fonts and links instead of turning pages into pictures. The
    //: header is narrow: a short text is best.
    m_keepText = SP::optionBox(tr("Keep text and links"), QStringLiteral("keepText"), header);
    row->addWidget(m_keepText);
    row->addWidget(m_picker->button(FilePicker::Kind::files, header));
    row->addWidget(m_picker->button(FilePicker::Kind::folder, header));
    row->addWidget(m_status->stopButton(header));
    m_start = new QPushButton(startLabel(), header);
    m_start->setObjectName(QStringLiteral("start"));
    SP::makeProminent(*m_start);
    connect(m_start, &QPushButton::clicked, this, &CompressView::compress);
    row->addWidget(m_start);
    return header;
}

QWidget* CompressView::makeBody() {
    m_body = new QStackedWidget(this);
    m_body->setObjectName(QStringLiteral("body"));
    auto* empty =
        new EmptyStateWidget(QStringLiteral("square.and.arrow.down"),
                             tr("Drop images, PDFs or a folder"), emptyStateText(), m_body);
    empty->addButton(m_picker->button(FilePicker::Kind::files, empty));
    empty->addButton(m_picker->button(FilePicker::Kind::folder, empty));
    m_body->addWidget(empty);
    QueueListModel::Look queued{QStringLiteral("photo"), QString(), true};
    queued.heading = [](std::size_t files) {
        //: The heading above the files waiting to be compressed; %n is their number.
        return tr("TO COMPRESS \u00B7 %n", nullptr, static_cast<int>(files));
    };
    //: The heading above the results of the last run.
    m_list = new FileListView(queued, tr("DONE"), m_body);
    m_body->addWidget(m_list);
    return m_body;
}

void CompressView::handleDrop(const QMimeData& data) {
    m_drops->handleDrop(data);
}

void CompressView::addFiles() {
    m_picker->addFiles();
}

void CompressView::compress() {
    if (!m_batch->canStart()) {
        return;
    }
    const SizeTarget target = CW::target(choice());
    m_batch->start(
        [target, keepText = m_keepText->isChecked(), compressor = m_compressor,
         workers = m_workers](const std::vector<CW::Job>& snapshot, const WorkContext& context) {
            CW::BatchHooks hooks;
            hooks.workers = workers;
            hooks.stop = context.stop;
            hooks.events = context.events;
            hooks.skipped = context.skipped;
            hooks.compressor = compressor;
            hooks.keepText = keepText;
            return CW::runBatch(snapshot, target, hooks);
        });
}

QString CompressView::startLabel() {
    //: The button that starts compressing the queued files.
    return tr("Compress");
}

QString CompressView::targetText(CW::TargetChoice choice) {
    switch (choice) {
    case CW::TargetChoice::web:
        //: A size target for pictures on web pages.
        return tr("Web (1 MB)");
    case CW::TargetChoice::small:
        return tr("Small (2 MB)");
    case CW::TargetChoice::email:
        break;
    }
    //: A size target small enough for an email attachment.
    return tr("Email (10 MB)");
}

CW::TargetChoice CompressView::choice() const {
    return static_cast<CW::TargetChoice>(m_target->currentData().toInt());
}

void CompressView::setCompressor(CW::Compressor compressor) {
    m_compressor = std::move(compressor);
}

void CompressView::setWorkers(std::optional<WorkerSettings> workers) {
    m_workers = std::move(workers);
}

void CompressView::showQueue() {
    const auto& queue = m_batch->queue();
    m_list->queueModel().sync(
        queue.size(), [&queue](std::size_t i) -> const auto& { return queue[i].src; });
    showState();
}

void CompressView::showDone() {
    const auto& done = m_batch->done();
    m_list->resultModel().reset(done.size(),
                                [&done](std::size_t i) { return rowContent(done[i]); });
    showState();
}

void CompressView::showState() {
    const bool empty = m_batch->queue().empty() && m_batch->done().empty();
    m_body->setCurrentIndex(empty ? 0 : 1);
    m_start->setText(m_batch->working() ? tr("Compressing\u2026") : startLabel());
    m_start->setEnabled(m_batch->canStart());
    // The batch took the option when it started; while it runs, Stop needs the room, so that
    // the window still goes down to its minimum width.
    m_keepText->setVisible(!m_batch->working());
}
