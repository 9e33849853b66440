// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/OutcomeWords.h"

#include "Views/ByteText.h"

#include <QRegularExpression>
#include <optional>

namespace {

using Details = OutcomeText::Details;

// The English words the core stores around a note's details; reading a stored note back
// takes them off to keep the details.
const QString kTookLonger = QStringLiteral("Couldn't process \u2014 took longer than ");
const QString kCouldntSave = QStringLiteral("Couldn't save: ");
const QString kCouldntCopy = QStringLiteral("Couldn't copy: ");
const QString kAbove = QStringLiteral("above the ");
const QString kTarget = QStringLiteral(" target");

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

// The time a worker may take, as the core words it: seconds, or whole minutes from a minute.
static QString durationText(std::chrono::seconds limit) {
    const auto seconds = static_cast<int>(limit.count());
    if (seconds >= 60 && seconds % 60 == 0)
        return QCoreApplication::translate("OutcomeWords", "%1 min").arg(seconds / 60);
    return QCoreApplication::translate("OutcomeWords", "%1 s").arg(seconds);
}

static std::optional<QString> engineLostNote(FileOutcome outcome, const QString& duration) {
    switch (outcome) {
    case FileOutcome::engineCrashed:
        return OutcomeWords::tr("Couldn't process \u2014 the file stopped the engine");
    case FileOutcome::engineOutOfMemory:
        return OutcomeWords::tr("Couldn't process \u2014 needed more memory than allowed");
    case FileOutcome::engineMissing:
        return OutcomeWords::tr("Couldn't process \u2014 Parvo's engine helper is missing");
    case FileOutcome::engineTimedOut:
        //: %1 is a duration such as "90 s" or "10 min".
        return OutcomeWords::tr("Couldn't process \u2014 took longer than %1").arg(duration);
    default:
        return std::nullopt;
    }
}

static QString compressNote(FileOutcome outcome) {
    switch (outcome) {
    case FileOutcome::failed:
        return OutcomeWords::tr("Couldn't process");
    case FileOutcome::alreadyOptimized:
        return OutcomeWords::tr("Already optimized \u2014 left as is");
    case FileOutcome::copiedAlreadySmall:
        //: A file of a dropped folder, copied because nothing smaller came out.
        return OutcomeWords::tr("Copied \u2014 already small");
    case FileOutcome::copiedCouldntCompress:
        return OutcomeWords::tr("Copied \u2014 couldn't compress");
    default:
        return {};
    }
}

static QString ocrNote(FileOutcome outcome) {
    switch (outcome) {
    case FileOutcome::written:
        //: What an OCR row made: a PDF whose text can be searched.
        return OutcomeWords::tr("searchable PDF");
    case FileOutcome::failed:
        return OutcomeWords::tr("No text found");
    default:
        return {};
    }
}

static QString pdfToolsNote(FileOutcome outcome, int pages) {
    switch (outcome) {
    case FileOutcome::written:
        //: The page count of a written part, abbreviated: "12p".
        return OutcomeWords::tr("%np", nullptr, pages);
    case FileOutcome::merged:
        return OutcomeWords::tr("%n pages", nullptr, pages);
    case FileOutcome::failed:
        return OutcomeWords::tr("Couldn't open");
    case FileOutcome::badRange:
        //: The page range typed matches no page of the document.
        return OutcomeWords::tr("Bad range");
    case FileOutcome::couldntSave:
        return OutcomeWords::tr("Couldn't save");
    case FileOutcome::needOnePdf:
        return OutcomeWords::tr("Need at least one valid PDF");
    case FileOutcome::noBookmarks:
        return OutcomeWords::tr("No bookmarks");
    default:
        return {};
    }
}

QString OutcomeWords::note(Screen screen, FileOutcome outcome, const Details& details) {
    if (auto lost = engineLostNote(outcome, durationText(details.cause.loss.limit)))
        return *lost;
    if (screen == Screen::pdfTools)
        return pdfToolsNote(outcome, details.pages);
    //: %1 is the system's description of the error.
    if (outcome == FileOutcome::couldntSave)
        return tr("Couldn't save: %1").arg(fromStd(details.cause.detail));
    //: %1 is the system's description of the error.
    if (outcome == FileOutcome::couldntCopy)
        return tr("Couldn't copy: %1").arg(fromStd(details.cause.detail));
    //: A file written still larger than its size target; %1 is the target's size ("2 MB").
    if (outcome == FileOutcome::aboveTarget)
        return tr("above the %1 target").arg(fromStd(details.targetLabel));
    return screen == Screen::compress ? compressNote(outcome) : ocrNote(outcome);
}

QString OutcomeWords::compressResult(const CompressWorkflow::Outcome& outcome) {
    const QString text =
        outcome.outcome == FileOutcome::written
            ? QString()
            : note(Screen::compress, outcome.outcome, {outcome.cause, 0, outcome.targetLabel});
    if (outcome.outcome != FileOutcome::written && outcome.outcome != FileOutcome::aboveTarget)
        return text;
    //: A compressed file's size before and after, and the share saved.
    const QString sizes = tr("%1 \u2192 %2  (\u2212%3%)")
                              .arg(ByteText::text(outcome.before), ByteText::text(outcome.after),
                                   QString::number(CompressWorkflow::pct(outcome)));
    return text.isEmpty() ? sizes : joined(sizes, text);
}

// Only the words a stored note was made of are put in the user's language; its details (an
// error's description, a target, a duration) stay as written.
QString OutcomeWords::storedNote(Screen screen, const std::string& stored) {
    const QString text = fromStd(stored);
    static const QRegularExpression pagesNote(QStringLiteral("^(\\d{1,9})(p| pages)$"));
    if (const auto match = pagesNote.match(text); screen == Screen::pdfTools && match.hasMatch())
        return pdfToolsNote(match.captured(2) == u"p" ? FileOutcome::written : FileOutcome::merged,
                            match.captured(1).toInt());
    const std::optional<FileOutcome> outcome = OutcomeText::outcomeOfNote(screen, stored);
    if (!outcome)
        return text;
    if (*outcome == FileOutcome::engineTimedOut && text.startsWith(kTookLonger))
        return *engineLostNote(*outcome, text.mid(kTookLonger.size()));
    Details details;
    if (*outcome == FileOutcome::couldntSave && text.startsWith(kCouldntSave))
        details.cause.detail = text.mid(kCouldntSave.size()).toStdString();
    if (*outcome == FileOutcome::couldntCopy && text.startsWith(kCouldntCopy))
        details.cause.detail = text.mid(kCouldntCopy.size()).toStdString();
    if (*outcome == FileOutcome::aboveTarget)
        details.targetLabel =
            text.mid(kAbove.size(), text.size() - kAbove.size() - kTarget.size()).toStdString();
    return note(screen, *outcome, details);
}

QString OutcomeWords::mode(const std::string& mode) {
    switch (OutcomeText::screenOfMode(mode).value_or(Screen::compress)) {
    case Screen::compress:
        return OutcomeText::screenOfMode(mode) ? tr("Compress") : fromStd(mode);
    case Screen::ocr:
        return tr("OCR");
    case Screen::pdfTools:
        break;
    }
    return tr("PDF Tools");
}

QString OutcomeWords::historySizes(std::int64_t before, std::int64_t after, std::int64_t percent) {
    //: A history entry's size before and after compression, and the share saved.
    return tr("%1 \u2192 %2 (\u2212%3%)")
        .arg(ByteText::text(before), ByteText::text(after), QString::number(percent));
}

QString OutcomeWords::joined(const QString& first, const QString& second) {
    //: Two parts of a row's text, such as a mode and a note.
    return tr("%1 \u00B7 %2").arg(first, second);
}
