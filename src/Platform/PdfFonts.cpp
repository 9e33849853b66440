// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PdfFonts.h"

#include "Platform/FileBytes.h"
#include "Platform/PdfText.h"
#include "Platform/TextRecognizer.h"

#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace {

// The name Tesseract gives the font in its own PDFs.
constexpr const char* kFallbackFontName = "/GlyphLessFont";
// Every character CID shows glyph 1, the font's one glyph. It is an outline, but the text is
// drawn in render mode 3 and never painted; what readers use are the PDF's own metrics below,
// in thousandths of an em, which override the program's.
constexpr int kGlyphIndex = 1;
constexpr int kEm = 1000;
constexpr int kAscent = 800;
constexpr int kDescent = -200;
constexpr int kNarrowWidth = kEm / 2;
constexpr int kWideWidth = kEm;
// The real file has a few hundred bytes; anything far larger is not that font.
constexpr std::uintmax_t kLargestProgramBytes = 64 * 1024;
// A ToUnicode bfchar block may hold at most 100 mappings.
constexpr std::size_t kBfcharBlock = 100;

QPDFObjectHandle name(const char* value) {
    return QPDFObjectHandle::newName(value);
}

std::string cidHex(std::uint16_t cid) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[cid >> 12], kDigits[(cid >> 8) & 0xF], kDigits[(cid >> 4) & 0xF],
            kDigits[cid & 0xF]};
}

// Tesseract's pdf.ttf, when it is there and is a TrueType program (sfnt version 1.0).
std::optional<Bytes> glyphlessProgram() {
    const std::filesystem::path folder = TextRecognizer::dataFolder();
    if (folder.empty())
        return std::nullopt;
    const std::filesystem::path file = folder / "pdf.ttf";
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > kLargestProgramBytes)
        return std::nullopt;
    auto program = readFileBytes(file);
    if (!program || program->size() < 12 || (*program)[0] != 0 || (*program)[1] != 1 ||
        (*program)[2] != 0 || (*program)[3] != 0)
        return std::nullopt;
    return program;
}

QPDFObjectHandle fontDescriptor(QPDF& pdf, const Bytes& program) {
    auto fontFile = pdf.newStream();
    fontFile.replaceStreamData(std::string(program.begin(), program.end()),
                               QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    fontFile.getDict().replaceKey(
        "/Length1", QPDFObjectHandle::newInteger(static_cast<long long>(program.size())));
    auto descriptor = QPDFObjectHandle::parse(
        "<< /Type /FontDescriptor /Flags 4 /ItalicAngle 0 /StemV 80 /CapHeight 700 >>");
    descriptor.replaceKey("/FontName", name(kFallbackFontName));
    descriptor.replaceKey("/Ascent", QPDFObjectHandle::newInteger(kAscent));
    descriptor.replaceKey("/Descent", QPDFObjectHandle::newInteger(kDescent));
    auto box = QPDFObjectHandle::newArray();
    for (const int value : {0, kDescent, kEm, kAscent})
        box.appendItem(QPDFObjectHandle::newInteger(value));
    descriptor.replaceKey("/FontBBox", box);
    descriptor.replaceKey("/FontFile2", fontFile);
    return pdf.makeIndirectObject(descriptor);
}

} // namespace

PdfFonts::PdfFonts(QPDF& pdf) : m_pdf(pdf) {}

QPDFObjectHandle PdfFonts::helvetica() {
    if (m_helvetica.isInitialized())
        return m_helvetica;
    m_helvetica = m_pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    return m_helvetica;
}

QPDFObjectHandle PdfFonts::fallback() {
    if (!m_fallback.isInitialized())
        m_fallback = makeFallback();
    return m_fallback;
}

QPDFObjectHandle PdfFonts::makeFallback() {
    const auto program = m_fallbackMissing ? std::nullopt : glyphlessProgram();
    if (!program) {
        m_fallbackMissing = true;
        throw std::runtime_error("Tesseract's glyphless font (pdf.ttf) cannot be read");
    }
    m_cidToGid = m_pdf.newStream();
    m_toUnicode = m_pdf.newStream();
    auto descendant = QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /CIDFontType2"
        " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>");
    descendant.replaceKey("/BaseFont", name(kFallbackFontName));
    descendant.replaceKey("/FontDescriptor", fontDescriptor(m_pdf, *program));
    descendant.replaceKey("/DW", QPDFObjectHandle::newInteger(kNarrowWidth));
    descendant.replaceKey("/CIDToGIDMap", m_cidToGid);
    m_descendant = m_pdf.makeIndirectObject(descendant);

    auto font = QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type0 /Encoding /Identity-H >>");
    font.replaceKey("/BaseFont", name(kFallbackFontName));
    auto descendants = QPDFObjectHandle::newArray();
    descendants.appendItem(m_descendant);
    font.replaceKey("/DescendantFonts", descendants);
    font.replaceKey("/ToUnicode", m_toUnicode);
    return m_pdf.makeIndirectObject(font);
}

std::uint16_t PdfFonts::cidFor(char32_t codePoint) {
    if (const auto found = m_cids.find(codePoint); found != m_cids.end())
        return found->second;
    if (m_cids.size() >= std::numeric_limits<std::uint16_t>::max())
        return codePoint == 0xFFFD ? 0 : cidFor(0xFFFD);
    const auto cid = static_cast<std::uint16_t>(m_cids.size() + 1);
    m_cids.emplace(codePoint, cid);
    m_characters.emplace(cid, codePoint);
    return cid;
}

std::string PdfFonts::fallbackHexString(std::u32string_view text) {
    std::string hex = "<";
    for (const char32_t c : text)
        hex += cidHex(cidFor(c));
    return hex + ">";
}

std::string PdfFonts::toUnicodeCMap() const {
    std::string cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    auto entry = m_characters.begin();
    while (entry != m_characters.end()) {
        const std::size_t left = static_cast<std::size_t>(std::distance(entry, m_characters.end()));
        const std::size_t count = std::min(left, kBfcharBlock);
        cmap += std::to_string(count) + " beginbfchar\n";
        for (std::size_t i = 0; i < count; ++i, ++entry)
            cmap += "<" + cidHex(entry->first) + "> <" + PdfText::utf16Hex(entry->second) + ">\n";
        cmap += "endbfchar\n";
    }
    return cmap + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

void PdfFonts::complete() {
    if (m_fallbackMissing)
        throw std::runtime_error("text needed Tesseract's glyphless font, which is missing");
    if (!m_fallback.isInitialized())
        return;
    m_toUnicode.replaceStreamData(toUnicodeCMap(), QPDFObjectHandle::newNull(),
                                  QPDFObjectHandle::newNull());
    // CID 0 stays .notdef; every character CID shows the one (empty) glyph.
    std::string map(2 * (m_characters.size() + 1), '\0');
    for (std::size_t i = 3; i < map.size(); i += 2)
        map[i] = static_cast<char>(kGlyphIndex);
    m_cidToGid.replaceStreamData(map, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    // Wide characters listed one by one: "cid [width]" pairs.
    auto widths = QPDFObjectHandle::newArray();
    for (const auto& [cid, character] : m_characters) {
        if (!PdfText::isWide(character))
            continue;
        widths.appendItem(QPDFObjectHandle::newInteger(cid));
        auto width = QPDFObjectHandle::newArray();
        width.appendItem(QPDFObjectHandle::newInteger(kWideWidth));
        widths.appendItem(width);
    }
    if (widths.getArrayNItems() > 0)
        m_descendant.replaceKey("/W", widths);
}
