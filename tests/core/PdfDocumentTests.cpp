// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PdfDocument.h"
#include "Platform/PdfWriter.h"
#include "support/Corpus.h"
#include "support/Synth.h"

#include <chrono>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <thread>

namespace {

// Gray, white except for a black top-left quadrant: shows where a turn put the content.
Image quadrantMark(int widthPixels, int heightPixels) {
    Image image{widthPixels, heightPixels, 1, 1, {}};
    image.pixels.assign(image.byteCount(), 255);
    for (int y = 0; y < heightPixels / 2; ++y)
        for (int x = 0; x < widthPixels / 2; ++x)
            image.pixels[static_cast<std::size_t>(y * widthPixels + x)] = 0;
    return image;
}

Bytes onePagePdf(const Bytes& jpeg, double widthPoints, double heightPoints) {
    PdfWriter writer;
    writer.beginPage(widthPoints, heightPoints);
    EXPECT_TRUE(writer.drawJpeg(jpeg, 0, 0, widthPoints, heightPoints));
    return writer.finish().value();
}

// Applies a change with QPDF directly, as another program would have made the file.
Bytes edited(const Bytes& pdfBytes, const std::function<void(QPDF&)>& change) {
    QPDF pdf;
    pdf.processMemoryFile("edit", reinterpret_cast<const char*>(pdfBytes.data()), pdfBytes.size());
    change(pdf);
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return Bytes(buffer->getBuffer(), buffer->getBuffer() + buffer->getSize());
}

// Mean of the first channel over [x0, x1) × [y0, y1), in fractions of the image.
double meanLevel(const Image& image, double x0, double y0, double x1, double y1) {
    const int left = static_cast<int>(x0 * image.widthPixels);
    const int right = static_cast<int>(x1 * image.widthPixels);
    const int top = static_cast<int>(y0 * image.heightPixels);
    const int bottom = static_cast<int>(y1 * image.heightPixels);
    double sum = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            sum += image.pixels[image.bytesPerRow() * static_cast<std::size_t>(y) +
                                static_cast<std::size_t>(x * image.channels)];
    return sum / ((right - left) * (bottom - top));
}

void expectDisplayedSize(const PdfDocument& document, int pageIndex, double width, double height) {
    const auto box = document.mediaBox(pageIndex);
    ASSERT_TRUE(box) << "page " << pageIndex;
    EXPECT_DOUBLE_EQ(box->widthPoints, width) << "page " << pageIndex;
    EXPECT_DOUBLE_EQ(box->heightPoints, height) << "page " << pageIndex;
}

bool isTurned(int rotation) {
    return rotation == 90 || rotation == 270;
}

// Rotations as Poppler's pdfinfo reports them (some are inherited from the page tree).
const int kRotated20p[20] = {0,   180, 270, 90, 180, 0,   0,  0,   0, 0,
                             180, 180, 180, 90, 0,   270, 90, 270, 0, 0};

TEST(PdfDocumentOpen, RotatedPagesReportTheirDisplayedSize) {
    PARVO_CORPUS_FILE(path, "pdfs/qpdf_rotated_20p.pdf");
    const auto document = PdfDocument::openFile(path);
    ASSERT_TRUE(document);
    ASSERT_EQ(document->pageCount(), 20);
    for (int i = 0; i < 20; ++i)
        expectDisplayedSize(*document, i, isTurned(kRotated20p[i]) ? 792 : 612,
                            isTurned(kRotated20p[i]) ? 612 : 792);
    EXPECT_FALSE(document->mediaBox(-1));
    EXPECT_FALSE(document->mediaBox(20));
}

TEST(PdfDocumentOpen, RotationIsNormalisedAndInherited) {
    const Bytes pdf = onePagePdf(Synth::jpegBytes(quadrantMark(64, 32)), 200, 100);
    struct Case {
        int rotate;
        bool onPageTree;
        bool turned;
    };
    for (const Case c : {Case{-90, false, true}, Case{450, false, true}, Case{-180, false, false},
                         Case{270, true, true}, Case{45, false, false}}) {
        const auto document = PdfDocument::openBytes(edited(pdf, [&](QPDF& qpdf) {
            auto target = c.onPageTree ? qpdf.getRoot().getKey("/Pages") : qpdf.getAllPages()[0];
            target.replaceKey("/Rotate", QPDFObjectHandle::newInteger(c.rotate));
        }));
        ASSERT_TRUE(document);
        SCOPED_TRACE(c.rotate);
        expectDisplayedSize(*document, 0, c.turned ? 100 : 200, c.turned ? 200 : 100);
        const auto image = document->renderPage(0, c.turned ? 50 : 100, c.turned ? 100 : 50);
        ASSERT_TRUE(image);
    }
}

TEST(PdfDocumentOpen, EncryptedNeedingAUserPasswordIsRefused) {
    struct Case {
        const char* file;
        bool opens;
    };
    for (const Case c : {Case{"pdfs/enc_aes128_restricted.pdf", true},
                         Case{"pdfs/enc_rc4_userpw_password_scan.pdf", false},
                         Case{"pdfs/enc_aes256_userpw_view.pdf", false}}) {
        const auto path = Corpus::file(c.file);
        if (!path)
            continue;
        SCOPED_TRACE(c.file);
        const auto document = PdfDocument::openFile(*path);
        ASSERT_EQ(document.has_value(), c.opens);
        if (!document)
            continue;
        EXPECT_EQ(document->pageCount(), 1);
        const auto box = document->mediaBox(0).value();
        EXPECT_TRUE(document->renderPage(0, static_cast<int>(box.widthPoints),
                                         static_cast<int>(box.heightPoints)));
        const auto written = document->writeBytes();
        ASSERT_TRUE(written);
        EXPECT_TRUE(PdfDocument::openBytes(*written));
    }
}

TEST(PdfDocumentOpen, NotAPdfIsAbsent) {
    Synth::TempDir dir;
    EXPECT_FALSE(PdfDocument::openFile(dir / "missing.pdf"));
    EXPECT_FALSE(PdfDocument::openFile(dir.path()));
    EXPECT_FALSE(PdfDocument::openBytes({}));
    EXPECT_FALSE(PdfDocument::openBytes(Bytes(1000, 'x')));
    EXPECT_FALSE(PdfDocument::openBytes(Synth::jpegBytes(quadrantMark(16, 16))));
}

// Damaged files either open or not; whatever opens renders or fails cleanly, never crashes.
TEST(PdfDocumentOpen, DamagedFilesFailCleanly) {
    const auto files = Corpus::withoutRendererHangs(Corpus::files("damaged", {".pdf"}));
    if (files.empty())
        GTEST_SKIP() << "corpus not available";
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const auto document = PdfDocument::openFile(path);
        if (path.filename() == "badstartxref_epson.pdf") {
            ASSERT_TRUE(document && document->pageCount() == 1);
        }
        if (path.filename() == "upstream_invalid_header_eof.pdf") {
            EXPECT_FALSE(document && document->pageCount() > 0);
        }
        for (int i = 0; document && i < document->pageCount(); ++i) {
            const auto image = document->renderPage(i, 60, 80);
            if (image) {
                EXPECT_EQ(image->byteCount(), 60u * 80u * 3u);
            } else {
                EXPECT_NE(path.filename(), "badstartxref_epson.pdf");
            }
        }
    }
}

