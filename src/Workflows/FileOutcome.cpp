// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/FileOutcome.h"

namespace FileOutcomes {

FileOutcome ofFailure(const OutcomeCause& cause, FileOutcome otherwise) {
    switch (cause.loss.kind) {
    case WorkerLoss::Kind::crashed:
        return FileOutcome::engineCrashed;
    case WorkerLoss::Kind::timedOut:
        return FileOutcome::engineTimedOut;
    case WorkerLoss::Kind::missing:
        return FileOutcome::engineMissing;
    case WorkerLoss::Kind::none:
        break;
    }
    if (cause.error == EngineError::outOfMemory)
        return FileOutcome::engineOutOfMemory;
    return otherwise;
}

bool succeeded(FileOutcome outcome) {
    switch (outcome) {
    case FileOutcome::written:
    case FileOutcome::merged:
    case FileOutcome::aboveTarget:
    case FileOutcome::copiedAlreadySmall:
    case FileOutcome::copiedCouldntCompress:
    case FileOutcome::alreadyOptimized:
        return true;
    default:
        return false;
    }
}

bool engineLost(FileOutcome outcome) {
    return outcome == FileOutcome::engineCrashed || outcome == FileOutcome::engineTimedOut ||
           outcome == FileOutcome::engineOutOfMemory || outcome == FileOutcome::engineMissing;
}

} // namespace FileOutcomes
