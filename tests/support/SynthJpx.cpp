// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/SynthJpx.h"

#include <algorithm>
#include <cstring>
#include <openjpeg.h>
#include <stdexcept>
#include <vector>

namespace {

struct Sink {
    Bytes bytes;
    std::size_t at = 0;
};

OPJ_SIZE_T writeSome(void* buffer, OPJ_SIZE_T count, void* user) {
    auto& sink = *static_cast<Sink*>(user);
    if (sink.bytes.size() < sink.at + count)
        sink.bytes.resize(sink.at + count);
    std::memcpy(sink.bytes.data() + sink.at, buffer, count);
    sink.at += count;
    return count;
}

OPJ_OFF_T skipSome(OPJ_OFF_T count, void* user) {
    auto& sink = *static_cast<Sink*>(user);
    sink.at += static_cast<std::size_t>(count);
    return count;
}

OPJ_BOOL seekTo(OPJ_OFF_T offset, void* user) {
    static_cast<Sink*>(user)->at = static_cast<std::size_t>(offset);
    return OPJ_TRUE;
}

} // namespace

namespace Synth {

Bytes jpxBytes(const Image& image, JpxForm form) {
    const int components = image.channels + (form.alpha ? 1 : 0);
    std::vector<opj_image_cmptparm_t> parameters(static_cast<std::size_t>(components));
    for (auto& p : parameters) {
        std::memset(&p, 0, sizeof p);
        p.dx = p.dy = 1;
        p.w = static_cast<OPJ_UINT32>(image.widthPixels);
        p.h = static_cast<OPJ_UINT32>(image.heightPixels);
        p.prec = static_cast<OPJ_UINT32>(form.bits);
    }
    opj_image_t* jpx = opj_image_create(static_cast<OPJ_UINT32>(components), parameters.data(),
                                        image.channels == 1 ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
    jpx->x1 = static_cast<OPJ_UINT32>(image.widthPixels);
    jpx->y1 = static_cast<OPJ_UINT32>(image.heightPixels);
    const int top = (1 << form.bits) - 1;
    const std::size_t count = static_cast<std::size_t>(image.widthPixels) * image.heightPixels;
    for (int c = 0; c < components; ++c) {
        jpx->comps[c].alpha = c == image.channels ? 1 : 0;
        for (std::size_t i = 0; i < count; ++i)
            jpx->comps[c].data[i] =
                c == image.channels ? top
                                    : (image.pixels[i * static_cast<std::size_t>(image.channels) +
                                                    static_cast<std::size_t>(c)] *
                                           top +
                                       127) /
                                          255;
    }
    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.tcp_rates[0] = 0; // lossless
    settings.cp_disto_alloc = 1;
    opj_codec_t* codec = opj_create_compress(form.container ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    Sink sink;
    opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_stream_set_user_data(stream, &sink, nullptr);
    opj_stream_set_write_function(stream, writeSome);
    opj_stream_set_skip_function(stream, skipSome);
    opj_stream_set_seek_function(stream, seekTo);
    const bool written = opj_setup_encoder(codec, &settings, jpx) &&
                         opj_start_compress(codec, jpx, stream) && opj_encode(codec, stream) &&
                         opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(jpx);
    if (!written)
        throw std::runtime_error("OpenJPEG could not encode the test image");
    return std::move(sink.bytes);
}

} // namespace Synth
