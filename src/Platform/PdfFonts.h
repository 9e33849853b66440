// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <string>
#include <string_view>

/// The two fonts of a document's invisible text, each made once and shared by every page:
/// the standard Helvetica (Type1, WinAnsiEncoding, not embedded) and a fallback for every
/// other character: a Type0 font (Identity-H) over Tesseract's glyphless TrueType program,
/// `pdf.ttf` in Tesseract's data folder (TextRecognizer::dataFolder), read when the fallback
/// is first asked for. The fallback numbers characters (CIDs from 1) in the order they first
/// appear in the document; its ToUnicode map, glyph map and widths are written by complete(),
/// which must be called once before the document is written. One document, one thread.
/// QPDF's exceptions pass through.
///
/// Without a readable pdf.ttf the document cannot carry such characters: fallback() throws
/// std::runtime_error every time it is asked, and so does complete() afterwards, so that the
/// document fails as a whole rather than being written without part of its text. Helvetica
/// is unaffected: a document whose text is all WinAnsi never reads the file.
class PdfFonts {
public:
    explicit PdfFonts(QPDF& pdf);

    /// Resource names, with the slash.
    static constexpr const char* kHelveticaName = "/FH";
    static constexpr const char* kFallbackName = "/FU";

    QPDFObjectHandle helvetica();
    /// Throws std::runtime_error when Tesseract's glyphless font cannot be read.
    QPDFObjectHandle fallback();

    /// The operand of a Tj that shows the characters with the fallback font: a hex string of
    /// two-byte CIDs. Characters beyond the 65535 CIDs show as U+FFFD's CID.
    std::string fallbackHexString(std::u32string_view text);

    /// Writes the fallback font's ToUnicode CMap, CIDToGIDMap and widths for the characters
    /// used so far. Does nothing when the fallback font was never asked for; throws
    /// std::runtime_error when it was asked for and could not be made.
    void complete();

private:
    std::uint16_t cidFor(char32_t codePoint);
    QPDFObjectHandle makeFallback();
    std::string toUnicodeCMap() const;

    QPDF& m_pdf;
    QPDFObjectHandle m_helvetica;
    QPDFObjectHandle m_fallback;
    QPDFObjectHandle m_descendant;
    QPDFObjectHandle m_toUnicode;
    QPDFObjectHandle m_cidToGid;
    std::map<char32_t, std::uint16_t> m_cids;
    std::map<std::uint16_t, char32_t> m_characters;
    bool m_fallbackMissing = false;
};
