// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/QpdfPages.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

namespace QpdfPages {
namespace {

using Box = std::array<double, 4>;

std::optional<Box> numericBox(QPDFObjectHandle box) {
    if (!box.isArray() || box.getArrayNItems() != 4)
        return std::nullopt;
    Box values{};
    for (int i = 0; i < 4; ++i) {
        double value = 0;
        if (!box.getArrayItem(i).getValueAsNumber(value) || !std::isfinite(value))
            return std::nullopt;
        values[static_cast<std::size_t>(i)] = value;
    }
    return values;
}

std::optional<Box> mediaBox(QPDFPageObjectHelper& page) {
    const auto box = numericBox(page.getAttribute("/MediaBox", false));
    if (!box || (*box)[0] == (*box)[2] || (*box)[1] == (*box)[3])
        return std::nullopt;
    return box;
}

bool cropBoxDiffers(QPDFPageObjectHelper& page) {
    auto crop = page.getAttribute("/CropBox", false);
    if (crop.isNull())
        return false;
    const auto media = mediaBox(page);
    return media && numericBox(crop) != media;
}

// Collects QPDFWriter's output straight into Bytes, sparing the copy out of a qpdf Buffer.
class BytesPipeline final : public Pipeline {
public:
    explicit BytesPipeline(Bytes& out) : Pipeline("bytes", nullptr), m_out(out) {}
    void write(unsigned char const* data, size_t length) override {
        m_out.insert(m_out.end(), data, data + length);
    }
    void finish() override {}

private:
    Bytes& m_out;
};

} // namespace

std::unique_ptr<QPDF> open(const Bytes& bytes) {
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    pdf->processMemoryFile("PDF", reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // Walking the page tree now makes damage there fail the open rather than later calls.
    pdf->getAllPages();
    return pdf;
}

std::unique_ptr<QPDF> createEmpty() {
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    pdf->emptyPDF();
    return pdf;
}

int rotationDegrees(QPDFObjectHandle page) {
    auto rotate = QPDFPageObjectHelper(page).getAttribute("/Rotate", false);
    if (!rotate.isInteger())
        return 0;
    const long long degrees = ((rotate.getIntValue() % 360) + 360) % 360;
    return degrees % 90 == 0 ? static_cast<int>(degrees) : 0;
}

PageSize displayedMediaBox(QPDFObjectHandle page) {
    QPDFPageObjectHelper helper(page);
    const Box box = mediaBox(helper).value_or(Box{0, 0, 612, 792});
    PageSize size{std::abs(box[2] - box[0]), std::abs(box[3] - box[1])};
    const int rotation = rotationDegrees(page);
    if (rotation == 90 || rotation == 270)
        std::swap(size.widthPoints, size.heightPoints);
    return size;
}

Affine displayTransform(QPDFObjectHandle page) {
    QPDFPageObjectHelper helper(page);
    const Box box = mediaBox(helper).value_or(Box{0, 0, 612, 792});
    const double width = std::abs(box[2] - box[0]);
    const double height = std::abs(box[3] - box[1]);
    return Affine::translation(-std::min(box[0], box[2]), -std::min(box[1], box[3]))
        .then(Affine::quarterTurn(rotationDegrees(page), width, height));
}

bool anyCropBoxDiffers(QPDF& pdf) {
    for (const auto& page : pdf.getAllPages()) {
        QPDFPageObjectHelper helper(page);
        if (cropBoxDiffers(helper))
            return true;
    }
    return false;
}

void cropPagesToMediaBox(QPDF& pdf) {
    for (auto page : pdf.getAllPages()) {
        QPDFPageObjectHelper helper(page);
        if (cropBoxDiffers(helper))
            page.replaceKey("/CropBox", helper.getAttribute("/MediaBox", false).shallowCopy());
    }
}

void flattenPageTree(QPDF& pdf) {
    pdf.pushInheritedAttributesToPage();
    const auto& pages = pdf.getAllPages();
    auto root = pdf.getRoot().getKey("/Pages");
    for (auto page : pages)
        page.replaceKey("/Parent", root);
    root.replaceKey("/Kids", QPDFObjectHandle::newArray(pages));
    root.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(pages.size())));
}

Bytes write(QPDF& pdf, WriteMode mode, std::size_t expectedBytes) {
    Bytes out;
    out.reserve(expectedBytes);
    BytesPipeline pipeline(out);
    QPDFWriter writer(pdf);
    writer.setOutputPipeline(&pipeline);
    if (mode == WriteMode::Rendering) {
        writer.setPreserveEncryption(false);
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
    } else {
        writer.setObjectStreamMode(qpdf_o_generate);
        // A kept encryption dictionary is keyed to the original /ID, so it cannot be derived.
        if (!pdf.isEncrypted())
            writer.setDeterministicID(true);
    }
    writer.write();
    return out;
}

} // namespace QpdfPages
