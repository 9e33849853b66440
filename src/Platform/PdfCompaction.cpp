// SPDX-License-Identifier: GPL-3.0-or-later
//
// Everything the document refers to is walked once, from the trailer, when it is opened: the
// walk removes /PieceInfo where it finds it (so that the private data's streams are neither
// recompressed nor written) and notes the streams worth recompressing and the references that
// may share identical streams. QPDF then writes only what is still referred to. The writer
// neither decodes nor recompresses a filtered stream itself: each stream is either stored as
// it was or replaced here by something smaller, never by something larger.

#include "Platform/PdfCompaction.h"

#include "Platform/QpdfCompactWrite.h"
#include "Platform/QpdfPages.h"
#include "Platform/QpdfStreams.h"

#include <array>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>
#include <zlib.h>

namespace {

// Decoded data beyond this is left alone: anything larger may be a compression bomb. Images
// beyond the smaller limit are left too: deflating them again at the highest level costs
// seconds for a few percent, and resampling, when it is needed, stores them anew anyway.
constexpr std::size_t kDecodeLimitBytes = std::size_t{256} << 20;
constexpr std::size_t kImageDecodeLimitBytes = std::size_t{32} << 20;

bool isGeneralPurpose(const std::string& filter) {
    static const std::set<std::string, std::less<>> names = {
        "/FlateDecode",   "/Fl",  "/LZWDecode",      "/LZW",
        "/ASCII85Decode", "/A85", "/ASCIIHexDecode", "/AHx"};
    return names.contains(filter);
}

bool worthRecompressing(QPDFObjectHandle stream) {
    auto dict = stream.getDict();
    auto type = dict.getKey("/Type");
    if (type.isName() &&
        (type.getName() == "/Metadata" || type.getName() == "/XRef" || type.getName() == "/ObjStm"))
        return false;
    const auto names = QpdfStreams::filters(dict);
    if (!names || !QpdfStreams::noDecodeParms(dict))
        return false;
    for (const auto& name : *names)
        if (!isGeneralPurpose(name))
            return false;
    return true;
}

bool isPrivateDataHolder(QPDFObjectHandle dict) {
    return dict.getKey("/Type").isNameAndEquals("/Page") ||
           dict.getKey("/Type").isNameAndEquals("/Catalog") ||
           dict.getKey("/Subtype").isNameAndEquals("/Form");
}

bool isImageStream(QPDFObjectHandle object) {
    return object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Image");
}

// Deflated in chunks: the result of a well-compressible stream is small, so no buffer the
// size of the input is set aside for it.
std::optional<Bytes> deflated(const Bytes& data) {
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK)
        return std::nullopt;
    Bytes out;
    std::array<std::uint8_t, 64 * 1024> chunk{};
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = chunk.data();
        stream.avail_out = static_cast<uInt>(chunk.size());
        status = deflate(&stream, Z_FINISH);
        out.insert(out.end(), chunk.data(), stream.next_out);
    }
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        return std::nullopt;
    return out;
}

} // namespace

struct PdfCompaction::State {
    Bytes file; // declared first: QPDF reads from it until destroyed
    std::unique_ptr<QPDF> pdf;
    int pageCount = 0;
    std::vector<QPDFObjectHandle> streams;            // worth recompressing
    std::vector<QpdfCompactWrite::Reference> holders; // references that may share a stream
    std::mutex turn;

    void walk();
    void visit(QPDFObjectHandle object, const std::string& key,
               std::vector<std::pair<QPDFObjectHandle, std::string>>& pending);
};

void PdfCompaction::State::walk() {
    std::vector<std::pair<QPDFObjectHandle, std::string>> pending;
    auto trailer = pdf->getTrailer();
    for (const std::string& key : trailer.getKeys())
        if (key != "/Encrypt")
            pending.emplace_back(trailer.getKey(key), key);
    std::set<QPDFObjGen> seen;
    while (!pending.empty()) {
        auto [object, key] = std::move(pending.back());
        pending.pop_back();
        if (object.isIndirect() && !seen.insert(object.getObjGen()).second)
            continue;
        visit(object, key, pending);
    }
}