TEST(PdfDocumentRender, SizeIsExactlyWhatWasAskedFor) {
    PARVO_CORPUS_FILE(path, "pdfs/qpdf_cropbox_rotate.pdf");
    const auto document = PdfDocument::openFile(path);
    ASSERT_TRUE(document);
    for (const auto& [width, height] : {std::pair{612, 792}, {1, 1}, {333, 101}, {1000, 1294}}) {
        const auto image = document->renderPage(0, width, height);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->widthPixels, width);
        EXPECT_EQ(image->heightPixels, height);
        EXPECT_EQ(image->channels, 3);
        EXPECT_EQ(image->pixels.size(), image->byteCount());
    }
    for (const auto& [width, height] : {std::pair{0, 10}, {10, 0}, {-5, 10}})
        EXPECT_FALSE(document->renderPage(0, width, height));
    EXPECT_FALSE(document->renderPage(8, 10, 10));
    EXPECT_FALSE(document->renderPage(-1, 10, 10));
}

TEST(PdfDocumentRender, TurnedPagesComeOutUpright) {
    const Bytes pdf = onePagePdf(Synth::jpegBytes(quadrantMark(200, 100)), 200, 100);
    // Where the black top-left quadrant lands, as fractions of the displayed page.
    struct Case {
        int rotate;
        double x0, y0;
    };
    for (const Case c : {Case{0, 0, 0}, Case{90, 0.5, 0}, Case{180, 0.5, 0.5}, Case{270, 0, 0.5}}) {
        SCOPED_TRACE(c.rotate);
        const auto document = PdfDocument::openBytes(edited(pdf, [&](QPDF& qpdf) {
            QPDFObjectHandle page = qpdf.getAllPages()[0];
            page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(c.rotate));
        }));
        ASSERT_TRUE(document);
        const auto box = document->mediaBox(0).value();
        const auto image = document->renderPage(0, static_cast<int>(box.widthPoints * 2),
                                                static_cast<int>(box.heightPoints * 2));
        ASSERT_TRUE(image);
        EXPECT_LT(meanLevel(*image, c.x0 + 0.1, c.y0 + 0.1, c.x0 + 0.4, c.y0 + 0.4), 40);
        const double ox = 0.5 - c.x0;
        const double oy = 0.5 - c.y0;
        EXPECT_GT(meanLevel(*image, ox + 0.1, oy + 0.1, ox + 0.4, oy + 0.4), 215);
        EXPECT_GT(meanLevel(*image, ox + 0.1, c.y0 + 0.1, ox + 0.4, c.y0 + 0.4), 215);
    }
}

