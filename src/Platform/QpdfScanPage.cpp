// SPDX-License-Identifier: GPL-3.0-or-later
//
// The page's content is followed operator by operator with the part of the graphics state that
// decides how one image looks: the transformation, rectangular clips, the text rendering mode
// and the fill colour (which an image mask paints with). Anything not known to be invisible or
// harmless ends the look at once: keeping a page's image is only right when the image is all a
// viewer sees, and a page that is not kept is rendered, which is always faithful.

#include "Platform/QpdfScanPage.h"

#include "Platform/QpdfPages.h"

#include <climits>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace QpdfScanPage {
namespace {

constexpr int kInvisibleText = 3;

struct GraphicsState {
    Affine ctm;
    int textRenderingMode = 0;
    std::string fill = "0 g";
    bool fillIsDevice = true; // a device colour: the operators mean the same on any page
    std::vector<PdfPageImage::Quad> clips;
};

// Operators that change nothing about how the page's one image looks.
const std::set<std::string, std::less<>>& harmlessOperators() {
    static const std::set<std::string, std::less<>> operators = {
        "BT", "ET", "Tf", "Td", "TD", "Tm", "T*", "Tc", "Tw",  "Tz",  "TL",
        "Ts", "ri", "i",  "w",  "J",  "j",  "M",  "d",  "BMC", "BDC", "EMC",
        "MP", "DP", "BX", "EX", "G",  "RG", "K",  "CS", "SC",  "SCN"};
    return operators;
}

bool isDeviceSpace(QPDFObjectHandle name) {
    return name.isName() && (name.getName() == "/DeviceGray" || name.getName() == "/DeviceRGB" ||
                             name.getName() == "/DeviceCMYK");
}

// Keys of an ExtGState that leave an image's appearance alone, and those that do so only with
// their neutral value.
bool harmlessGraphicsState(QPDFObjectHandle state) {
    static const std::set<std::string, std::less<>> harmless = {
        "/Type", "/LW", "/LC", "/LJ", "/ML",   "/D",  "/RI", "/OP",  "/op",  "/OPM",
        "/FL",   "/SM", "/SA", "/TK", "/Font", "/HT", "/BG", "/BG2", "/UCR", "/UCR2"};
    if (!state.isDictionary())
        return false;
    for (const std::string& key : state.getKeys()) {
        QPDFObjectHandle value = state.getKey(key);
        if (harmless.contains(key))
            continue;
        double number = 0;
        const bool neutral =
            ((key == "/CA" || key == "/ca") && value.getValueAsNumber(number) && number == 1) ||
            (key == "/BM" && value.isName() &&
             (value.getName() == "/Normal" || value.getName() == "/Compatible")) ||
            (key == "/SMask" && value.isName() && value.getName() == "/None") ||
            (key == "/AIS" && value.isBool() && !value.getBoolValue()) ||
            ((key == "/TR" || key == "/TR2") && value.isName() &&
             (value.getName() == "/Identity" || value.getName() == "/Default"));
        if (!neutral)
            return false;
    }
    return true;
}

class Follower final : public QPDFObjectHandle::ParserCallbacks {
public:
    explicit Follower(QPDFObjectHandle resources) : m_resources(std::move(resources)) {}

    void handleObject(QPDFObjectHandle object) override {
        if (!object.isOperator()) {
            m_operands.push_back(object);
            if (object.isInlineImage())
                reject();
            return;
        }
        apply(object.getOperatorValue());
        m_operands.clear();
        if (m_rejected)
            terminateParsing();
    }
    void handleEOF() override {}

    /// The image with its placement in default user space, unless something else was seen.
    std::optional<PdfPageImage> found() const { return m_rejected ? std::nullopt : m_image; }

private:
    void reject() { m_rejected = true; }

    bool numbers(std::size_t count, std::vector<double>& values) {
        if (m_operands.size() != count)
            return false;
        values.clear();
        for (QPDFObjectHandle operand : m_operands) {
            double value = 0;
            if (!operand.getValueAsNumber(value))
                return false;
            values.push_back(value);
        }
        return true;
    }

    std::string operandText() {
        std::string text;
        for (QPDFObjectHandle operand : m_operands)
            text += operand.unparse() + " ";
        return text;
    }

    void apply(const std::string& op);
    void applyState(const std::string& op);
    void applyPath(const std::string& op);
    void applyFill(const std::string& op);
    void paint();

