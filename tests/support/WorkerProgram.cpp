// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WorkerProgram.h"

#include <cstdlib>

std::filesystem::path workerProgram() {
    if (const char* set = std::getenv("PARVO_WORKER_EXECUTABLE"); set && *set)
        return set;
    return PARVO_WORKER_EXECUTABLE;
}
