// SPDX-License-Identifier: GPL-3.0-or-later
//
// A page is gathered in a PageBuild (resources and content operators) and turned into QPDF
// objects when it ends. Images become XObjects of their page; the two text fonts are made once
// per document (PdfFonts) and referenced by every page that shows text. The fallback font's
// character maps grow as text is drawn and are written out in finish().

#include "Platform/PdfWriter.h"

#include "Platform/ImageCodec.h"
#include "Platform/PdfFonts.h"
#include "Platform/PdfImageEncoding.h"
#include "Platform/PdfSyntax.h"
#include "Platform/PdfText.h"
#include "Platform/QpdfPages.h"
#include "Platform/QpdfRemake.h"
#include "Platform/QpdfScanPage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <qpdf/QPDFObjectHandle.hh>
#include <set>
#include <string>
#include <vector>

namespace {

struct PageBuild {
    double widthPoints = 0;
    double heightPoints = 0;
    QPDFObjectHandle xObjects = QPDFObjectHandle::newDictionary();
    QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
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

bool isDrawable(const PdfImageData& image) {
    const bool knownFilter = image.filter == "/DCTDecode" || image.filter == "/FlateDecode" ||
                             image.filter == "/CCITTFaxDecode";
    const bool bits =
        image.bitsPerComponent == 8 || (image.bitsPerComponent == 1 && image.components == 1);
    return knownFilter && bits && deviceColourSpace(image.components) && image.widthPixels > 0 &&
           image.heightPixels > 0 && !image.data.empty();
}

QPDFObjectHandle imageXObject(QPDF& pdf, const PdfImageData& image) {
    auto stream = pdf.newStream();
    stream.replaceStreamData(
        std::string(reinterpret_cast<const char*>(image.data.data()), image.data.size()),
        QPDFObjectHandle::newName(image.filter),
        image.decodeParms.empty() ? QPDFObjectHandle::newNull()
                                  : QPDFObjectHandle::parse(image.decodeParms));
    auto dict = stream.getDict();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
    dict.replaceKey("/Width", QPDFObjectHandle::newInteger(image.widthPixels));
    dict.replaceKey("/Height", QPDFObjectHandle::newInteger(image.heightPixels));
    dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(image.bitsPerComponent));
    dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName(deviceColourSpace(image.components)));
    // Adobe's CMYK JPEGs store inverted ink values.
    if (image.components == 4 && image.adobeInverted)
        dict.replaceKey("/Decode", QPDFObjectHandle::parse("[1 0 1 0 1 0 1 0]"));
    return stream;
}

// The `cm` operands that map the image's unit square onto the rectangle so that the stored
// pixels appear turned as the EXIF orientation says (1 upright … 8 turned a quarter left).
// Image space has the stored first row at the top (v = 1); orientations 5–8 exchange the
// stored rows and columns, so the rectangle's width spans the stored height.
std::array<double, 6> placement(int orientation, double x, double y, double w, double h) {
    switch (orientation) {
    case 2:
        return {-w, 0, 0, h, x + w, y};
    case 3:
        return {-w, 0, 0, -h, x + w, y + h};
    case 4:
        return {w, 0, 0, -h, x, y + h};
    case 5:
        return {0, -h, -w, 0, x + w, y + h};
    case 6:
        return {0, -h, w, 0, x, y + h};
    case 7:
        return {0, h, w, 0, x, y};
    case 8:
        return {0, h, -w, 0, x + w, y};
    default:
        return {w, 0, 0, h, x, y};
    }
}

std::string placeImage(const std::string& name, const std::array<double, 6>& matrix) {
    std::string operators = "q";
    for (const double value : matrix)
        operators += " " + PdfSyntax::number(value);
    return operators + " cm /" + name + " Do Q\n";
}

std::string point(Point p) {
    return PdfSyntax::number(p.x) + " " + PdfSyntax::number(p.y);
}

std::string clipTo(const PdfPageImage::Quad& quad, const Affine& toPage) {
    std::string path = point(toPage.apply(quad[0])) + " m ";
    for (std::size_t corner = 1; corner < quad.size(); ++corner)
        path += point(toPage.apply(quad[corner])) + " l ";
    return path + "h W n\n";
}

