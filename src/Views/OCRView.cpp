// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/OCRView.h"

#include "History/UtcDate.h"
#include "Views/Appearance.h"
#include "Views/FilePicker.h"
#include "Views/ScreenParts.h"

#include <QCheckBox>
#include <utility>

namespace {

FileQueueScreen::Look look() {
    FileQueueScreen::Look look;
    look.screen = Screen::ocr;
    look.symbol = QStringLiteral("text.viewfinder");
    look.title = OCRView::tr("Make searchable");
    look.runLabel = OCRView::tr("Run OCR");
    look.workingLabel = OCRView::tr("Working\u2026");
    look.emptySymbol = QStringLiteral("doc.text.magnifyingglass");
    look.emptyTitle = OCRView::tr("Drop scans or image PDFs");
    //: "your Mac" is shown as "your computer" outside macOS; translate it as "your computer".
    look.emptyText = Appearance::onThisComputer(
        OCRView::tr("Parvo adds an invisible, searchable text layer \u2014 your scans become "
                    "selectable and findable. On your Mac."));
    //: Shown while files are dragged over the screen.
    look.hintText = OCRView::tr("Drop scans or PDFs to make searchable");
    //: The file dialog's filter name.
    look.fileFilter =
        FilePicker::filter(OCRView::tr("Scans and PDFs"), OCRWorkflow::acceptedExtensions());
    return look;
}

std::vector<HistoryEntry> ocrEntries(const std::vector<ResultRow>& rows) {
    return OCRWorkflow::historyEntries(rows, UtcDate::systemClock());
}

} // namespace

OCRView::OCRView(HistoryStore& history, QWidget* parent)
    : FileQueueScreen(history, look(), OCRWorkflow::accepts, ocrEntries, parent),
      m_keepStructure(ScreenParts::optionBox(tr("Keep bookmarks and links"),
                                             QStringLiteral("keepStructure"), this)) {
    addHeaderControl(m_keepStructure);
}

void OCRView::setBuilder(OCRWorkflow::Builder builder) {
    m_builder = std::move(builder);
}

FileBatch::Work OCRView::makeWork() {
    return [builder = m_builder, workers = workers(), keep = m_keepStructure->isChecked()](
               const std::vector<std::filesystem::path>& snapshot, const WorkContext& context) {
        OCRWorkflow::BatchHooks hooks;
        hooks.workers = workers;
        hooks.stop = context.stop;
        hooks.events = context.events;
        hooks.skipped = context.skipped;
        hooks.builder = builder;
        hooks.keepStructure = keep;
        return OCRWorkflow::runBatch(snapshot, hooks);
    };
}
