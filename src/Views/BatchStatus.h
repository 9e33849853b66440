// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>
#include <cstddef>
#include <functional>

class BatchControllerBase;
class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;
struct BatchProgress;

/// What a working screen shows of its running batch: under the header a thin progress bar
/// and one caption line ("3 of 12 · IMG_1.png · page 14 of 42"), and beside the run button a
/// "Stop" button, which Escape presses too while the screen is shown. All of it is there only
/// while the batch works. UI thread only.
class BatchStatus : public QWidget {
    Q_OBJECT

public:
    /// The name shown for the running batch's file at a snapshot index.
    using FileName = std::function<QString(std::size_t file)>;

    /// A child of `screen`, which also owns the Escape shortcut; `batch` must outlive it.
    BatchStatus(QWidget& screen, BatchControllerBase& batch, FileName nameOf);

    /// The Stop button, made once, a child of `header`.
    QPushButton* stopButton(QWidget* header);

    /// "3 of 12 · IMG_1.png · page 14 of 42"; the file and page parts only when known.
    static QString caption(const BatchProgress& progress, const QString& fileName);

private:
    void stop();
    void showWorking(bool working);
    void showProgress();

    BatchControllerBase& m_batch;
    FileName m_nameOf;
    QProgressBar* m_bar = nullptr;
    QLabel* m_caption = nullptr;
    QPushButton* m_stop = nullptr;
    QShortcut* m_escape = nullptr;
};