// Copied streams are written with the bytes they had in the source: QPDF would otherwise
// decode and re-encode those whose filters it knows (LZW, a Flate/DCT chain…).
void keepStreamBytes(QPDFObjectHandle object, std::set<QPDFObjGen>& seen) {
    if (object.isIndirect() && !seen.insert(object.getObjGen()).second)
        return;
    if (object.isStream()) {
        object.setFilterOnWrite(false);
        keepStreamBytes(object.getDict(), seen);
    } else if (object.isDictionary()) {
        for (const std::string& key : object.getKeys())
            keepStreamBytes(object.getKey(key), seen);
    } else if (object.isArray()) {
        for (int i = 0; i < object.getArrayNItems(); ++i)
            keepStreamBytes(object.getArrayItem(i), seen);
    }
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
    if (!QPDFObjectHandle(page.fonts).getKeys().empty())
        dict.replaceKey("/Font", page.fonts);
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
    PdfFonts fonts{*pdf};
    std::optional<PageBuild> page;
    int pagesBegun = 0;
    std::size_t embeddedBytes = 0;
    // The documents whose images were drawn: QPDF reads their streams when writing.
    std::vector<std::shared_ptr<const PdfImageSource>> imageSources;
    std::set<QPDFObjGen> keptStreams;
    bool spent = false;
    bool failed = false;

    // "/FH 12 Tf" when the run needs another font than the previous run, adding the font to
    // the page's resources the first time the page uses it.
    std::string selectFont(const PdfText::Run& run, const std::string& size,
                           std::optional<bool>& currentWinAnsi);
    // "<…> Tj": the run's codes in its font.
    std::string showText(const PdfText::Run& run);
};

std::string PdfWriter::State::selectFont(const PdfText::Run& run, const std::string& size,
                                         std::optional<bool>& currentWinAnsi) {
    if (currentWinAnsi == run.winAnsi)
        return {};
    currentWinAnsi = run.winAnsi;
    const char* name = run.winAnsi ? PdfFonts::kHelveticaName : PdfFonts::kFallbackName;
    if (!page->fonts.hasKey(name))
        page->fonts.replaceKey(name, run.winAnsi ? fonts.helvetica() : fonts.fallback());
    return std::string(name) + " " + size + " Tf\n";
}

std::string PdfWriter::State::showText(const PdfText::Run& run) {
    if (!run.winAnsi)
        return fonts.fallbackHexString(run.text) + " Tj\n";
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string operators = "<";
    for (const char32_t c : run.text) {
        const std::uint8_t byte = PdfText::winAnsiByte(c).value_or(' ');
        operators += kDigits[byte >> 4];
        operators += kDigits[byte & 0xF];
    }
    return operators + "> Tj\n";
}

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
    if (!m_state->page)
        return false;
    const auto image = jpegImage(jpeg);
    return image && drawImage(*image, xPoints, yPoints, widthPoints, heightPoints);
}

