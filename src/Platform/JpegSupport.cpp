// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/JpegSupport.h"

#include <algorithm>
#include <cmath>
#include <jerror.h>
#include <new>

namespace JpegSupport {
namespace {

// The example tables of the JPEG standard (Annex K), natural order — the ones libjpeg scales.
constexpr std::array<unsigned, DCTSIZE2> kLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<unsigned, DCTSIZE2> kChrominance = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

void silentMessage(j_common_ptr) {}

[[noreturn]] void jumpOnError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(errors->jumpBack, 1);
}

constexpr std::size_t kChunkBytes = 256 * 1024;

// Callbacks run inside libjpeg's C frames: an exception must not pass through them, so a failed
// allocation becomes libjpeg's own out-of-memory error (which jumps back to the caller).
void resizeOrFail(j_compress_ptr cinfo, Bytes& out, std::size_t size) {
    bool resized = true;
    try {
        out.resize(size);
    } catch (const std::bad_alloc&) {
        resized = false;
    }
    if (!resized) {
        cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
        (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    }
}

void initDestination(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<VectorDestination*>(cinfo->dest);
    resizeOrFail(cinfo, *destination->out, kChunkBytes);
    destination->manager.next_output_byte = destination->out->data();
    destination->manager.free_in_buffer = destination->out->size();
}

boolean growDestination(j_compress_ptr cinfo) {
    // Called when the whole buffer is full (free_in_buffer is then meaningless).
    auto* destination = reinterpret_cast<VectorDestination*>(cinfo->dest);
    Bytes& out = *destination->out;
    const std::size_t used = out.size();
    resizeOrFail(cinfo, out, used * 2);
    destination->manager.next_output_byte = out.data() + used;
    destination->manager.free_in_buffer = out.size() - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<VectorDestination*>(cinfo->dest);
    destination->out->resize(destination->out->size() - destination->manager.free_in_buffer);
}

void putBigEndian(Bytes& out, unsigned value, int byteCount) {
    for (int shift = 8 * (byteCount - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

} // namespace

jpeg_error_mgr* installErrorManager(ErrorManager& errors) {
    jpeg_error_mgr* manager = jpeg_std_error(&errors.manager);
    manager->error_exit = jumpOnError;
    manager->output_message = silentMessage;
    return manager;
}

void useVectorDestination(j_compress_ptr cinfo, VectorDestination& destination, Bytes& out) {
    destination.out = &out;
    destination.manager.init_destination = initDestination;
    destination.manager.empty_output_buffer = growDestination;
    destination.manager.term_destination = termDestination;
    cinfo->dest = &destination.manager;
}

double scaleForQuality(double quality) {
    const double q = std::clamp(std::isnan(quality) ? 0.0 : quality, 0.0, 1.0);
    const double libjpegQuality = 1.0 + 99.0 * q;
    return libjpegQuality < 50.0 ? 5000.0 / libjpegQuality : 200.0 - 2.0 * libjpegQuality;
}

std::array<unsigned, DCTSIZE2> quantTable(double scalePercent, bool chroma) {
    const auto& base = chroma ? kChrominance : kLuminance;
    std::array<unsigned, DCTSIZE2> table{};
    for (int i = 0; i < DCTSIZE2; ++i) {
        // libjpeg rounds (base * scale + 50) / 100 down; the same rule on a real-valued scale.
        const double value = std::floor((base[i] * scalePercent + 50.0) / 100.0);
        table[i] = static_cast<unsigned>(std::clamp(value, 1.0, 255.0));
    }
    return table;
}

Bytes exifOrientationPayload(int orientation) {
    Bytes out = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42};
    putBigEndian(out, 8, 4);      // IFD0 right after the 8-byte TIFF header
    putBigEndian(out, 1, 2);      // one entry
    putBigEndian(out, 0x0112, 2); // Orientation
    putBigEndian(out, 3, 2);      // SHORT
    putBigEndian(out, 1, 4);      // count
    putBigEndian(out, static_cast<unsigned>(orientation), 2);
    putBigEndian(out, 0, 2); // padding of the 4-byte value field
    putBigEndian(out, 0, 4); // no next IFD
    return out;
}

} // namespace JpegSupport
