// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScanPdf.h"

#include "Platform/G4Encoder.h"
#include "Platform/PdfWriter.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <stdexcept>
#include <string_view>

namespace ScanPdf {
namespace {

void put32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A JBIG2 segment (T.88 7.2): number, type, no referred segments, one-byte page association.
Bytes segment(std::uint32_t number, std::uint8_t type, std::uint8_t page, const Bytes& data) {
    Bytes out;
    put32(out, number);
    out.push_back(type);
    out.push_back(0);
    out.push_back(page);
    put32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes writeOut(QPDF& document) {
    QPDFWriter writer(document);
    writer.setOutputMemory();
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return Bytes(buffer->getBuffer(), buffer->getBuffer() + buffer->getSize());
}

} // namespace

Bytes pdf(const std::vector<Page>& pages) {
    QPDF document;
    document.emptyPDF();
    for (const Page& scan : pages) {
        auto page = document.makeIndirectObject(QPDFObjectHandle::parse(
            "<< /Type /Page /MediaBox [0 0 " + std::to_string(scan.widthPoints) + ' ' +
            std::to_string(scan.heightPoints) + "] /Rotate " + std::to_string(scan.rotateDegrees) +
            " /Resources << /XObject << >> /ExtGState << /GS0 << /Type /ExtGState /BM /Normal "
            "/OPM 1 >> >> /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
            "/Encoding /WinAnsiEncoding >> >> >> >>"));
        page.getKey("/Resources").getKey("/XObject").replaceKey("/Im0", scan.image(document));
        const std::string content =
            scan.before + "q " + scan.placement + " cm /Im0 Do Q\n" + scan.after;
        page.replaceKey("/Contents", QPDFObjectHandle::newStream(&document, content));
        QPDFPageDocumentHelper(document).addPage(QPDFPageObjectHelper(page), false);
    }
    return writeOut(document);
}

QPDFObjectHandle imageStream(QPDF& pdf, const Bytes& data, const std::string& dictionary) {
    auto stream = QPDFObjectHandle::newStream(
        &pdf, std::string(reinterpret_cast<const char*>(data.data()), data.size()));
    auto dict = QPDFObjectHandle::parse(dictionary);
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
    for (const std::string& key : dict.getKeys())
        stream.getDict().replaceKey(key, dict.getKey(key));
    return stream;
}

ImageMaker lossless(const Image& picture,
                    std::function<void(QPDF& pdf, QPDFObjectHandle dictionary)> more) {
    return [picture, more](QPDF& pdf) {
        const auto stored = PdfWriter::losslessImage(picture);
        if (!stored)
            throw std::runtime_error("the picture could not be stored");
        auto image = imageStream(
            pdf, stored->data,
            "<< /Width " + std::to_string(stored->widthPixels) + " /Height " +
                std::to_string(stored->heightPixels) + " /BitsPerComponent " +
                std::to_string(stored->bitsPerComponent) + " /ColorSpace " +
                (stored->components == 1 ? "/DeviceGray" : "/DeviceRGB") + " /Filter " +
                stored->filter +
                (stored->decodeParms.empty() ? "" : " /DecodeParms " + stored->decodeParms) +
                " >>");
        if (more)
            more(pdf, image.getDict());
        return image;
    };
}

std::string filling(double widthPoints, double heightPoints) {
    return QPDFObjectHandle::newReal(widthPoints, 3, true).unparse() + " 0 0 " +
           QPDFObjectHandle::newReal(heightPoints, 3, true).unparse() + " 0 0";
}

Page filledWith(const Image& picture, double pixelsPerPoint) {
    const double width = picture.widthPixels / pixelsPerPoint;
    const double height = picture.heightPixels / pixelsPerPoint;
    return {width, height, 0, lossless(picture), filling(width, height), "", ""};
}

Bytes jbig2Page(const Image& gray, Bytes& globals) {
    auto coded = G4Encoder::encode(gray);
    if (coded && coded->blackIsOne) {
        // JBIG2 codes black as black: code the negative, whose black runs are these black ones.
        Image negative = gray;
        for (std::uint8_t& pixel : negative.pixels)
            pixel = pixel == 0 ? 255 : 0;
        coded = G4Encoder::encode(negative);
    }
    if (!coded || coded->blackIsOne)
        throw std::runtime_error("G4 coding failed");
    Bytes pageInfo;
    put32(pageInfo, static_cast<std::uint32_t>(gray.widthPixels));
    put32(pageInfo, static_cast<std::uint32_t>(gray.heightPixels));
    put32(pageInfo, 0);
    put32(pageInfo, 0);
    pageInfo.resize(pageInfo.size() + 3); // flags, striping: none
    Bytes region;
    put32(region, static_cast<std::uint32_t>(gray.widthPixels));
    put32(region, static_cast<std::uint32_t>(gray.heightPixels));
    put32(region, 0);
    put32(region, 0);
    region.push_back(0);    // combination: OR
    region.push_back(0x01); // MMR coding
    region.insert(region.end(), coded->data.begin(), coded->data.end());
    Bytes extension;
    put32(extension, 0x20000000); // a private extension, skipped by decoders
    for (const char c : std::string_view("Parvo"))
        extension.push_back(static_cast<std::uint8_t>(c));
    globals = segment(0, 62, 0, extension);
    Bytes stream = segment(1, 48, 1, pageInfo);
    const Bytes generic = segment(2, 39, 1, region);
    const Bytes end = segment(3, 49, 1, {});
    stream.insert(stream.end(), generic.begin(), generic.end());
    stream.insert(stream.end(), end.begin(), end.end());
    return stream;
}

std::map<std::string, std::string> imageStreams(const Bytes& pdf, int pageIndex) {
    QPDF document;
    document.processMemoryFile("pdf", reinterpret_cast<const char*>(pdf.data()), pdf.size());
    std::map<std::string, std::string> streams;
    std::function<void(const std::string&, QPDFObjectHandle)> walk = [&](const std::string& path,
                                                                         QPDFObjectHandle object) {
        if (object.isStream()) {
            const auto raw = object.getRawStreamData();
            streams[path].assign(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize());
            object = object.getDict();
        }
        if (object.isDictionary())
            for (const std::string& key : object.getKeys())
                walk(path + key, object.getKey(key));
        if (object.isArray())
            for (int i = 0; i < object.getArrayNItems(); ++i)
                walk(path + "/" + std::to_string(i), object.getArrayItem(i));
    };
    auto page =
        QPDFPageDocumentHelper(document).getAllPages().at(static_cast<std::size_t>(pageIndex));
    for (auto& [name, image] : page.getImages())
        walk("/Im", image);
    return streams;
}

} // namespace ScanPdf
