// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/JpxReader.h"

#include "Platform/ImageCodec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <openjpeg.h>

namespace {

struct Source {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
};

OPJ_SIZE_T readSome(void* buffer, OPJ_SIZE_T wanted, void* user) {
    auto& source = *static_cast<Source*>(user);
    if (source.at >= source.bytes.size())
        return static_cast<OPJ_SIZE_T>(-1);
    const std::size_t count = std::min<std::size_t>(wanted, source.bytes.size() - source.at);
    std::memcpy(buffer, source.bytes.data() + source.at, count);
    source.at += count;
    return count;
}

// OpenJPEG reads a short skip as the end of the stream, which is what a box running past the
// data is.
OPJ_OFF_T skipSome(OPJ_OFF_T wanted, void* user) {
    auto& source = *static_cast<Source*>(user);
    if (wanted < 0 || source.at >= source.bytes.size())
        return -1;
    const auto count =
        std::min<std::size_t>(static_cast<std::size_t>(wanted), source.bytes.size() - source.at);
    source.at += count;
    return static_cast<OPJ_OFF_T>(count);
}

OPJ_BOOL seekTo(OPJ_OFF_T offset, void* user) {
    auto& source = *static_cast<Source*>(user);
    if (offset < 0 || static_cast<std::uint64_t>(offset) > source.bytes.size())
        return OPJ_FALSE;
    source.at = static_cast<std::size_t>(offset);
    return OPJ_TRUE;
}

std::optional<OPJ_CODEC_FORMAT> formatOf(std::span<const std::uint8_t> bytes) {
    static constexpr std::array<std::uint8_t, 12> jp2 = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50,
                                                         0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
    static constexpr std::array<std::uint8_t, 4> codestream = {0xFF, 0x4F, 0xFF, 0x51};
    if (bytes.size() >= jp2.size() && std::equal(jp2.begin(), jp2.end(), bytes.begin()))
        return OPJ_CODEC_JP2;
    if (bytes.size() >= codestream.size() &&
        std::equal(codestream.begin(), codestream.end(), bytes.begin()))
        return OPJ_CODEC_J2K;
    return std::nullopt;
}

void noteTrouble(const char*, void* troubled) {
    *static_cast<bool*>(troubled) = true;
}

void ignore(const char*, void*) {}

struct CodecDeleter {
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct ImageDeleter {
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};
using ImageHandle = std::unique_ptr<opj_image_t, ImageDeleter>;

/// One reading of a JPEG 2000 image: the codec and stream over the bytes, with every error
/// and warning noted in `troubled`.
class Reading {
public:
    explicit Reading(std::span<const std::uint8_t> bytes) : m_source{bytes, 0} {}

    /// The header's image (components without data); absent if it cannot be read or is empty.
    ImageHandle header() {
        const auto format = formatOf(m_source.bytes);
        if (!format)
            return nullptr;
        m_codec.reset(opj_create_decompress(*format));
        m_stream.reset(opj_stream_create(64 * 1024, OPJ_TRUE));
        if (!m_codec || !m_stream)
            return nullptr;
        opj_stream_set_user_data(m_stream.get(), &m_source, nullptr);
        opj_stream_set_user_data_length(m_stream.get(), m_source.bytes.size());
        opj_stream_set_read_function(m_stream.get(), readSome);
        opj_stream_set_skip_function(m_stream.get(), skipSome);
        opj_stream_set_seek_function(m_stream.get(), seekTo);
        opj_set_error_handler(m_codec.get(), noteTrouble, &m_troubled);
        opj_set_warning_handler(m_codec.get(), noteTrouble, &m_troubled);
        opj_set_info_handler(m_codec.get(), ignore, nullptr);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        opj_image_t* image = nullptr;
        if (!opj_setup_decoder(m_codec.get(), &parameters) ||
            !opj_decoder_set_strict_mode(m_codec.get(), OPJ_TRUE) ||
            !opj_read_header(m_stream.get(), m_codec.get(), &image) || m_troubled ||
            image->x1 <= image->x0 || image->y1 <= image->y0) {
            opj_image_destroy(image);
            return nullptr;
        }
        return ImageHandle(image);
    }

