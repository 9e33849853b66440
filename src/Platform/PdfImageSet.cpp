// SPDX-License-Identifier: GPL-3.0-or-later
//
// The set is made over a document's bytes once; write() opens those bytes afresh for every
// result, so the objects named here (by number) are the same in every copy and no result
// depends on an earlier one.

#include "Platform/PdfImageSet.h"

#include "Platform/ImageCodec.h"
#include "Platform/JpegReader.h"
#include "Platform/JpxReader.h"
#include "Platform/QpdfCompactWrite.h"
#include "Platform/QpdfImageUses.h"
#include "Platform/QpdfPages.h"
#include "Platform/QpdfStreams.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <string>

namespace {

enum class Storage { unusable, decodable, jpeg, jpx };

struct Stored {
    QPDFObjGen object;
    Storage storage = Storage::unusable;
    int widthPixels = 0;
    int heightPixels = 0;
    int channels = 0;
    int bits = 8;
    bool ownColour = false; // a JPEG 2000 image that leaves its colour space to its own data
    /// An indexed image's colours, `channels` bytes each in its base colour space; its samples
    /// (of `bits` each) are indices into it.
    Bytes palette;
};

struct Entry {
    Stored image;
    std::optional<Stored> mask;
};

/// What an image stream holds as it is read: its decoded samples, or its stored JPEG or
/// JPEG 2000 data.
struct Data {
    Bytes bytes;
    Storage storage = Storage::decodable;
};

std::optional<int> channelsOf(QPDFObjectHandle space) {
    if (space.isName()) {
        if (space.getName() == "/DeviceGray")
            return 1;
        if (space.getName() == "/DeviceRGB")
            return 3;
        if (space.getName() == "/DeviceCMYK")
            return 4;
        return std::nullopt;
    }
    if (!space.isArray() || space.getArrayNItems() != 2 || !space.getArrayItem(0).isName())
        return std::nullopt;
    const std::string family = space.getArrayItem(0).getName();
    if (family == "/CalGray")
        return 1;
    if (family == "/CalRGB")
        return 3;
    auto profile = space.getArrayItem(1);
    if (family != "/ICCBased" || !profile.isStream())
        return std::nullopt;
    auto components = profile.getDict().getKey("/N");
    const long long count = components.isInteger() ? components.getIntValue() : 0;
    if (count == 1 || count == 3 || count == 4)
        return static_cast<int>(count);
    return std::nullopt;
}

Storage storageOf(QPDFObjectHandle dict, int bits) {
    static const std::set<std::string, std::less<>> lossless = {
        "/FlateDecode",     "/Fl",  "/LZWDecode", "/LZW",
        "/ASCII85Decode",   "/A85", "/AHx",       "/ASCIIHexDecode",
        "/RunLengthDecode", "/RL"};
    const auto names = QpdfStreams::filters(dict);
    if (!names)
        return Storage::unusable;
    if (names->size() == 1 && ((*names)[0] == "/DCTDecode" || (*names)[0] == "/DCT"))
        return bits == 8 && QpdfStreams::noDecodeParms(dict) ? Storage::jpeg : Storage::unusable;
    if (names->size() == 1 && (*names)[0] == "/JPXDecode")
        return QpdfStreams::noDecodeParms(dict) ? Storage::jpx : Storage::unusable;
    for (const auto& name : *names)
        if (!lossless.contains(name))
            return Storage::unusable;
    return Storage::decodable;
}

// No key that makes the samples mean something other than their colour space says, or that
// another reader could prefer to them.
bool plain(QPDFObjectHandle dict) {
    for (const char* key : {"/Mask", "/Decode", "/Alternates", "/OPI", "/Matte"})
        if (dict.hasKey(key))
            return false;
    auto stencil = dict.getKey("/ImageMask");
    auto inData = dict.getKey("/SMaskInData");
    return (stencil.isNull() || (stencil.isBool() && !stencil.getBoolValue())) &&
           (inData.isNull() || (inData.isInteger() && inData.getIntValue() == 0));
}

std::int64_t storedLength(QPDFObjectHandle stream) {
    auto length = stream.getDict().getKey("/Length");
    return length.isInteger() ? length.getIntValue() : 0;
}

bool absentOrEqual(QPDFObjectHandle value, long long expected) {
    return value.isNull() || (value.isInteger() && value.getIntValue() == expected);
}

// A JPEG 2000 image's size and components are those of its data: its dictionary may leave
// out its colour space and bits. An image whose dictionary disagrees with its data is kept.
std::optional<Stored> describeJpx(QPDFObjectHandle image, bool isMask) {
    auto dict = image.getDict();
    if (storedLength(image) > ImageCodec::kMaxPixels * 4)
        return std::nullopt;
    std::optional<JpxLayout> layout;
    try {
        const auto raw = image.getRawStreamData();
        layout = readJpxLayout(std::span<const std::uint8_t>(raw->getBuffer(), raw->getSize()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!layout || !absentOrEqual(dict.getKey("/Width"), layout->widthPixels) ||
        !absentOrEqual(dict.getKey("/Height"), layout->heightPixels) ||
        static_cast<std::int64_t>(layout->widthPixels) * layout->heightPixels >
            ImageCodec::kMaxPixels)
        return std::nullopt;
    Stored stored;
    stored.object = image.getObjGen();
    stored.storage = Storage::jpx;
    stored.widthPixels = layout->widthPixels;
    stored.heightPixels = layout->heightPixels;
    auto space = dict.getKey("/ColorSpace");
    if (space.isNull()) {
        if (!layout->plainColour)
            return std::nullopt;
        stored.channels = layout->components;
        stored.ownColour = true;
    } else {
        stored.channels = channelsOf(space).value_or(0);
    }
    if (stored.channels != layout->components || (stored.channels != 1 && stored.channels != 3) ||
        (isMask && stored.channels != 1))
        return std::nullopt;
    return stored;
}

// [/Indexed base hival lookup]: the colours an index stands for, in a base colour space that
// a replacement takes over.
struct Palette {
    int channels = 0;
    Bytes colours;
};

std::optional<Palette> paletteOf(QPDFObjectHandle space) {
    if (!space.isArray() || space.getArrayNItems() != 4 ||
        !space.getArrayItem(0).isNameAndEquals("/Indexed") || !space.getArrayItem(2).isInteger())
        return std::nullopt;
    const auto channels = channelsOf(space.getArrayItem(1));
    const long long highest = space.getArrayItem(2).getIntValue();
    if (!channels || highest < 0 || highest > 255)
        return std::nullopt;
    auto lookup = space.getArrayItem(3);
    std::string colours;
    if (lookup.isString()) {
        colours = lookup.getStringValue();
    } else if (lookup.isStream() && lookup.getDict().getKey("/Filter").isNull() &&
               storedLength(lookup) <= 256 * 4) {
        const auto data = lookup.getRawStreamData();
        colours.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    }
    const auto size = static_cast<std::size_t>((highest + 1) * *channels);
    if (colours.size() < size)
        return std::nullopt;
    return Palette{*channels, Bytes(colours.begin(), colours.begin() + size)};
}

// Indices of 1 to 8 bits; samples of 2 to 16 bits, or 1 for a gray image (a bilevel one); a
// soft mask's of 8.
bool usableBits(int bits, bool indexed, bool isMask, int channels) {
    if (indexed)
        return bits == 1 || bits == 2 || bits == 4 || bits == 8;
    if (isMask)
        return bits == 8;
    return bits == 2 || bits == 4 || bits == 8 || bits == 16 || (bits == 1 && channels == 1);
}

std::optional<Stored> describe(QPDFObjectHandle image, bool isMask) {
    if (!image.isStream() || !image.isIndirect())
        return std::nullopt;
    auto dict = image.getDict();
    if (!dict.getKey("/Subtype").isNameAndEquals("/Image") || !plain(dict))
        return std::nullopt;
    if (storageOf(dict, 8) == Storage::jpx)
        return describeJpx(image, isMask);
    auto width = dict.getKey("/Width");
    auto height = dict.getKey("/Height");
    auto bits = dict.getKey("/BitsPerComponent");
    if (!width.isInteger() || !height.isInteger() || !bits.isInteger())
        return std::nullopt;
    Stored stored;
    stored.object = image.getObjGen();
    stored.widthPixels = static_cast<int>(std::clamp<long long>(width.getIntValue(), 0, 1 << 30));
    stored.heightPixels = static_cast<int>(std::clamp<long long>(height.getIntValue(), 0, 1 << 30));
    stored.bits = static_cast<int>(bits.getIntValue());
    const auto pixels = static_cast<std::int64_t>(stored.widthPixels) * stored.heightPixels;
    auto channels = channelsOf(dict.getKey("/ColorSpace"));
    if (!channels && !isMask) {
        try {
            if (auto palette = paletteOf(dict.getKey("/ColorSpace"))) {
                channels = palette->channels;
                stored.palette = std::move(palette->colours);
            }
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    if (pixels < 1 || pixels > ImageCodec::kMaxPixels || !channels ||
        !usableBits(stored.bits, !stored.palette.empty(), isMask, *channels) ||
        (isMask && *channels != 1))
        return std::nullopt;
    stored.channels = *channels;
    stored.storage = storageOf(dict, stored.bits);
    if (stored.storage == Storage::unusable || (isMask && dict.hasKey("/SMask")))
        return std::nullopt;
    return stored;
}

// The bytes of one row of samples (one index a pixel for an indexed image), padded to a byte.
std::size_t rowBytesOf(const Stored& stored) {
    const int components = stored.palette.empty() ? stored.channels : 1;
    return (static_cast<std::size_t>(stored.widthPixels) * static_cast<std::size_t>(components) *
                static_cast<std::size_t>(stored.bits) +
            7) /
           8;
}

// Samples of `bits` (at most 8) each, most significant first, rows padded to a byte.
int sampleAt(const Bytes& data, std::size_t rowBytes, int bits, std::size_t index, int y) {
    const std::size_t bit = index * static_cast<std::size_t>(bits);
    const std::uint8_t byte = data[static_cast<std::size_t>(y) * rowBytes + bit / 8];
    return (byte >> (8 - bits - static_cast<int>(bit % 8))) & ((1 << bits) - 1);
}

// The colours of an indexed image's rows, all of which `data` holds. An index past the
// palette's end shows its last colour, as readers clip it.
Image paletteColours(const Stored& stored, const Bytes& data) {
    const std::size_t rowBytes = rowBytesOf(stored);
    Image image{stored.widthPixels, stored.heightPixels, stored.channels, 1, {}, 0};
    image.pixels.resize(image.byteCount());
    const auto channels = static_cast<std::size_t>(stored.channels);
    const int last = static_cast<int>(stored.palette.size() / channels) - 1;
    std::uint8_t* out = image.pixels.data();
    for (int y = 0; y < stored.heightPixels; ++y)
        for (int x = 0; x < stored.widthPixels; ++x, out += channels) {
            const int index = std::min(
                sampleAt(data, rowBytes, stored.bits, static_cast<std::size_t>(x), y), last);
            std::copy_n(stored.palette.begin() + static_cast<std::ptrdiff_t>(index * channels),
                        channels, out);
        }
    return image;
}

std::optional<Image> samples(const Stored& stored, Data data, CmykMarking* marking = nullptr) {
    if (data.storage != Storage::decodable) {
        auto image = data.storage == Storage::jpx ? readJpxPixels(data.bytes)
                                                  : readJpegPixels(data.bytes, marking);
        if (!image || image->widthPixels != stored.widthPixels ||
            image->heightPixels != stored.heightPixels || image->channels != stored.channels)
            return std::nullopt;
        return image;
    }
    const std::size_t rowBytes = rowBytesOf(stored);
    if (data.bytes.size() < rowBytes * static_cast<std::size_t>(stored.heightPixels))
        return std::nullopt;
    if (!stored.palette.empty())
        return paletteColours(stored, data.bytes);
    Image image{stored.widthPixels, stored.heightPixels, stored.channels, 1, {}, 0};
    if (stored.bits == 8) {
        data.bytes.resize(image.byteCount());
        image.pixels = std::move(data.bytes);
        return image;
    }
    // Fewer bits are scaled up to 8, and 16 cut to their high byte, as readers show them.
    const std::size_t rowSamples = image.bytesPerRow();
    image.pixels.resize(image.byteCount());
    const int top = (1 << std::min(stored.bits, 8)) - 1;
    std::uint8_t* out = image.pixels.data();
    for (int y = 0; y < stored.heightPixels; ++y)
        for (std::size_t sample = 0; sample < rowSamples; ++sample)
            *out++ = stored.bits == 16
                         ? data.bytes[static_cast<std::size_t>(y) * rowBytes + 2 * sample]
                         : static_cast<std::uint8_t>(
                               sampleAt(data.bytes, rowBytes, stored.bits, sample, y) * 255 / top);
    return image;
}

void store(QPDFObjectHandle stream, const PdfImageData& data) {
    stream.replaceStreamData(
        std::string(reinterpret_cast<const char*>(data.data.data()), data.data.size()),
        QPDFObjectHandle::newName(data.filter),
        data.decodeParms.empty() ? QPDFObjectHandle::newNull()
                                 : QPDFObjectHandle::parse(data.decodeParms));
    auto dict = stream.getDict();
    dict.replaceKey("/Width", QPDFObjectHandle::newInteger(data.widthPixels));
    dict.replaceKey("/Height", QPDFObjectHandle::newInteger(data.heightPixels));
    dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(data.bitsPerComponent));
}

// The colour space of a replaced image's new stream where it is not the old one's.
void nameColourSpace(QPDFObjectHandle stream, const Stored& stored) {
    auto dict = stream.getDict();
    dict.removeKey("/SMaskInData");
    if (stored.ownColour)
        dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName(
                                           stored.channels == 1 ? "/DeviceGray" : "/DeviceRGB"));
    // An indexed image's replacement holds colours, not indices: its space is the palette's.
    if (!stored.palette.empty())
        dict.replaceKey("/ColorSpace", dict.getKey("/ColorSpace").getArrayItem(1));
}

// A soft mask of its own for the replaced image, so that another image sharing the old mask
// keeps it. The old mask's other keys (its colour space among them) are kept.
void storeMask(QPDF& pdf, QPDFObjectHandle image, const PdfImageData& data) {
    auto old = image.getDict().getKey("/SMask").getDict();
    auto mask = QPDFObjectHandle::newStream(&pdf);
    for (const std::string& key : old.getKeys())
        if (key != "/Length" && key != "/Filter" && key != "/DecodeParms")
            mask.getDict().replaceKey(key, old.getKey(key));
    store(mask, data);
    image.getDict().replaceKey("/SMask", mask);
}

} // namespace

struct PdfImageSet::State {
    Bytes bytes; // declared first: QPDF reads from it until destroyed
    std::unique_ptr<QPDF> pdf;
    int pageCount = 0;
    std::vector<Entry> entries;
    std::vector<PdfImageInfo> infos;
    std::mutex turn;

    void collect();
    std::optional<Data> read(const Stored& stored);
};

void PdfImageSet::State::collect() {
    const auto uses = QpdfImageUses::find(*pdf);
    for (const auto& [object, extent] : uses.drawn) {
        if (uses.unknown.contains(object))
            continue;
        auto image = pdf->getObject(object);
        auto maskObject = image.getDict().getKey("/SMask");
        const auto stored = describe(image, false);
        const auto mask = maskObject.isNull() ? std::nullopt : describe(maskObject, true);
        if (!stored || (!maskObject.isNull() &&
                        (!mask || stored->bits != 8 || uses.drawn.contains(mask->object))))
            continue;
        PdfImageInfo info{stored->widthPixels, stored->heightPixels,
                          stored->channels,    stored->bits == 1 && stored->palette.empty(),
                          mask.has_value(),    extent.widthInches,
                          extent.heightInches, storedLength(image),
                          extent.firstPage};
        if (mask)
            info.storedBytes += storedLength(maskObject);
        entries.push_back({*stored, mask});
        infos.push_back(info);
    }
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return infos[a].firstPage < infos[b].firstPage;
    });
    std::vector<Entry> sortedEntries;
    std::vector<PdfImageInfo> sortedInfos;
    for (const std::size_t i : order) {
        sortedEntries.push_back(entries[i]);
        sortedInfos.push_back(infos[i]);
    }
    entries = std::move(sortedEntries);
    infos = std::move(sortedInfos);
}

