// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

/// The built parvo-worker: PARVO_WORKER_EXECUTABLE from the environment when set, else the
/// one this build made.
std::filesystem::path workerProgram();
