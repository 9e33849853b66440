// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"

#include <optional>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <string>
#include <vector>

/// Writing a document compactly, for the PDF platform files that shrink documents.
namespace QpdfCompactWrite {

/// A dictionary entry that refers to a stream.
struct Reference {
    QPDFObjectHandle dict;
    std::string key;
};

/// Points every reference whose stream is identical to an earlier one's (same dictionary but
/// for /Length, same stored bytes) at that earlier stream. Streams that cannot be read are
/// left alone. Returns the references changed. Throws QPDF's exceptions.
int shareIdentical(QPDF& pdf, const std::vector<Reference>& references);

/// The document with object streams, unencrypted, with a /ID derived from its content; no
/// stream is decoded or recompressed (unfiltered ones are deflated). Absent if QPDF fails.
/// Never throws.
std::optional<Bytes> write(QPDF& pdf);

} // namespace QpdfCompactWrite