void PdfCompaction::State::visit(QPDFObjectHandle object, const std::string& key,
                                 std::vector<std::pair<QPDFObjectHandle, std::string>>& pending) {
    if (object.isArray()) {
        for (int i = object.getArrayNItems() - 1; i >= 0; --i)
            pending.emplace_back(object.getArrayItem(i), key);
        return;
    }
    if (!object.isDictionary() && !object.isStream())
        return;
    if (object.isStream() && worthRecompressing(object))
        streams.push_back(object);
    auto dict = object.isStream() ? object.getDict() : object;
    if (isPrivateDataHolder(dict))
        dict.removeKey("/PieceInfo");
    const bool fontDescriptor = dict.getKey("/Type").isNameAndEquals("/FontDescriptor");
    for (const std::string& child : dict.getKeys()) {
        auto value = dict.getKey(child);
        const bool shareable =
            (key == "/XObject" && !object.isStream() && isImageStream(value)) ||
            (fontDescriptor && child.starts_with("/FontFile") && value.isStream()) ||
            (child == "/SMask" && isImageStream(object) && isImageStream(value));
        if (shareable && value.isIndirect())
            holders.push_back({dict, child});
        pending.emplace_back(value, child);
    }
}

PdfCompaction::PdfCompaction(std::unique_ptr<State> state) : m_state(std::move(state)) {}
PdfCompaction::PdfCompaction(PdfCompaction&&) noexcept = default;
PdfCompaction& PdfCompaction::operator=(PdfCompaction&&) noexcept = default;
PdfCompaction::~PdfCompaction() = default;

std::optional<PdfCompaction> PdfCompaction::open(Bytes file) {
    auto state = std::make_unique<State>();
    state->file = std::move(file);
    try {
        state->pdf = QpdfPages::open(state->file);
        state->pageCount = static_cast<int>(state->pdf->getAllPages().size());
        if (state->pageCount < 1)
            return std::nullopt;
        state->walk();
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return PdfCompaction(std::move(state));
}

int PdfCompaction::pageCount() const {
    return m_state->pageCount;
}

int PdfCompaction::streamCount() const {
    return static_cast<int>(m_state->streams.size());
}

void PdfCompaction::recompress(int index) {
    State& state = *m_state;
    std::optional<Bytes> raw;
    std::optional<Bytes> data;
    try {
        const std::lock_guard lock(state.turn);
        QPDFObjectHandle& stream = state.streams.at(static_cast<std::size_t>(index));
        raw = QpdfStreams::raw(*state.pdf, stream);
        if (raw)
            data = QpdfStreams::decoded(*state.pdf, stream, qpdf_dl_generalized, kDecodeLimitBytes);
    } catch (const std::exception&) {
        return;
    }
    if (!raw || !data)
        return;
    const auto smaller = deflated(*data);
    data.reset();
    if (!smaller || smaller->size() >= raw->size())
        return;
    try {
        const std::lock_guard lock(state.turn);
        state.streams.at(static_cast<std::size_t>(index))
            .replaceStreamData(std::string(smaller->begin(), smaller->end()),
                               QPDFObjectHandle::newName("/FlateDecode"),
                               QPDFObjectHandle::newNull());
    } catch (const std::exception&) {
        // The stream keeps its data: replacing failed before changing it.
    }
}

int PdfCompaction::shareIdenticalStreams() {
    const std::lock_guard lock(m_state->turn);
    try {
        return QpdfCompactWrite::shareIdentical(*m_state->pdf, m_state->holders);
    } catch (const std::exception&) {
        return 0;
    }
}

std::optional<Bytes> PdfCompaction::write() {
    const std::lock_guard lock(m_state->turn);
    return QpdfCompactWrite::write(*m_state->pdf);
}