    QPDFObjectHandle m_resources;
    std::vector<QPDFObjectHandle> m_operands;
    GraphicsState m_state;
    std::vector<GraphicsState> m_saved;
    std::vector<std::vector<double>> m_pathRectangles;
    bool m_pathHasOtherSegments = false;
    bool m_pathClips = false;
    std::optional<PdfPageImage> m_image;
    bool m_rejected = false;
};

void Follower::apply(const std::string& op) {
    static const std::set<std::string, std::less<>> stateOps = {"q", "Q", "cm", "Tr", "gs"};
    static const std::set<std::string, std::less<>> pathOps = {"m", "l",  "c", "v",  "y",
                                                               "h", "re", "W", "W*", "n"};
    static const std::set<std::string, std::less<>> fillOps = {"g", "rg", "k", "cs", "sc", "scn"};
    static const std::set<std::string, std::less<>> textShows = {"Tj", "TJ", "'", "\""};
    if (stateOps.contains(op))
        applyState(op);
    else if (pathOps.contains(op))
        applyPath(op);
    else if (fillOps.contains(op))
        applyFill(op);
    else if (textShows.contains(op))
        m_rejected = m_rejected || m_state.textRenderingMode != kInvisibleText;
    else if (op == "Do")
        paint();
    else if (!harmlessOperators().contains(op))
        reject(); // painting (S, f, B…, sh, BI…) and whatever this does not know
}

void Follower::applyState(const std::string& op) {
    std::vector<double> values;
    if (op == "q") {
        m_saved.push_back(m_state);
    } else if (op == "Q") {
        if (!m_saved.empty()) {
            m_state = std::move(m_saved.back());
            m_saved.pop_back();
        }
    } else if (op == "cm") {
        if (!numbers(6, values))
            return reject();
        const Affine m{values[0], values[1], values[2], values[3], values[4], values[5]};
        m_state.ctm = m.then(m_state.ctm);
    } else if (op == "Tr") {
        if (!numbers(1, values))
            return reject();
        m_state.textRenderingMode = static_cast<int>(values[0]);
    } else if (op == "gs") {
        QPDFObjectHandle states = m_resources.getKey("/ExtGState");
        if (m_operands.size() != 1 || !m_operands[0].isName() || !states.isDictionary() ||
            !harmlessGraphicsState(states.getKey(m_operands[0].getName())))
            reject();
    }
}

void Follower::applyPath(const std::string& op) {
    std::vector<double> values;
    if (op == "re") {
        if (!numbers(4, values))
            return reject();
        m_pathRectangles.push_back(values);
    } else if (op == "W" || op == "W*") {
        m_pathClips = true;
    } else if (op == "n") {
        if (m_pathClips) {
            if (m_pathHasOtherSegments || m_pathRectangles.size() != 1)
                return reject();
            const auto& r = m_pathRectangles.front();
            const Affine& ctm = m_state.ctm;
            m_state.clips.push_back({ctm.apply({r[0], r[1]}), ctm.apply({r[0] + r[2], r[1]}),
                                     ctm.apply({r[0] + r[2], r[1] + r[3]}),
                                     ctm.apply({r[0], r[1] + r[3]})});
        }
        m_pathRectangles.clear();
        m_pathHasOtherSegments = m_pathClips = false;
    } else {
        m_pathHasOtherSegments = true;
    }
}

void Follower::applyFill(const std::string& op) {
    if (op == "cs") {
        m_state.fillIsDevice = m_operands.size() == 1 && isDeviceSpace(m_operands[0]);
        m_state.fill = operandText() + op;
    } else if (op == "sc" || op == "scn") {
        // The values belong to the space chosen by the last cs, which is kept in front.
        const std::string::size_type space = m_state.fill.find(" cs");
        const std::string spaceChoice =
            space == std::string::npos ? std::string() : m_state.fill.substr(0, space + 3) + " ";
        m_state.fill = spaceChoice + operandText() + op;
        std::vector<double> values;
        m_state.fillIsDevice = m_state.fillIsDevice && numbers(m_operands.size(), values);
    } else {
        m_state.fill = operandText() + op;
        m_state.fillIsDevice = true;
    }
}

void Follower::paint() {
    QPDFObjectHandle xObjects = m_resources.getKey("/XObject");
    if (m_image || m_operands.size() != 1 || !m_operands[0].isName() || !xObjects.isDictionary())
        return reject();
    QPDFObjectHandle image = xObjects.getKey(m_operands[0].getName());
    if (!image.isStream())
        return reject();
    QPDFObjectHandle dict = image.getDict();
    if (!dict.getKey("/Subtype").isNameAndEquals("/Image") || dict.hasKey("/OC"))
        return reject(); // a form, or an image a viewer may hide
    const bool mask =
        dict.getKey("/ImageMask").isBool() && dict.getKey("/ImageMask").getBoolValue();
    if (mask && !m_state.fillIsDevice)
        return reject();
    const auto side = [&](const char* key) {
        QPDFObjectHandle value = dict.getKey(key);
        return value.isInteger() && value.getIntValue() > 0 && value.getIntValue() <= INT_MAX
                   ? static_cast<int>(value.getIntValue())
                   : 0;
    };
    m_image = PdfPageImage{m_state.ctm,
                           m_state.clips,
                           mask ? m_state.fill : std::string(),
                           side("/Width"),
                           side("/Height"),
                           std::make_shared<const PdfImageSource>(PdfImageSource{{}, image})};
}

PdfPageImage onDisplayedPage(PdfPageImage image, const Affine& display,
                             std::shared_ptr<const void> owner) {
    image.placement = image.placement.then(display);
    for (PdfPageImage::Quad& quad : image.clips)
        for (Point& corner : quad)
            corner = display.apply(corner);
    image.source = std::make_shared<const PdfImageSource>(
        PdfImageSource{std::move(owner), image.source->image});
    return image;
}

} // namespace

std::optional<PdfPageImage> find(QPDFObjectHandle page, std::shared_ptr<const void> owner) {
    QPDFPageObjectHelper helper(page);
    QPDFObjectHandle annotations = page.getKey("/Annots");
    if (annotations.isArray() && annotations.getArrayNItems() > 0)
        return std::nullopt;
    QPDFObjectHandle resources = helper.getAttribute("/Resources", false);
    if (!resources.isDictionary())
        return std::nullopt;
    Follower follower(resources);
    helper.parseContents(&follower);
    const auto image = follower.found();
    if (!image || !image->placement.isFinite())
        return std::nullopt;
    return onDisplayedPage(*image, QpdfPages::displayTransform(page), std::move(owner));
}

} // namespace QpdfScanPage
