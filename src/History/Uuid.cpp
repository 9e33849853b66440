// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/Uuid.h"

#include <cstring>
#include <uuid/uuid.h>

static_assert(sizeof(uuid_t) == 16);

Uuid Uuid::random() {
    uuid_t bytes;
    uuid_generate_random(bytes);
    std::array<std::uint8_t, 16> copy{};
    std::memcpy(copy.data(), bytes, copy.size());
    return Uuid(copy);
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    uuid_t bytes;
    if (uuid_parse_range(text.data(), text.data() + text.size(), bytes) != 0)
        return std::nullopt;
    std::array<std::uint8_t, 16> copy{};
    std::memcpy(copy.data(), bytes, copy.size());
    return Uuid(copy);
}

std::string Uuid::toString() const {
    uuid_t bytes;
    std::memcpy(bytes, m_bytes.data(), m_bytes.size());
    char text[37];
    uuid_unparse_upper(bytes, text);
    return text;
}