TEST(PdfDocumentRender, WholeMediaBoxIsRenderedWhateverTheCropBox) {
    const Bytes pdf = onePagePdf(Synth::jpegBytes(quadrantMark(200, 200)), 200, 200);
    // Crop to the bottom-right quadrant (PDF's origin is bottom left): a viewer would show
    // only white, but the black quadrant lies outside the crop box at the top left.
    const auto document = PdfDocument::openBytes(edited(pdf, [](QPDF& qpdf) {
        qpdf.getRoot().getKey("/Pages").replaceKey("/CropBox",
                                                   QPDFObjectHandle::parse("[100 0 200 100]"));
    }));
    ASSERT_TRUE(document);
    expectDisplayedSize(*document, 0, 200, 200);
    const auto image = document->renderPage(0, 200, 200);
    ASSERT_TRUE(image);
    EXPECT_LT(meanLevel(*image, 0.05, 0.05, 0.45, 0.45), 40);
    EXPECT_GT(meanLevel(*image, 0.55, 0.55, 0.95, 0.95), 215);
}

TEST(PdfDocumentRender, CorpusCropBoxPagesCoverTheirMediaBox) {
    PARVO_CORPUS_FILE(path, "pdfs/qpdf_cropbox_rotate.pdf");
    const auto document = PdfDocument::openFile(path);
    ASSERT_TRUE(document);
    ASSERT_EQ(document->pageCount(), 8);
    // Pages 5–8 have a media box larger than the others, around the same crop box.
    for (int i = 0; i < 8; ++i) {
        const bool turned = i % 2 == 1;
        const double width = i < 4 ? 612 : 652;
        const double height = i < 4 ? 792 : 852;
        expectDisplayedSize(*document, i, turned ? height : width, turned ? width : height);
        const auto box = document->mediaBox(i).value();
        const auto image = document->renderPage(i, static_cast<int>(box.widthPoints / 2),
                                                static_cast<int>(box.heightPoints / 2));
        ASSERT_TRUE(image);
    }
}

// A wrong /Count in the page tree: QPDF walks the kids, Poppler believes the count. Parvo's
// page numbers are QPDF's, and a page index must render that page.
TEST(PdfDocumentRender, PopplerRendersQpdfsPagesWhenTheyCountDifferently) {
    Image black{16, 16, 1, 1, Bytes(256, 0)};
    Image white{16, 16, 1, 1, Bytes(256, 255)};
    PdfWriter writer;
    writer.beginPage(100, 100);
    writer.drawJpeg(Synth::jpegBytes(black), 0, 0, 100, 100);
    writer.beginPage(50, 150);
    writer.drawJpeg(Synth::jpegBytes(white), 0, 0, 50, 150);
    const Bytes pdf = writer.finish().value();
    for (int count : {1, 5}) {
        const auto document = PdfDocument::openBytes(edited(pdf, [&](QPDF& q) {
            q.getRoot().getKey("/Pages").replaceKey("/Count", QPDFObjectHandle::newInteger(count));
        }));
        ASSERT_TRUE(document);
        ASSERT_EQ(document->pageCount(), 2);
        const auto first = document->renderPage(0, 100, 100);
        const auto second = document->renderPage(1, 50, 150);
        ASSERT_TRUE(first && second) << count;
        EXPECT_LT(meanLevel(*first, 0.1, 0.1, 0.9, 0.9), 40);
        EXPECT_GT(meanLevel(*second, 0.1, 0.1, 0.9, 0.9), 215);
        EXPECT_FALSE(document->renderPage(2, 50, 50));
    }
}

