// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"

#include <cstddef>
#include <optional>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <string>
#include <vector>

/// Reading stream data without trusting it, for the PDF platform files. A stream whose data
/// QPDF cannot decode in full, or decodes only with a warning (a damaged Flate stream gives a
/// truncated result and a warning, not an error), or that decodes to more than the limit (a
/// compression bomb), gives nothing: such a stream is to be kept as it is. Never throws.
namespace QpdfStreams {

/// The stream's data with every filter of the chain removed, when QPDF decodes each of them
/// at `level`; absent when some filter is beyond that level. `expectedBytes`, when known,
/// spares regrowing the result.
std::optional<Bytes> decoded(QPDF& pdf, QPDFObjectHandle stream, qpdf_stream_decode_level_e level,
                             std::size_t limitBytes, std::size_t expectedBytes = 0);

/// The stream's bytes as stored (decrypted, still filtered).
std::optional<Bytes> raw(QPDF& pdf, QPDFObjectHandle stream);

/// The filter names of a stream dictionary's /Filter (a name or an array of names), in order;
/// absent when /Filter is anything else.
std::optional<std::vector<std::string>> filters(QPDFObjectHandle dict);

/// Whether /DecodeParms says nothing: absent, null, an empty dictionary, or an array of those.
bool noDecodeParms(QPDFObjectHandle dict);

} // namespace QpdfStreams
