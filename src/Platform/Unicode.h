// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

/// Unicode text rules for file names, backed by ICU. Strings are UTF-8. File names on Linux
/// are bytes and need not be valid UTF-8: such text is handled byte-wise as described below,
/// never rejected. Stateless; safe to call from several threads at once; never throws.
namespace Unicode {

/// Canonical composition (NFC). Text that is not valid UTF-8 comes back unchanged.
std::string nfc(std::string_view utf8);

/// Lower case by Unicode's default full case mapping (root locale: no Turkish dotless i,
/// "ẞ" → "ß", "Σ" at a word end → "ς"). Text that is not valid UTF-8 is lower-cased in its
/// ASCII letters only.
std::string toLower(std::string_view utf8);

} // namespace Unicode
