// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

/// The byte budget of a compression. Megabytes are powers of two.
class SizeTarget {
public:
    enum class Kind { custom, email, web };

    /// A custom budget; bytes() never reports less than 1,024 whatever the payload.
    static constexpr SizeTarget custom(std::int64_t bytes) { return {Kind::custom, bytes}; }
    static constexpr SizeTarget email() { return {Kind::email, 0}; }
    static constexpr SizeTarget web() { return {Kind::web, 0}; }

    constexpr Kind kind() const { return m_kind; }

    constexpr std::int64_t bytes() const {
        switch (m_kind) {
        case Kind::email:
            return 10 * kMegabyte;
        case Kind::web:
            return 1 * kMegabyte;
        case Kind::custom:
            break;
        }
        return m_payload < kMinimumBytes ? kMinimumBytes : m_payload;
    }

    constexpr bool operator==(const SizeTarget&) const = default;

private:
    static constexpr std::int64_t kMegabyte = 1024 * 1024;
    static constexpr std::int64_t kMinimumBytes = 1024;

    constexpr SizeTarget(Kind kind, std::int64_t payload) : m_kind(kind), m_payload(payload) {}

    Kind m_kind;
    std::int64_t m_payload;
};
