// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/CompressView.h"

#include "Desktop/Icons.h"
#include "History/UtcDate.h"
#include "Views/Appearance.h"
#include "Views/DropHandler.h"
#include "Views/EmptyStateWidget.h"
#include "Views/LocalPath.h"
#include "Views/QueueRowWidget.h"
#include "Views/ResultRowWidget.h"
#include "Views/ScreenParts.h"
#include "Workflows/ByteCountFormat.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace CW = CompressWorkflow;
namespace SP = ScreenParts;

namespace {

constexpr int kPickerWidth = 160;

const QString kStartLabel = QStringLiteral("Compress");
const QString kWorkingLabel = QStringLiteral("Compressing\u2026");

QString emptyStateText() {
    return Appearance::onThisComputer(
        QStringLiteral("Pick a target size and Parvo shrinks them to fit \u2014 entirely on your "
                       "Mac. Drop a folder to compress everything inside."));
}

QLabel* sectionLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QStringLiteral("section"));
    label->setTextFormat(Qt::PlainText);
    label->setFont(Appearance::caption2(label->font()));
    Appearance::makeSecondary(*label);
    return label;
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
    content.caption = QString::fromStdString(CW::resultText(outcome));
    return content;
}

} // namespace

CompressView::CompressView(HistoryStore& history, QWidget* parent)
    : QWidget(parent),
      m_batch(new CompressBatch(history, compressEntries, CW::appendUnlessQueued, this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());
    column->addWidget(SP::divider(this));
    column->addWidget(makeBody(), 1);

    m_drops = new DropHandler<CW::Job>(
        this,
        [](const std::filesystem::path& dropped) {
            return CW::jobs(dropped, CW::acceptedExtensions());
        },
        [this](const std::vector<CW::Job>& jobs) { m_batch->append(jobs); });

    SP::addRunShortcut(*this, [this] { compress(); });
    connect(m_batch, &BatchControllerBase::queueChanged, this, &CompressView::showQueue);
    connect(m_batch, &BatchControllerBase::doneChanged, this, &CompressView::showDone);
    connect(m_batch, &BatchControllerBase::workingChanged, this, &CompressView::showState);
    showState();
}

QWidget* CompressView::makeHeader() {
    auto* header = new QWidget(this);
    QHBoxLayout* row =
        SP::headerRow(*header, QStringLiteral("doc.zipper"), QStringLiteral("Parvo"));
    row->addStretch(1);
    m_picker = new QComboBox(header);
    m_picker->setObjectName(QStringLiteral("target"));
    for (const CW::TargetChoice choice : CW::kTargetChoices) {
        const std::string_view label = CW::label(choice);
        m_picker->addItem(QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())),
                          static_cast<int>(choice));
    }
    m_picker->setFixedWidth(kPickerWidth);
    row->addWidget(m_picker);
    m_start = new QPushButton(kStartLabel, header);
    m_start->setObjectName(QStringLiteral("start"));
    SP::makeProminent(*m_start);
    connect(m_start, &QPushButton::clicked, this, &CompressView::compress);
    row->addWidget(m_start);
    return header;
}

QWidget* CompressView::makeBody() {
    m_body = new QStackedWidget(this);
    m_body->addWidget(new EmptyStateWidget(QStringLiteral("square.and.arrow.down"),
                                           QStringLiteral("Drop images, PDFs or a folder"),
                                           emptyStateText(), m_body));
    m_body->addWidget(SP::scrollingList(makeList(), m_body));
    return m_body;
}

QWidget* CompressView::makeList() {
    auto* list = new QWidget;
    auto* column = new QVBoxLayout(list);
    column->setContentsMargins(SP::kListMargin, SP::kListMargin, SP::kListMargin, SP::kListMargin);
    column->setSpacing(SP::kListSpacing);

    m_queueSection = new QWidget(list);
    m_queueSection->setObjectName(QStringLiteral("queue"));
    m_queueRows = SP::rowColumn(m_queueSection);
    m_queueRows->addWidget(sectionLabel(m_queueSection));
    column->addWidget(m_queueSection);

    m_doneSection = new QWidget(list);
    m_doneSection->setObjectName(QStringLiteral("done"));
    m_doneRows = SP::rowColumn(m_doneSection);
    m_doneRows->addLayout(SP::spacedDivider(m_doneSection));
    QLabel* doneLabel = sectionLabel(m_doneSection);
    doneLabel->setText(QStringLiteral("DONE"));
    m_doneRows->addWidget(doneLabel);
    column->addWidget(m_doneSection);
    column->addStretch(1);
    m_queueSection->hide();
    m_doneSection->hide();
    return list;
}

void CompressView::handleDrop(const QMimeData& data) {
    m_drops->handleDrop(data);
}

void CompressView::compress() {
    if (!m_batch->canStart()) {
        return;
    }
    const SizeTarget target = CW::target(choice());
    m_batch->start([target, compressor = m_compressor](const std::vector<CW::Job>& snapshot,
                                                       std::stop_token stop) {
        CW::BatchHooks hooks;
        hooks.stop = std::move(stop);
        hooks.compressor = compressor;
        return CW::runBatch(snapshot, target, hooks);
    });
}

CW::TargetChoice CompressView::choice() const {
    return static_cast<CW::TargetChoice>(m_picker->currentData().toInt());
}

void CompressView::setCompressor(CW::Compressor compressor) {
    m_compressor = std::move(compressor);
}

// The queue only grows by appending or empties at once, so new jobs are added as rows below
// the shown ones instead of rebuilding the list.
void CompressView::showQueue() {
    const auto& queue = m_batch->queue();
    if (queue.size() < m_queueShown) {
        SP::removeRowsFrom(*m_queueRows, 1);
        m_queueShown = 0;
    }
    for (; m_queueShown < queue.size(); ++m_queueShown) {
        const CW::Job& job = queue[m_queueShown];
        const QString size = QString::fromStdString(ByteCountFormat::text(CW::fileSize(job.src)));
        m_queueRows->addWidget(new QueueRowWidget(QStringLiteral("photo"),
                                                  LocalPath::toQString(job.src.filename()), size,
                                                  m_queueSection));
    }
    auto* label = static_cast<QLabel*>(m_queueRows->itemAt(0)->widget());
    label->setText(QStringLiteral("TO COMPRESS \u00B7 %1").arg(queue.size()));
    m_queueSection->setVisible(!queue.empty());
    showState();
}

void CompressView::showDone() {
    constexpr int kFixedItems = 2; // the divider and "DONE"
    SP::removeRowsFrom(*m_doneRows, kFixedItems);
    for (const CW::Outcome& outcome : m_batch->done()) {
        m_doneRows->addWidget(new ResultRowWidget(rowContent(outcome), m_doneSection));
    }
    m_doneSection->setVisible(!m_batch->done().empty());
    showState();
}

void CompressView::showState() {
    const bool empty = m_batch->queue().empty() && m_batch->done().empty();
    m_body->setCurrentIndex(empty ? 0 : 1);
    m_start->setText(m_batch->working() ? kWorkingLabel : kStartLabel);
    m_start->setEnabled(m_batch->canStart());
}
