// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Qt>

/// The item data through which the queue and result models of a working screen talk to
/// FileRowDelegate. Qt::DisplayRole is the row's main text (a file name, or a section
/// label's text) and Qt::AccessibleTextRole what a screen reader says for the row.
namespace FileListRoles {

enum Role {
    KindRole = Qt::UserRole + 1, // int, a RowKind
    SymbolRole,                  // QString, a symbol name for Icons::symbol; empty for none
    DetailRole,       // QString, the caption-style text at the right (a size, a note); may be empty
    SavedPathRole,    // QString, the file a result row wrote; null when it wrote none
    DividerAboveRole, // bool, a divider is drawn above the row (the start of the results)
};

enum class RowKind {
    heading, // a section label in the caption-2 style, such as "TO COMPRESS · 12" or "DONE"
    queued,  // a file waiting for the next batch
    result,  // a row of the last batch
};

} // namespace FileListRoles
