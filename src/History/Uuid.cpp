// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/Uuid.h"

#include <chrono>
#include <exception>
#include <random>

namespace {

constexpr std::array<std::size_t, 4> kHyphenAt = {8, 13, 18, 23};

bool isHyphenPosition(std::size_t i) {
    for (std::size_t at : kHyphenAt)
        if (i == at)
            return true;
    return false;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

template <typename Engine> void fillRandom(std::array<std::uint8_t, 16>& bytes, Engine& engine) {
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const auto word = static_cast<std::uint32_t>(engine());
        for (std::size_t k = 0; k < 4; ++k)
            bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
}

} // namespace

Uuid Uuid::random() {
    std::array<std::uint8_t, 16> bytes{};
    try {
        // Opening the system's source costs tens of microseconds, far more than reading it:
        // each thread keeps one open, so that a batch of thousands of rows gets its ids fast.
        thread_local std::random_device device;
        fillRandom(bytes, device);
    } catch (const std::exception&) {
        // std::random_device throws when the system has no entropy source it can open; a
        // clock-seeded generator still gives distinct identifiers for a history log.
        std::seed_seq seed{
            static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()),
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()),
            static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&bytes))};
        std::mt19937 engine(seed);
        fillRandom(bytes, engine);
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return Uuid(bytes);
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36)
        return std::nullopt;
    std::array<std::uint8_t, 16> bytes{};
    std::size_t nibble = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-')
                return std::nullopt;
            continue;
        }
        const int value = hexValue(text[i]);
        if (value < 0)
            return std::nullopt;
        bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] << 4 | value);
        ++nibble;
    }
    return Uuid(bytes);
}

std::string Uuid::toString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < m_bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(kDigits[m_bytes[i] >> 4]);
        text.push_back(kDigits[m_bytes[i] & 0x0F]);
    }
    return text;
}
