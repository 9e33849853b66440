// SPDX-License-Identifier: GPL-3.0-or-later
//
// A page is gathered in a PageBuild (resources and content operators) and turned into QPDF
// objects when it ends; each kind of thing a page can hold adds its own resource entries and
// operators through a small function, so new kinds (text, lossless images) slot in beside
// drawJpeg.

#include "Platform/PdfWriter.h"

#include "Platform/ImageCodec.h"
#include "Platform/PdfSyntax.h"
#include "Platform/QpdfPages.h"

#include <cmath>
#include <qpdf/QPDFObjectHandle.hh>
#include <string>

namespace {

struct PageBuild {
    double widthPoints = 0;
    double heightPoints = 0;
    QPDFObjectHandle xObjects = QPDFObjectHandle::newDictionary();
    std::string content;
    int imageCount = 0;
};

bool isPositive(double value) {
    return std::isfinite(value) && value > 0;
}

QPDFObjectHandle pdfNumber(double value) {
    return QPDFObjectHandle::newReal(PdfSyntax::number(value));
}

const char* deviceColourSpace(int components) {
    switch (components) {
    case 1:
        return "/DeviceGray";
    case 3:
        return "/DeviceRGB";
    case 4:
        return "/DeviceCMYK";
    default:
        return nullptr;
    }
}

QPDFObjectHandle jpegXObject(QPDF& pdf, std::span<const std::uint8_t> jpeg,
                             const ImageCodec::JpegInfo& info) {
    auto image = pdf.newStream();
    image.replaceStreamData(std::string(reinterpret_cast<const char*>(jpeg.data()), jpeg.size()),
                            QPDFObjectHandle::newName("/DCTDecode"), QPDFObjectHandle::newNull());
    auto dict = image.getDict();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
    dict.replaceKey("/Width", QPDFObjectHandle::newInteger(info.widthPixels));
    dict.replaceKey("/Height", QPDFObjectHandle::newInteger(info.heightPixels));
    dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
    dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName(deviceColourSpace(info.components)));
    // Adobe's CMYK JPEGs store inverted ink values.
    if (info.components == 4 && info.adobeInverted)
        dict.replaceKey("/Decode", QPDFObjectHandle::parse("[1 0 1 0 1 0 1 0]"));
    return image;
}

QPDFObjectHandle mediaBox(const PageBuild& page) {
    auto box = QPDFObjectHandle::newArray();
    box.appendItem(QPDFObjectHandle::newInteger(0));
    box.appendItem(QPDFObjectHandle::newInteger(0));
    box.appendItem(pdfNumber(page.widthPoints));
    box.appendItem(pdfNumber(page.heightPoints));
    return box;
}

QPDFObjectHandle resources(const PageBuild& page) {
    auto dict = QPDFObjectHandle::newDictionary();
    if (page.imageCount > 0)
        dict.replaceKey("/XObject", page.xObjects);
    return dict;
}

QPDFObjectHandle pageObject(QPDF& pdf, const PageBuild& page) {
    auto dict = QPDFObjectHandle::newDictionary();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    dict.replaceKey("/MediaBox", mediaBox(page));
    dict.replaceKey("/Resources", resources(page));
    dict.replaceKey("/Contents", pdf.newStream(page.content));
    return pdf.makeIndirectObject(dict);
}

} // namespace

struct PdfWriter::State {
    std::unique_ptr<QPDF> pdf = QpdfPages::createEmpty();
    std::optional<PageBuild> page;
    int pagesBegun = 0;
    std::size_t embeddedBytes = 0;
    bool spent = false;
    bool failed = false;
};

PdfWriter::PdfWriter() : m_state(std::make_unique<State>()) {}
PdfWriter::~PdfWriter() = default;

bool PdfWriter::beginPage(double widthPoints, double heightPoints) {
    endPage();
    if (m_state->spent || !isPositive(widthPoints) || !isPositive(heightPoints))
        return false;
    m_state->page.emplace();
    m_state->page->widthPoints = widthPoints;
    m_state->page->heightPoints = heightPoints;
    ++m_state->pagesBegun;
    return true;
}

bool PdfWriter::drawJpeg(std::span<const std::uint8_t> jpeg, double xPoints, double yPoints,
                         double widthPoints, double heightPoints) {
    auto& page = m_state->page;
    if (!page || !std::isfinite(xPoints) || !std::isfinite(yPoints) || !isPositive(widthPoints) ||
        !isPositive(heightPoints))
        return false;
    const auto info = ImageCodec::readJpegInfo(jpeg);
    if (!info || !deviceColourSpace(info->components) || info->widthPixels <= 0 ||
        info->heightPixels <= 0)
        return false;
    try {
        const std::string name = "Im" + std::to_string(page->imageCount);
        page->xObjects.replaceKey("/" + name, jpegXObject(*m_state->pdf, jpeg, *info));
        page->content += PdfSyntax::placeImage(name, xPoints, yPoints, widthPoints, heightPoints);
        ++page->imageCount;
        m_state->embeddedBytes += jpeg.size();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void PdfWriter::endPage() {
    if (!m_state->page)
        return;
    try {
        m_state->pdf->addPage(pageObject(*m_state->pdf, *m_state->page), false);
    } catch (const std::exception&) {
        m_state->failed = true;
    }
    m_state->page.reset();
}

int PdfWriter::pageCount() const {
    return m_state->pagesBegun;
}

std::optional<Bytes> PdfWriter::finish() {
    endPage();
    if (m_state->spent || m_state->failed)
        return std::nullopt;
    m_state->spent = true;
    try {
        // Generous for the few hundred bytes of structure each page adds.
        const std::size_t expected =
            m_state->embeddedBytes + 2048 * static_cast<std::size_t>(m_state->pagesBegun) + 4096;
        return QpdfPages::write(*m_state->pdf, QpdfPages::WriteMode::Output, expected);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Placeholders until the lossless images and the invisible text are written.
std::optional<PdfImageData> PdfWriter::losslessImage(const Image&) {
    return std::nullopt;
}

std::optional<PdfImageData> PdfWriter::jpegImage(std::span<const std::uint8_t>) {
    return std::nullopt;
}

bool PdfWriter::drawImage(const PdfImageData&, double, double, double, double, int) {
    return false;
}

bool PdfWriter::drawInvisibleText(std::string_view, double, double, double) {
    return false;
}
