// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TextPages.h"

#include "Platform/PdfDocument.h"

#include <algorithm>
#include <map>
#include <memory>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-page.h>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <sstream>
#include <stdexcept>

namespace TextPages {
namespace {

constexpr const char* kWords =
    "the quick brown fox jumps over the lazy dog while seven happy children read their "
    "morning paper in the garden and every letter of the story tells how people found water "
    "under old stones near the river before winter came to the small town on the hill where "
    "farmers sold bread and cheese at the market every week and travellers stopped to rest "
    "their horses by the old stone bridge that crossed the river below the church tower while "
    "the bells rang out across the fields of wheat and barley as the summer evening light "
    "faded slowly behind the distant mountains and the first stars appeared above the quiet "
    "valley where families gathered for supper and told stories of the long journey home";

} // namespace

Bytes pdf(const std::vector<Page>& pages) {
    QPDF document;
    document.emptyPDF();
    auto font = document.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    for (const Page& testPage : pages) {
        std::ostringstream content;
        for (const Line& line : testPage.lines)
            content << "BT /F1 " << line.size << " Tf " << line.x << ' ' << line.baseline << " Td "
                    << QPDFObjectHandle::newString(line.text).unparse() << " Tj ET\n";
        auto page = document.makeIndirectObject(QPDFObjectHandle::parse(
            "<< /Type /Page /MediaBox [0 0 " + std::to_string(testPage.widthPoints) + ' ' +
            std::to_string(testPage.heightPoints) + "] /Resources << /Font << >> >> >>"));
        page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
        page.replaceKey("/Contents", QPDFObjectHandle::newStream(&document, content.str()));
        QPDFPageDocumentHelper(document).addPage(QPDFPageObjectHelper(page), false);
    }
    QPDFWriter writer(document);
    writer.setOutputMemory();
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return Bytes(buffer->getBuffer(), buffer->getBuffer() + buffer->getSize());
}

Image image(const Page& page) {
    const auto document = PdfDocument::openBytes(pdf({page}));
    auto rendered = document ? document->renderPage(0, static_cast<int>(page.widthPoints * kScale),
                                                    static_cast<int>(page.heightPoints * kScale))
                             : std::nullopt;
    if (!rendered)
        throw std::runtime_error("the test page did not render");
    Image gray{rendered->widthPixels, rendered->heightPixels, 1, 1, {}};
    for (std::size_t i = 0; i < rendered->pixels.size(); i += 3)
        gray.pixels.push_back(rendered->pixels[i]);
    return gray;
}

Page paragraph(double widthPoints, double heightPoints, double size, double measurePoints) {
    Page page{widthPoints, heightPoints, {}};
    std::istringstream words(kWords);
    std::string word;
    const double margin = 2 * size;
    for (double x = margin; x + measurePoints <= widthPoints - margin;
         x += measurePoints + 3 * size) {
        for (double baseline = heightPoints - margin; baseline > margin; baseline -= 1.6 * size) {
            std::string line;
            // Helvetica's lower case averages about half an em.
            while ((line.size() + word.size()) * 0.52 * size < measurePoints &&
                   (!word.empty() || words >> word)) {
                line += (line.empty() ? "" : " ") + word;
                word.clear();
            }
            if (line.empty())
                return page;
            page.lines.push_back({line, x, baseline, size});
        }
    }
    return page;
}

std::vector<std::vector<Word>> words(const Bytes& pdf) {
    std::unique_ptr<poppler::document> document(poppler::document::load_from_raw_data(
        reinterpret_cast<const char*>(pdf.data()), static_cast<int>(pdf.size())));
    std::vector<std::vector<Word>> pages;
    for (int index = 0; document && index < document->pages(); ++index) {
        std::unique_ptr<poppler::page> page(document->create_page(index));
        pages.emplace_back();
        for (const auto& box : page->text_list(poppler::page::text_list_include_font)) {
            const auto utf8 = box.text().to_utf8();
            const auto r = box.bbox();
            pages.back().push_back({std::string(utf8.begin(), utf8.end()), r.left(), r.top(),
                                    r.right(), r.bottom(), box.get_font_size()});
        }
    }
    return pages;
}

std::vector<Word> drawnWords(const Page& page) {
    std::vector<Word> drawn = words(pdf({page})).at(0);
    for (Word& word : drawn) {
        word.left *= kScale;
        word.top *= kScale;
        word.right *= kScale;
        word.bottom *= kScale;
    }
    return drawn;
}

double recall(const std::vector<Word>& found, const std::vector<Word>& expected) {
    std::map<std::string, int> available;
    for (const Word& word : found)
        ++available[word.text];
    int hits = 0;
    for (const Word& word : expected)
        if (available[word.text]-- > 0)
            ++hits;
    return expected.empty() ? 1 : static_cast<double>(hits) / static_cast<double>(expected.size());
}

double onWords(const std::vector<Word>& found, const std::vector<Word>& expected) {
    int hits = 0;
    for (const Word& word : expected) {
        hits += std::any_of(found.begin(), found.end(), [&](const Word& candidate) {
            return candidate.text == word.text && candidate.left < word.right &&
                   word.left < candidate.right && candidate.top < word.bottom &&
                   word.top < candidate.bottom;
        });
    }
    return expected.empty() ? 1 : static_cast<double>(hits) / static_cast<double>(expected.size());
}

} // namespace TextPages
