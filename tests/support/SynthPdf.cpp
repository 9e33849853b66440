// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/SynthPdf.h"

#include "Platform/ImageCodec.h"
#include "Platform/PdfWriter.h"
#include "support/Synth.h"

#include <algorithm>
#include <cmath>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <stdexcept>

namespace SynthPdf {
namespace {

Bytes writeToMemory(QPDF& pdf) {
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setStaticID(true);
    writer.write();
    auto buffer = writer.getBufferSharedPointer();
    return Bytes(buffer->getBuffer(), buffer->getBuffer() + buffer->getSize());
}

Bytes withRotations(const Bytes& pdfBytes, const std::vector<Page>& pages) {
    QPDF pdf;
    pdf.processMemoryFile("pages", reinterpret_cast<const char*>(pdfBytes.data()), pdfBytes.size());
    auto all = QPDFPageDocumentHelper(pdf).getAllPages();
    for (std::size_t i = 0; i < pages.size() && i < all.size(); ++i)
        if (pages[i].rotateDegrees != 0)
            all[i].getObjectHandle().replaceKey(
                "/Rotate", QPDFObjectHandle::newInteger(pages[i].rotateDegrees));
    return writeToMemory(pdf);
}

} // namespace

Bytes photoPages(const std::vector<Page>& pages, double jpegQuality, unsigned seed) {
    PdfWriter writer;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const Page& page = pages[i];
        // 150 dpi, but never more than 1800 pixels on the long side: huge pages stay quick.
        const double dpi =
            std::min(150.0, 1800 * 72 / std::max(page.widthPoints, page.heightPoints));
        const int width = static_cast<int>(std::lround(page.widthPoints * dpi / 72));
        const int height = static_cast<int>(std::lround(page.heightPoints * dpi / 72));
        const auto jpeg =
            ImageCodec::encodeJpeg(Synth::photoLike(width, height, seed + i), jpegQuality);
        if (!jpeg)
            throw std::runtime_error("encoding a test page failed");
        writer.beginPage(page.widthPoints, page.heightPoints);
        writer.drawJpeg(*jpeg, 0, 0, page.widthPoints, page.heightPoints);
        writer.endPage();
    }
    auto bytes = writer.finish();
    if (!bytes)
        throw std::runtime_error("writing a test PDF failed");
    return withRotations(*bytes, pages);
}

Bytes textPages(int pageCount, const std::string& line) {
    QPDF pdf;
    pdf.emptyPDF();
    auto font = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    auto resources = QPDFObjectHandle::parse("<< /Font << >> >>");
    resources.getKey("/Font").replaceKey("/F1", font);
    QPDFPageDocumentHelper pages(pdf);
    for (int p = 0; p < pageCount; ++p) {
        std::string content = "BT /F1 11 Tf 13 TL 56 740 Td\n";
        for (int row = 0; row < 50; ++row)
            content += "(" + line + " " + std::to_string(p * 50 + row) + ") '\n";
        content += "ET\n";
        auto page = pdf.makeIndirectObject(
            QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] >>"));
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, content));
        pages.addPage(QPDFPageObjectHelper(page), false);
    }
    return writeToMemory(pdf);
}

Bytes withoutPages(std::size_t bytes) {
    QPDF pdf;
    pdf.emptyPDF();
    auto info = QPDFObjectHandle::newDictionary();
    info.replaceKey("/Title", QPDFObjectHandle::newString(std::string(bytes, 'x')));
    pdf.getTrailer().replaceKey("/Info", pdf.makeIndirectObject(info));
    return writeToMemory(pdf);
}

Bytes encrypted(const Bytes& plain, const char* userPassword, const char* ownerPassword) {
    QPDF pdf;
    pdf.processMemoryFile("plain", reinterpret_cast<const char*>(plain.data()), plain.size());
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setR6EncryptionParameters(userPassword, ownerPassword, false, false, false, false, false,
                                     false, qpdf_r3p_none, true);
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return Bytes(buffer->getBuffer(), buffer->getBuffer() + buffer->getSize());
}

} // namespace SynthPdf
