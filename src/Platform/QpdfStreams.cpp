// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/QpdfStreams.h"

#include <algorithm>
#include <qpdf/Pipeline.hh>
#include <stdexcept>

namespace QpdfStreams {
namespace {

class LimitedBytes final : public Pipeline {
public:
    LimitedBytes(Bytes& out, std::size_t limit)
        : Pipeline("limited bytes", nullptr), m_out(out), m_limit(limit) {}
    void write(unsigned char const* data, size_t length) override {
        if (length > m_limit - m_out.size())
            throw std::length_error("stream data over the limit");
        m_out.insert(m_out.end(), data, data + length);
    }
    void finish() override {}

private:
    Bytes& m_out;
    std::size_t m_limit;
};

std::optional<Bytes> piped(QPDF& pdf, QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                           std::size_t limitBytes, std::size_t expectedBytes) {
    Bytes out;
    out.reserve(std::min(expectedBytes, limitBytes));
    LimitedBytes pipeline(out, limitBytes);
    const std::size_t warnings = pdf.numWarnings();
    bool filtered = false;
    bool complete = false;
    try {
        complete = stream.pipeStreamData(&pipeline, &filtered, 0, level, true, false);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!complete || pdf.numWarnings() != warnings)
        return std::nullopt;
    // Data left filtered where decoded data was asked for is not the data asked for.
    if (level != qpdf_dl_none && !filtered) {
        auto names = filters(stream.getDict());
        if (!names || !names->empty())
            return std::nullopt;
    }
    return out;
}

} // namespace

std::optional<Bytes> decoded(QPDF& pdf, QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                             std::size_t limitBytes, std::size_t expectedBytes) {
    return piped(pdf, stream, level, limitBytes, expectedBytes);
}

std::optional<Bytes> raw(QPDF& pdf, QPDFObjectHandle stream) {
    // A damaged /Length is only a hint for the first allocation.
    auto length = stream.getDict().getKey("/Length");
    const std::size_t stored =
        length.isInteger() && length.getIntValue() > 0
            ? static_cast<std::size_t>(std::min<long long>(length.getIntValue(), 1 << 28))
            : 0;
    return piped(pdf, stream, qpdf_dl_none, std::size_t{1} << 40, stored);
}

std::optional<std::vector<std::string>> filters(QPDFObjectHandle dict) {
    auto filter = dict.getKey("/Filter");
    if (filter.isNull())
        return std::vector<std::string>{};
    if (filter.isName())
        return std::vector<std::string>{filter.getName()};
    if (!filter.isArray())
        return std::nullopt;
    std::vector<std::string> names;
    for (int i = 0; i < filter.getArrayNItems(); ++i) {
        auto item = filter.getArrayItem(i);
        if (!item.isName())
            return std::nullopt;
        names.push_back(item.getName());
    }
    return names;
}

bool noDecodeParms(QPDFObjectHandle dict) {
    const auto isEmpty = [](QPDFObjectHandle parms) {
        return parms.isNull() || (parms.isDictionary() && parms.getKeys().empty());
    };
    auto parms = dict.getKey("/DecodeParms");
    if (!parms.isArray())
        return isEmpty(parms);
    for (int i = 0; i < parms.getArrayNItems(); ++i)
        if (!isEmpty(parms.getArrayItem(i)))
            return false;
    return true;
}

} // namespace QpdfStreams