std::optional<PdfImageData> PdfWriter::losslessImage(const Image& image) {
    try {
        return PdfImageEncoding::lossless(image);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<PdfImageData> PdfWriter::jpegImage(std::span<const std::uint8_t> jpeg) {
    const auto info = ImageCodec::readJpegInfo(jpeg);
    if (!info || !deviceColourSpace(info->components) || info->widthPixels <= 0 ||
        info->heightPixels <= 0)
        return std::nullopt;
    try {
        PdfImageData image;
        image.data.assign(jpeg.begin(), jpeg.end());
        image.filter = "/DCTDecode";
        image.widthPixels = info->widthPixels;
        image.heightPixels = info->heightPixels;
        image.components = info->components;
        image.adobeInverted = info->components == 4 && info->adobeInverted;
        return image;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool PdfWriter::drawImage(const PdfImageData& image, double xPoints, double yPoints,
                          double widthPoints, double heightPoints, int exifOrientation) {
    auto& page = m_state->page;
    if (!page || !std::isfinite(xPoints) || !std::isfinite(yPoints) || !isPositive(widthPoints) ||
        !isPositive(heightPoints) || !isDrawable(image))
        return false;
    try {
        const std::string name = "Im" + std::to_string(page->imageCount);
        page->xObjects.replaceKey("/" + name, imageXObject(*m_state->pdf, image));
        page->content += placeImage(
            name, placement(exifOrientation, xPoints, yPoints, widthPoints, heightPoints));
        ++page->imageCount;
        m_state->embeddedBytes += image.data.size();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool PdfWriter::drawPageImage(const PdfPageImage& image, const Affine& toPage) {
    auto& page = m_state->page;
    const Affine matrix = image.placement.then(toPage);
    if (!page || !image.source || !matrix.isFinite())
        return false;
    try {
        QPDFObjectHandle copy = m_state->pdf->copyForeignObject(image.source->image);
        keepStreamBytes(copy, m_state->keptStreams);
        m_state->imageSources.push_back(image.source);
        const std::string name = "Im" + std::to_string(page->imageCount);
        page->xObjects.replaceKey("/" + name, copy);
        std::string operators = "q\n";
        for (const PdfPageImage::Quad& clip : image.clips)
            operators += clipTo(clip, toPage);
        if (!image.maskFill.empty())
            operators += image.maskFill + "\n";
        page->content +=
            operators +
            placeImage(name, {matrix.a, matrix.b, matrix.c, matrix.d, matrix.e, matrix.f}) + "Q\n";
        ++page->imageCount;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

// The line's width at Helvetica's advances (and the fallback font's), in points.
double naturalWidth(std::u32string_view text, double fontSizePoints) {
    double thousandths = 0;
    for (const char32_t c : text)
        thousandths += PdfText::advance(c);
    return thousandths * fontSizePoints / 1000;
}

// The factor that narrows the line to maxWidth when its natural width exceeds it, else 1.
double narrowingFactor(std::u32string_view text, double fontSizePoints, double maxWidthPoints) {
    const double natural = naturalWidth(text, fontSizePoints);
    if (!(maxWidthPoints > 0) || !std::isfinite(maxWidthPoints) || natural <= maxWidthPoints)
        return 1;
    return maxWidthPoints / natural;
}

} // namespace

bool PdfWriter::drawInvisibleText(std::string_view utf8, double xPoints, double yPoints,
                                  double fontSizePoints, double maxWidthPoints,
                                  double angleDegrees) {
    if (!m_state->page || !std::isfinite(xPoints) || !std::isfinite(yPoints) ||
        !std::isfinite(angleDegrees) || !isPositive(fontSizePoints))
        return false;
    try {
        if (angleDegrees != 0)
            return drawWordsAlong(utf8, {xPoints, yPoints}, fontSizePoints, maxWidthPoints,
                                  angleDegrees);
        const std::u32string text = PdfText::decodeUtf8(utf8);
        const auto runs = PdfText::runs(text);
        if (runs.empty())
            return true;
        const std::string size = PdfSyntax::number(fontSizePoints);
        // Horizontal scaling outlives ET, so a narrowed line keeps it inside q … Q.
        const double factor = narrowingFactor(text, fontSizePoints, maxWidthPoints);
        const std::string scale = factor < 1 ? PdfSyntax::number(100 * factor) + " Tz\n" : "";
        std::string operators = scale.empty() ? "BT\n3 Tr\n" : "q\nBT\n3 Tr\n" + scale;
        std::optional<bool> currentWinAnsi;
        for (const auto& run : runs) {
            operators += m_state->selectFont(run, size, currentWinAnsi);
            // Later runs continue where the previous one's advance left the text position.
            if (&run == &runs.front())
                operators +=
                    PdfSyntax::number(xPoints) + " " + PdfSyntax::number(yPoints) + " Td\n";
            operators += m_state->showText(run);
        }
        m_state->page->content += operators + (scale.empty() ? "ET\n" : "ET\nQ\n");
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Text extractors (Poppler's among them) split a sloping run of text wherever its baseline has
// drifted by a fraction of a point, cutting words apart. So each word is drawn level, centred
// where the sloping line, laid out and narrowed as a level one would be, puts it.
bool PdfWriter::drawWordsAlong(std::string_view utf8, Point start, double fontSizePoints,
                               double maxWidthPoints, double angleDegrees) {
    const double factor =
        narrowingFactor(PdfText::decodeUtf8(utf8), fontSizePoints, maxWidthPoints);
    const double spaceWidth = naturalWidth(U" ", fontSizePoints) * factor;
    const Affine along = Affine::rotation(angleDegrees).then(Affine::translation(start.x, start.y));
    double offset = 0;
    for (std::size_t begin = 0; begin <= utf8.size();) {
        // A space is one byte in UTF-8 and never part of another character's bytes.
        const std::size_t end = std::min(utf8.find(' ', begin), utf8.size());
        const std::string_view word = utf8.substr(begin, end - begin);
        const double width = naturalWidth(PdfText::decodeUtf8(word), fontSizePoints) * factor;
        const Point centre = along.apply({offset + width / 2, 0});
        if (!word.empty() &&
            !drawInvisibleText(word, centre.x - width / 2, centre.y, fontSizePoints, width))
            return false;
        offset += width + spaceWidth;
        begin = end + 1;
    }
    return true;
}

bool PdfWriter::keepStructure(const PdfDocument& source,
                              const std::vector<PdfPageOrigin>& origins) {
    endPage();
    try {
        const auto structure = source.structure();
        const auto& sourcePages = structure->document().getAllPages();
        const auto& pages = m_state->pdf->getAllPages();
        if (m_state->spent || origins.size() != pages.size())
            return false;
        std::vector<QpdfRemake::RemadePage> remade;
        for (std::size_t i = 0; i < origins.size(); ++i) {
            const int index = origins[i].sourcePageIndex;
            if (index < 0 || static_cast<std::size_t>(index) >= sourcePages.size())
                return false;
            const QPDFObjectHandle sourcePage = sourcePages[static_cast<std::size_t>(index)];
            remade.push_back(
                {sourcePage, pages[i],
                 QpdfPages::displayTransform(sourcePage).then(origins[i].shownToPage)});
        }
        QpdfRemake::keepStructure(*structure, *m_state->pdf, remade);
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
        m_state->fonts.complete();
        // Generous for the few hundred bytes of structure each page adds.
        const std::size_t expected =
            m_state->embeddedBytes + 2048 * static_cast<std::size_t>(m_state->pagesBegun) + 4096;
        return QpdfPages::write(*m_state->pdf, QpdfPages::WriteMode::Output, expected);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
