// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/BatchStatus.h"

#include "Views/Appearance.h"
#include "Views/BatchController.h"
#include "Views/ScreenParts.h"

#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kBarHeight = 4;
constexpr int kBarSteps = 1000;
constexpr int kRowSpacing = 4;

} // namespace

BatchStatus::BatchStatus(QWidget& screen, BatchControllerBase& batch, FileName nameOf)
    : QWidget(&screen), m_batch(batch), m_nameOf(std::move(nameOf)) {
    setObjectName(QStringLiteral("batchStatus"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(ScreenParts::kHeaderMargin, 0, ScreenParts::kHeaderMargin,
                               ScreenParts::kHeaderMargin / 2);
    column->setSpacing(kRowSpacing);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progress"));
    m_bar->setAccessibleName(tr("Progress"));
    m_bar->setTextVisible(false);
    m_bar->setFixedHeight(kBarHeight);
    m_bar->setRange(0, kBarSteps);
    column->addWidget(m_bar);

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("progressCaption"));
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setFont(Appearance::caption(m_caption->font()));
    Appearance::makeSecondary(*m_caption);
    // A long file name is cut at the window's edge rather than widening the window.
    m_caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(m_caption);

    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), &screen);
    connect(m_escape, &QShortcut::activated, this, &BatchStatus::stop);

    connect(&m_batch, &BatchControllerBase::workingChanged, this, &BatchStatus::showWorking);
    connect(&m_batch, &BatchControllerBase::progressChanged, this, &BatchStatus::showProgress);
    showWorking(m_batch.working());
}

QPushButton* BatchStatus::stopButton(QWidget* header) {
    if (m_stop == nullptr) {
        //: Stops the run in progress.
        m_stop = new QPushButton(tr("Stop"), header);
        m_stop->setObjectName(QStringLiteral("stop"));
        m_stop->setAccessibleName(tr("Stop"));
        m_stop->setToolTip(tr("Stop (Esc)"));
        m_stop->setVisible(m_batch.working());
        connect(m_stop, &QPushButton::clicked, this, &BatchStatus::stop);
    }
    return m_stop;
}

QString BatchStatus::caption(const BatchProgress& progress, const QString& fileName) {
    const QString done = QString::number(progress.filesDone);
    const QString files = QString::number(progress.fileCount);
    if (fileName.isEmpty()) {
        //: Files done of the files of the run: "3 of 12".
        return tr("%1 of %2").arg(done, files);
    }
    if (progress.pageCount <= 0) {
        //: Files done of the run's files, and the file being worked on.
        return tr("%1 of %2 \u00B7 %3").arg(done, files, fileName);
    }
    // The page being worked on, which is one past those done until the last is.
    const int page = std::min(progress.pagesDone + 1, progress.pageCount);
    //: "3 of 12 · IMG_1.png · page 14 of 42": files done, the file, its page being worked on.
    return tr("%1 of %2 \u00B7 %3 \u00B7 page %4 of %5")
        .arg(done, files, fileName, QString::number(page), QString::number(progress.pageCount));
}

// In this process a stop waits for the file in progress, which may take minutes: the button
// goes grey at once so that the press is seen to have been taken.
void BatchStatus::stop() {
    m_batch.requestStop();
    if (m_stop != nullptr) {
        m_stop->setEnabled(false);
    }
}

void BatchStatus::showWorking(bool working) {
    setVisible(working);
    m_escape->setEnabled(working);
    if (m_stop != nullptr) {
        m_stop->setVisible(working);
        m_stop->setEnabled(working);
    }
    showProgress();
}

void BatchStatus::showProgress() {
    if (!m_batch.working()) {
        m_bar->setValue(0);
        m_caption->clear();
        return;
    }
    const BatchProgress progress = m_batch.progress();
    m_bar->setValue(static_cast<int>(std::lround(progress.fraction * kBarSteps)));
    m_caption->setText(
        caption(progress, progress.current ? m_nameOf(*progress.current) : QString()));
}
