// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/Unicode.h"

#include <algorithm>
#include <optional>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

namespace {

std::optional<icu::UnicodeString> decodeStrict(std::string_view utf8) {
    // UnicodeString::fromUTF8 silently substitutes U+FFFD; a strict decode keeps two
    // different invalid names from turning into the same text.
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    const auto size = static_cast<int32_t>(utf8.size());
    u_strFromUTF8(nullptr, 0, &length, utf8.data(), size, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::nullopt;
    }
    icu::UnicodeString text;
    status = U_ZERO_ERROR;
    UChar* buffer = text.getBuffer(length);
    if (buffer == nullptr) {
        return std::nullopt;
    }
    u_strFromUTF8(buffer, length, nullptr, utf8.data(), size, &status);
    text.releaseBuffer(U_SUCCESS(status) ? length : 0);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return text;
}

std::string encode(const icu::UnicodeString& text) {
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

} // namespace

namespace Unicode {

std::string nfc(std::string_view utf8) {
    const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        return std::string(utf8);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    const auto text = decodeStrict(utf8);
    if (U_FAILURE(status) || normalizer == nullptr || !text) {
        return std::string(utf8);
    }
    const icu::UnicodeString normal = normalizer->normalize(*text, status);
    return U_FAILURE(status) ? std::string(utf8) : encode(normal);
}

std::string toLower(std::string_view utf8) {
    auto text = decodeStrict(utf8);
    if (!text) {
        std::string lower(utf8);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
        return lower;
    }
    // The root locale ("") selects the default, language-independent mapping.
    return encode(text->toLower(icu::Locale::getRoot()));
}

} // namespace Unicode
