// SPDX-License-Identifier: GPL-3.0-or-later
//
// The pages of the result are the source's own page objects with new content, so whatever
// refers to a page — links, the outline, named destinations, form fields — still does.

#include "Platform/PdfPagePictures.h"

#include "Platform/Affine.h"
#include "Platform/PdfSyntax.h"
#include "Platform/PopplerRender.h"
#include "Platform/QpdfCompactWrite.h"
#include "Platform/QpdfPages.h"
#include "Platform/QpdfStreams.h"

#include <poppler-page.h>
#include <qpdf/QPDFPageObjectHelper.hh>

namespace PdfPagePictures {
namespace {

Affine inverse(const Affine& m) {
    const double determinant = m.a * m.d - m.b * m.c;
    return {m.d / determinant,
            -m.b / determinant,
            -m.c / determinant,
            m.a / determinant,
            (m.c * m.f - m.d * m.e) / determinant,
            (m.b * m.e - m.a * m.f) / determinant};
}

std::string placement(const Affine& m) {
    std::string operators = "q";
    for (const double value : {m.a, m.b, m.c, m.d, m.e, m.f})
        operators += " " + PdfSyntax::number(value);
    return operators + " cm\n";
}

std::vector<PdfWord> pageWords(const poppler::document& document, int index, PageSize size) {
    std::vector<PdfWord> words;
    std::unique_ptr<poppler::page> page(document.create_page(index));
    if (!page)
        return words;
    for (const auto& box : page->text_list()) {
        const auto utf8 = box.text().to_utf8();
        const auto r = box.bbox();
        words.push_back({std::string(utf8.begin(), utf8.end()), r.left(),
                         size.heightPoints - r.bottom(), r.right(), size.heightPoints - r.top(),
                         box.rotation() & 3});
    }
    return words;
}

// The old content's references: the structure tree points into it by marked-content
// numbers, thumbnails and private data show or describe it.
void dropContentReferences(QPDF& pdf, QPDFObjectHandle page) {
    for (const char* key : {"/StructParents", "/Thumb", "/PieceInfo"})
        page.removeKey(key);
    auto root = pdf.getRoot();
    root.removeKey("/StructTreeRoot");
    root.removeKey("/MarkInfo");
}

void replacePage(QPDF& target, QPDFObjectHandle page, QPDF& drawn, QPDFObjectHandle picture) {
    auto resources = drawn.makeIndirectObject(picture.getKey("/Resources"));
    const Affine toPage = inverse(QpdfPages::displayTransform(page));
    auto contents = QPDFObjectHandle::newArray();
    contents.appendItem(QPDFObjectHandle::newStream(&target, placement(toPage)));
    contents.appendItem(target.copyForeignObject(picture.getKey("/Contents")));
    contents.appendItem(QPDFObjectHandle::newStream(&target, "\nQ\n"));
    page.replaceKey("/Resources", target.copyForeignObject(resources));
    page.replaceKey("/Contents", contents);
    dropContentReferences(target, page);
}

} // namespace

std::optional<Bytes> pagesOnly(const Bytes& pdf) {
    try {
        auto document = QpdfPages::open(pdf);
        QpdfPages::flattenPageTree(*document);
        for (auto page : document->getAllPages())
            page.removeKey("/Annots");
        QpdfPages::cropPagesToMediaBox(*document);
        return QpdfPages::write(*document, QpdfPages::WriteMode::Rendering);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::vector<PdfPageText>> text(const Bytes& pdf) {
    try {
        const auto structure = QpdfPages::open(pdf);
        const auto& pages = structure->getAllPages();
        const auto document = PopplerRender::load(pdf);
        if (!document || document->is_locked() ||
            document->pages() != static_cast<int>(pages.size()))
            return std::nullopt;
        std::vector<PdfPageText> texts;
        for (std::size_t index = 0; index < pages.size(); ++index) {
            const PageSize size = QpdfPages::displayedMediaBox(pages[index]);
            texts.push_back({size, pageWords(*document, static_cast<int>(index), size)});
        }
        return texts;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::vector<Bytes>> pageJpegs(const Bytes& pictures) {
    try {
        auto document = QpdfPages::open(pictures);
        std::vector<Bytes> jpegs;
        for (auto page : document->getAllPages()) {
            std::optional<Bytes> jpeg;
            for (auto& [name, image] : QPDFPageObjectHelper(page).getImages())
                if (!jpeg && image.getDict().getKey("/Filter").isNameAndEquals("/DCTDecode"))
                    jpeg = QpdfStreams::raw(*document, image);
            if (!jpeg)
                return std::nullopt;
            jpegs.push_back(std::move(*jpeg));
        }
        return jpegs;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<Bytes> replaceContents(const Bytes& source, const Bytes& drawn) {
    try {
        auto target = QpdfPages::open(source);
        auto pictures = QpdfPages::open(drawn);
        const auto pages = target->getAllPages();
        const auto& drawnPages = pictures->getAllPages();
        if (pages.size() != drawnPages.size())
            return std::nullopt;
        for (std::size_t index = 0; index < pages.size(); ++index)
            replacePage(*target, pages[index], *pictures, drawnPages[index]);
        return QpdfCompactWrite::write(*target);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace PdfPagePictures