std::optional<Data> PdfImageSet::State::read(const Stored& stored) {
    auto stream = pdf->getObject(stored.object);
    if (stored.storage != Storage::decodable) {
        auto raw = QpdfStreams::raw(*pdf, stream);
        return raw ? std::optional<Data>(Data{std::move(*raw), stored.storage}) : std::nullopt;
    }
    // Rows beyond the dictionary's size are ignored, as readers do; a little slack allows
    // for the padding some writers add.
    const std::size_t expected = static_cast<std::size_t>(stored.heightPixels) * rowBytesOf(stored);
    auto decoded = QpdfStreams::decoded(*pdf, stream, qpdf_dl_specialized,
                                        expected + expected / 4 + 65536, expected);
    return decoded ? std::optional<Data>(Data{std::move(*decoded)}) : std::nullopt;
}

PdfImageSet::PdfImageSet(std::unique_ptr<State> state) : m_state(std::move(state)) {}
PdfImageSet::PdfImageSet(PdfImageSet&&) noexcept = default;
PdfImageSet& PdfImageSet::operator=(PdfImageSet&&) noexcept = default;
PdfImageSet::~PdfImageSet() = default;

std::optional<PdfImageSet> PdfImageSet::open(Bytes pdf) {
    auto state = std::make_unique<State>();
    state->bytes = std::move(pdf);
    try {
        state->pdf = QpdfPages::open(state->bytes);
        state->pageCount = static_cast<int>(state->pdf->getAllPages().size());
        if (state->pageCount < 1)
            return std::nullopt;
        state->collect();
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return PdfImageSet(std::move(state));
}

int PdfImageSet::pageCount() const {
    return m_state->pageCount;
}

const std::vector<PdfImageInfo>& PdfImageSet::images() const {
    return m_state->infos;
}

std::optional<PdfImagePixels> PdfImageSet::pixels(int index) {
    const Entry& entry = m_state->entries.at(static_cast<std::size_t>(index));
    std::optional<Data> image;
    std::optional<Data> mask;
    try {
        const std::lock_guard lock(m_state->turn);
        if (!m_state->pdf)
            return std::nullopt;
        image = m_state->read(entry.image);
        if (image && entry.mask)
            mask = m_state->read(*entry.mask);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!image || (entry.mask && !mask))
        return std::nullopt;
    CmykMarking marking = CmykMarking::none;
    auto pixels = samples(entry.image, std::move(*image), &marking);
    auto maskPixels = entry.mask ? samples(*entry.mask, std::move(*mask)) : std::nullopt;
    if (!pixels || (entry.mask && !maskPixels))
        return std::nullopt;
    return PdfImagePixels{std::move(*pixels), std::move(maskPixels), marking};
}

std::optional<Bytes>
PdfImageSet::write(const std::vector<std::optional<PdfImageReplacement>>& replacements) {
    const std::lock_guard lock(m_state->turn);
    // Reading is over: the structure read for it need not be held beside the copy written.
    m_state->pdf.reset();
    try {
        auto pdf = QpdfPages::open(m_state->bytes);
        for (std::size_t i = 0; i < replacements.size() && i < m_state->entries.size(); ++i) {
            if (!replacements[i])
                continue;
            const Entry& entry = m_state->entries[i];
            auto image = pdf->getObject(entry.image.object);
            store(image, replacements[i]->image);
            nameColourSpace(image, entry.image);
            if (replacements[i]->mask && entry.mask) {
                storeMask(*pdf, image, *replacements[i]->mask);
                nameColourSpace(image.getDict().getKey("/SMask"), *entry.mask);
            }
        }
        return QpdfCompactWrite::write(*pdf);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
