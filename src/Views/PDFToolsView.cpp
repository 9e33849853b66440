// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/PDFToolsView.h"

#include "History/UtcDate.h"
#include "Views/Appearance.h"
#include "Views/FilePicker.h"
#include "Views/ScreenParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>
#include <utility>

namespace PT = PDFToolsWorkflow;

namespace {

constexpr int kPickerWidth = 150;
constexpr int kRangeWidth = 64;
constexpr int kInitialSplit = 10;
const QString kInitialRange = QStringLiteral("1-5");

FileQueueScreen::Look look() {
    FileQueueScreen::Look look;
    look.screen = Screen::pdfTools;
    look.symbol = QStringLiteral("doc.on.doc");
    look.title = PDFToolsView::tr("PDF Tools");
    //: The button that runs the chosen operation on the queued PDFs.
    look.runLabel = PDFToolsView::tr("Run");
    look.workingLabel = PDFToolsView::tr("Working\u2026");
    look.emptySymbol = QStringLiteral("doc.on.doc");
    look.emptyTitle = PDFToolsView::tr("Drop PDFs");
    //: "your Mac" is shown as "your computer" outside macOS; translate it as "your computer".
    look.emptyText = Appearance::onThisComputer(PDFToolsView::tr(
        "Merge several into one, split into chunks, or pull out a page range. On your Mac."));
    look.emptyTitleStyle = EmptyStateWidget::TitleStyle::title;
    //: Shown while PDFs are dragged over the screen.
    look.hintText = PDFToolsView::tr("Drop PDFs");
    //: The file dialog's filter name.
    look.fileFilter = FilePicker::filter(PDFToolsView::tr("PDFs"), {"pdf"});
    return look;
}

std::vector<HistoryEntry> pdfToolsEntries(const std::vector<ResultRow>& rows) {
    return PT::historyEntries(rows, UtcDate::systemClock());
}

} // namespace

PDFToolsView::PDFToolsView(HistoryStore& history, QWidget* parent)
    : FileQueueScreen(history, look(), PT::accepts, pdfToolsEntries, parent) {
    makeControls();
    showControls();
}

void PDFToolsView::makeControls() {
    m_op = new QComboBox(this);
    m_op->setObjectName(QStringLiteral("operation"));
    // On Linux Qt names a pop-up by its current item and leaves the label to a relation; the
    // description says what it chooses.
    m_op->setAccessibleName(tr("Operation"));
    m_op->setAccessibleDescription(tr("Operation"));
    for (const PT::Op op : PT::kOps) {
        m_op->addItem(opText(op), static_cast<int>(op));
    }
    // Wide enough for the labels, which may be longer in other languages.
    m_op->setFixedWidth(std::max(kPickerWidth, m_op->sizeHint().width()));
    addHeaderControl(m_op);

    m_every = new QSpinBox(this);
    m_every->setObjectName(QStringLiteral("every"));
    m_every->setAccessibleName(tr("Pages per chunk"));
    //: Before the number of pages per part: "every 10".
    m_every->setPrefix(tr("every "));
    m_every->setRange(static_cast<int>(PT::kMinSplit), static_cast<int>(PT::kMaxSplit));
    m_every->setValue(kInitialSplit);
    addHeaderControl(m_every);

    m_range = new QLineEdit(kInitialRange, this);
    m_range->setObjectName(QStringLiteral("range"));
    m_range->setAccessibleName(tr("Page range"));
    m_range->setPlaceholderText(kInitialRange);
    m_range->setFixedWidth(kRangeWidth);
    m_range->setFrame(true);
    addHeaderControl(m_range);

    m_keepBookmarks =
        ScreenParts::optionBox(tr("Keep bookmarks"), QStringLiteral("keepBookmarks"), this);
    addHeaderControl(m_keepBookmarks);

    connect(m_op, &QComboBox::currentIndexChanged, this, &PDFToolsView::showControls);
}

void PDFToolsView::showControls() {
    const PT::Op op = options().op;
    m_every->setVisible(op == PT::Op::split);
    m_range->setVisible(op == PT::Op::extract);
    // A split at bookmarks keeps each part's bookmarks: there is nothing to choose.
    m_keepBookmarks->setVisible(op != PT::Op::splitAtBookmarks);
}

QString PDFToolsView::opText(PT::Op op) {
    switch (op) {
    case PT::Op::merge:
        return tr("Merge");
    case PT::Op::split:
        //: Splits each PDF into parts of N pages; N is chosen beside it.
        return tr("Split every N");
    case PT::Op::extract:
        return tr("Extract pages");
    case PT::Op::splitAtBookmarks:
        return tr("Split at bookmarks");
    }
    return {};
}

PT::Options PDFToolsView::options() const {
    PT::Options options;
    options.op = static_cast<PT::Op>(m_op->currentData().toInt());
    options.splitN = m_every->value();
    options.range = PT::parseRange(m_range->text().toStdString());
    options.keepBookmarks = m_keepBookmarks->isChecked();
    return options;
}

FileBatch::Work PDFToolsView::makeWork() {
    return [options = options(), workers = workers()](
               const std::vector<std::filesystem::path>& snapshot, const WorkContext& context) {
        PT::BatchHooks hooks;
        hooks.workers = workers;
        hooks.stop = context.stop;
        hooks.events = context.events;
        hooks.skipped = context.skipped;
        return PT::runBatch(snapshot, options, hooks);
    };
}