    bool decode(opj_image_t& image) {
        return opj_decode(m_codec.get(), m_stream.get(), &image) &&
               opj_end_decompress(m_codec.get(), m_stream.get()) && !m_troubled;
    }

private:
    Source m_source;
    std::unique_ptr<opj_codec_t, CodecDeleter> m_codec;
    std::unique_ptr<opj_stream_t, StreamDeleter> m_stream;
    bool m_troubled = false;
};

bool plainColour(const opj_image_t& image) {
    return image.icc_profile_len == 0 &&
           (image.color_space == OPJ_CLRSPC_UNSPECIFIED || image.color_space == OPJ_CLRSPC_SRGB ||
            image.color_space == OPJ_CLRSPC_GRAY);
}

// Components a reader can show as gray or RGB samples: one or three, unsigned, each covering
// the whole image at full resolution with 1 to 16 bits.
bool showable(const opj_image_t& image) {
    if (image.numcomps != 1 && image.numcomps != 3)
        return false;
    if (image.color_space == OPJ_CLRSPC_SYCC || image.color_space == OPJ_CLRSPC_EYCC ||
        image.color_space == OPJ_CLRSPC_CMYK || image.color_space == OPJ_CLRSPC_UNKNOWN)
        return false;
    const OPJ_UINT32 width = image.x1 - image.x0;
    const OPJ_UINT32 height = image.y1 - image.y0;
    for (OPJ_UINT32 c = 0; c < image.numcomps; ++c) {
        const opj_image_comp_t& component = image.comps[c];
        if (component.sgnd || component.alpha || component.dx != 1 || component.dy != 1 ||
            component.w != width || component.h != height || component.prec < 1 ||
            component.prec > 16 || !component.data)
            return false;
    }
    return true;
}

} // namespace

std::optional<JpxLayout> readJpxLayout(std::span<const std::uint8_t> jpx) {
    Reading reading(jpx);
    const ImageHandle image = reading.header();
    if (!image)
        return std::nullopt;
    return JpxLayout{static_cast<int>(std::min<OPJ_UINT32>(image->x1 - image->x0, 1u << 30)),
                     static_cast<int>(std::min<OPJ_UINT32>(image->y1 - image->y0, 1u << 30)),
                     static_cast<int>(image->numcomps), plainColour(*image)};
}

std::optional<Image> readJpxPixels(std::span<const std::uint8_t> jpx) {
    Reading reading(jpx);
    const ImageHandle image = reading.header();
    if (!image)
        return std::nullopt;
    const auto width = static_cast<std::int64_t>(image->x1 - image->x0);
    const auto height = static_cast<std::int64_t>(image->y1 - image->y0);
    if (width * height > ImageCodec::kMaxPixels || !reading.decode(*image) || !showable(*image))
        return std::nullopt;
    Image out{static_cast<int>(width),
              static_cast<int>(height),
              static_cast<int>(image->numcomps),
              1,
              {},
              0};
    out.pixels.resize(out.byteCount());
    for (int c = 0; c < out.channels; ++c) {
        const opj_image_comp_t& component = image->comps[c];
        const std::int64_t top = (std::int64_t{1} << component.prec) - 1;
        const OPJ_INT32* samples = component.data;
        for (std::size_t i = 0, count = static_cast<std::size_t>(width * height); i < count; ++i) {
            const std::int64_t value = std::clamp<std::int64_t>(samples[i], 0, top);
            out.pixels[i * static_cast<std::size_t>(out.channels) + static_cast<std::size_t>(c)] =
                static_cast<std::uint8_t>(component.prec == 8 ? value
                                                              : (value * 255 + top / 2) / top);
        }
    }
    return out;
}
