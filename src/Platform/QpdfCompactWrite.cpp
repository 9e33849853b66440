// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/QpdfCompactWrite.h"

#include "Platform/QpdfPages.h"
#include "Platform/QpdfStreams.h"

#include <functional>
#include <map>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDFWriter.hh>
#include <string_view>

namespace QpdfCompactWrite {
namespace {

struct Signature {
    std::string dict;
    std::size_t bytes = 0;
    std::size_t hash = 0;
    auto operator<=>(const Signature&) const = default;
};

std::optional<Signature> signature(QPDF& pdf, QPDFObjectHandle stream) {
    const auto raw = QpdfStreams::raw(pdf, stream);
    if (!raw)
        return std::nullopt;
    auto dict = stream.getDict().shallowCopy();
    dict.removeKey("/Length");
    const std::string_view data(reinterpret_cast<const char*>(raw->data()), raw->size());
    return Signature{dict.unparse(), raw->size(), std::hash<std::string_view>{}(data)};
}

} // namespace

int shareIdentical(QPDF& pdf, const std::vector<Reference>& references) {
    // The first stream seen with each signature; streams already compared, by object.
    std::map<Signature, QPDFObjectHandle> first;
    std::map<QPDFObjGen, QPDFObjectHandle> canonical;
    int changed = 0;
    for (auto reference : references) {
        auto stream = reference.dict.getKey(reference.key);
        if (!stream.isStream() || !stream.isIndirect())
            continue;
        auto known = canonical.find(stream.getObjGen());
        if (known == canonical.end()) {
            auto target = stream;
            if (const auto key = signature(pdf, stream)) {
                const auto [entry, added] = first.emplace(*key, stream);
                // Equal hashes are only a hint: the bytes themselves must be equal.
                if (!added && QpdfStreams::raw(pdf, entry->second) == QpdfStreams::raw(pdf, stream))
                    target = entry->second;
            }
            known = canonical.emplace(stream.getObjGen(), target).first;
        }
        if (known->second.getObjGen() != stream.getObjGen()) {
            reference.dict.replaceKey(reference.key, known->second);
            ++changed;
        }
    }
    return changed;
}

std::optional<Bytes> write(QPDF& pdf) {
    try {
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.setPreserveEncryption(false);
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(true);
        writer.setDeterministicID(true);
        writer.write();
        const auto buffer = writer.getBufferSharedPointer();
        return Bytes(buffer->getBuffer(), buffer->getBuffer() + buffer->getSize());
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace QpdfCompactWrite
