// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// A 128-bit universally unique identifier (RFC 4122), held as its 16 bytes.
class Uuid {
public:
    /// The nil UUID (all zero bits).
    Uuid() = default;
    explicit Uuid(const std::array<std::uint8_t, 16>& bytes) : m_bytes(bytes) {}

    /// A fresh random version-4 UUID (libuuid, from the operating system's random source).
    /// Safe to call from several threads at once; never fails.
    static Uuid random();

    /// Reads the standard 36-character form (8-4-4-4-12 hexadecimal digits with hyphens), in
    /// either case. Anything else (braces, missing hyphens, other lengths) gives nothing.
    static std::optional<Uuid> parse(std::string_view text);

    /// The standard 36-character form in upper case.
    std::string toString() const;

    const std::array<std::uint8_t, 16>& bytes() const { return m_bytes; }

    friend auto operator<=>(const Uuid&, const Uuid&) = default;

private:
    std::array<std::uint8_t, 16> m_bytes{};
};