TEST(PdfDocumentRender, PixelCapRefusesWithoutTrying) {
    PARVO_CORPUS_FILE(path, "pdfs/hugemono_35000px_ccitt.pdf");
    const auto document = PdfDocument::openFile(path);
    ASSERT_TRUE(document);
    const auto box = document->mediaBox(0).value();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(document->renderPage(0, static_cast<int>(std::lround(box.widthPoints * 1.5)),
                                      static_cast<int>(std::lround(box.heightPoints * 1.5))));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(PdfDocumentRender, TwoThreadsRenderWhatOneThreadDoes) {
    PARVO_CORPUS_FILE(path, "pdfs/debian_reference_es_272p.pdf");
    const auto document = PdfDocument::openFile(path);
    ASSERT_TRUE(document);
    constexpr int kPages = 6;
    auto renderAll = [&](std::vector<Image>& out) {
        const auto renderer = document->renderer();
        for (int i = 0; renderer && i < kPages; ++i)
            out.push_back(renderer->renderPage(i, 595, 842).value_or(Image{}));
    };
    std::vector<Image> alone, first, second;
    renderAll(alone);
    std::thread a(renderAll, std::ref(first));
    std::thread b(renderAll, std::ref(second));
    a.join();
    b.join();
    ASSERT_EQ(alone.size(), static_cast<std::size_t>(kPages));
    for (int i = 0; i < kPages; ++i) {
        EXPECT_EQ(alone[i].widthPixels, 595);
        EXPECT_TRUE(first.at(i).pixels == alone[i].pixels) << "page " << i;
        EXPECT_TRUE(second.at(i).pixels == alone[i].pixels) << "page " << i;
    }
}

TEST(PdfDocumentCopy, PagesKeepSizeAndTurnAcrossDocuments) {
    PARVO_CORPUS_FILE(rotatedPath, "pdfs/qpdf_rotated_20p.pdf");
    PARVO_CORPUS_FILE(cropPath, "pdfs/qpdf_cropbox_rotate.pdf");
    auto output = PdfDocument::createEmpty();
    EXPECT_EQ(output.pageCount(), 0);
    {
        // The sources go away before the output is written.
        const auto rotated = PdfDocument::openFile(rotatedPath);
        const auto cropped = PdfDocument::openFile(cropPath);
        ASSERT_TRUE(rotated && cropped);
        for (int i : {2, 3, 13, 0})
            ASSERT_TRUE(output.appendPageCopy(*rotated, i));
        ASSERT_TRUE(output.appendPageCopy(*cropped, 1));
        EXPECT_FALSE(output.appendPageCopy(*cropped, 8));
        EXPECT_FALSE(output.appendPageCopy(*cropped, -1));
    }
    ASSERT_TRUE(output.appendPageCopy(output, 0));
    ASSERT_TRUE(output.renderPage(4, 396, 306)); // after copying, before writing
    const auto bytes = output.writeBytes();
    ASSERT_TRUE(bytes);
    const auto reopened = PdfDocument::openBytes(*bytes);
    ASSERT_TRUE(reopened);
    ASSERT_EQ(reopened->pageCount(), 6);
    const bool turned[6] = {true, true, true, false, true, true};
    for (int i = 0; i < 6; ++i)
        expectDisplayedSize(*reopened, i, turned[i] ? 792 : 612, turned[i] ? 612 : 792);
    EXPECT_TRUE(output.writeBytes() == bytes) << "writing is deterministic";
}

// Each document then holds the other's pages; both must write, and nothing may leak.
TEST(PdfDocumentCopy, CopyingBackAndForthBetweenTwoDocuments) {
    const Bytes jpeg = Synth::jpegBytes(quadrantMark(40, 20));
    auto first = PdfDocument::openBytes(onePagePdf(jpeg, 200, 100));
    auto second = PdfDocument::openBytes(onePagePdf(jpeg, 100, 300));
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->appendPageCopy(*second, 0));
    ASSERT_TRUE(second->appendPageCopy(*first, 1));
    ASSERT_TRUE(second->appendPageCopy(*first, 0));
    first.reset();
    const auto reopened = PdfDocument::openBytes(second->writeBytes().value());
    ASSERT_TRUE(reopened);
    ASSERT_EQ(reopened->pageCount(), 3);
    expectDisplayedSize(*reopened, 1, 100, 300);
    expectDisplayedSize(*reopened, 2, 200, 100);
}

TEST(PdfDocumentWrite, FileRoundTripAndFailure) {
    const Bytes pdf = onePagePdf(Synth::jpegBytes(quadrantMark(40, 20)), 200, 100);
    const auto document = PdfDocument::openBytes(pdf);
    ASSERT_TRUE(document);
    Synth::TempDir dir;
    EXPECT_FALSE(document->writeFile(dir / "out.pdf"));
    const auto reopened = PdfDocument::openFile(dir / "out.pdf");
    ASSERT_TRUE(reopened);
    expectDisplayedSize(*reopened, 0, 200, 100);
    EXPECT_TRUE(document->writeFile(dir / "missing" / "out.pdf"));
}

} // namespace
