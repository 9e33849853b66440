// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResultLine.h"

#include <array>
#include <charconv>
#include <nlohmann/json.hpp>

namespace {

template <typename... Format> std::string number(auto value, Format... format) {
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format...);
    return std::string(buffer.data(), result.ptr);
}

std::string seconds(double value) {
    return number(value, std::chars_format::fixed, 4);
}

template <typename T> std::string orNull(const std::optional<T>& value) {
    return value ? number(*value) : std::string("null");
}

std::string jsonString(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

std::string toJsonLine(const ResultLine& line) {
    std::string out = "{\"file\":" + jsonString(line.file);
    out += ",\"bytes_in\":" + number(line.bytesIn);
    out += ",\"bytes_out\":" + orNull(line.bytesOut);
    out += ",\"quality\":" + orNull(line.quality);
    out += ",\"encodings\":" + orNull(line.encodings);
    out += ",\"seconds\":" + seconds(line.seconds);
    out += ",\"cpu_seconds\":" + seconds(line.cpuSeconds);
    out += ",\"peak_rss_kb\":" + number(line.peakRssKb);
    if (line.method)
        out += ",\"method\":" + jsonString(*line.method);
    if (line.fits)
        out += std::string(",\"fits\":") + (*line.fits ? "true" : "false");
    out += "}";
    return out;
}
