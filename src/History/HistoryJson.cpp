// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryJson.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace HistoryJson {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

OrderedJson toObject(const HistoryEntry& entry) {
    OrderedJson object = OrderedJson::object();
    object["id"] = entry.id.toString();
    object["date"] = UtcDate::format(entry.date);
    object["mode"] = entry.mode;
    object["input"] = entry.input;
    if (entry.outputPath)
        object["outputPath"] = *entry.outputPath;
    if (entry.before)
        object["before"] = *entry.before;
    if (entry.after)
        object["after"] = *entry.after;
    if (entry.note)
        object["note"] = *entry.note;
    return object;
}

// nlohmann has no option to escape "/". Outside strings a JSON text never holds a '/', and no
// UTF-8 multi-byte sequence contains the byte 0x2F, so every '/' byte is inside a string.
std::string escapeSlashes(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '/')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

/// The value under `key`; nullptr when the key is missing or its value is null.
const Json* present(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

bool readString(const Json& object, const char* key, std::optional<std::string>& out) {
    const Json* value = present(object, key);
    if (value && !value->is_string())
        return false;
    if (value)
        out = value->get_ref<const std::string&>();
    return true;
}

bool readInteger(const Json& object, const char* key, std::optional<std::int64_t>& out) {
    const Json* value = present(object, key);
    if (!value)
        return true;
    if (value->is_number_unsigned()) {
        const auto n = value->get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return false;
        out = static_cast<std::int64_t>(n);
    } else if (value->is_number_integer()) {
        out = value->get<std::int64_t>();
    } else if (value->is_number_float()) {
        // 2^63 is exact in a double; values from -2^63 up to (excluding) 2^63 fit.
        const double d = value->get<double>();
        if (d != std::trunc(d) || d < -0x1p63 || d >= 0x1p63)
            return false;
        out = static_cast<std::int64_t>(d);
    } else {
        return false;
    }
    return true;
}

std::optional<HistoryEntry> toEntry(const Json& object) {
    if (!object.is_object())
        return std::nullopt;
    std::optional<std::string> id, date, mode, input;
    HistoryEntry entry;
    if (!readString(object, "id", id) || !readString(object, "date", date) ||
        !readString(object, "mode", mode) || !readString(object, "input", input) ||
        !readString(object, "outputPath", entry.outputPath) ||
        !readString(object, "note", entry.note) || !readInteger(object, "before", entry.before) ||
        !readInteger(object, "after", entry.after) || !id || !date || !mode || !input)
        return std::nullopt;
    const auto uuid = Uuid::parse(*id);
    const auto when = UtcDate::parse(*date);
    if (!uuid || !when)
        return std::nullopt;
    entry.id = *uuid;
    entry.date = *when;
    entry.mode = std::move(*mode);
    entry.input = std::move(*input);
    return entry;
}

} // namespace

std::optional<std::string> encode(const std::vector<HistoryEntry>& entries) {
    try {
        OrderedJson array = OrderedJson::array();
        for (const HistoryEntry& entry : entries)
            array.push_back(toObject(entry));
        return escapeSlashes(array.dump(2, ' ', false, OrderedJson::error_handler_t::replace));
    } catch (const std::exception&) { // nlohmann's exceptions and bad_alloc
        return std::nullopt;
    }
}

std::optional<std::vector<HistoryEntry>> decode(std::string_view text) {
    try {
        const Json root = Json::parse(text.begin(), text.end(), nullptr, false);
        if (root.is_discarded() || !root.is_array())
            return std::nullopt;
        std::vector<HistoryEntry> entries;
        entries.reserve(root.size());
        for (const Json& element : root) {
            auto entry = toEntry(element);
            if (!entry)
                return std::nullopt;
            entries.push_back(std::move(*entry));
        }
        return entries;
    } catch (const std::exception&) { // nlohmann's exceptions and bad_alloc
        return std::nullopt;
    }
}

} // namespace HistoryJson
