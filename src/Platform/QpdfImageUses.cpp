// SPDX-License-Identifier: GPL-3.0-or-later
//
// A form's images are found once per form (and resources it is drawn with) as placements in
// the form's own space, then carried into every place the form is drawn, so a form drawn a
// thousand times is parsed once. Anything that cannot be followed exactly makes the images
// involved unknown: resampling an image to a size smaller than some place shows it would
// blur it there, while keeping an image as it is never harms.

#include "Platform/QpdfImageUses.h"

#include "Platform/Affine.h"

#include <cmath>
#include <optional>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <string>
#include <utility>
#include <vector>

namespace QpdfImageUses {
namespace {

constexpr int kMaxFormDepth = 12;
constexpr std::size_t kMaxPlacements = 20000;
constexpr std::size_t kMaxStateDepth = 1024;

/// An image drawn by some content: `toSpace` maps its unit square into the content's space.
struct Placement {
    QPDFObjGen image;
    Affine toSpace;
};
using Placements = std::vector<Placement>;

std::optional<Affine> matrixOf(QPDFObjectHandle array) {
    if (!array.isArray() || array.getArrayNItems() != 6)
        return std::nullopt;
    double v[6];
    for (int i = 0; i < 6; ++i)
        if (!array.getArrayItem(i).getValueAsNumber(v[i]) || !std::isfinite(v[i]))
            return std::nullopt;
    return Affine{v[0], v[1], v[2], v[3], v[4], v[5]};
}

class Finder {
public:
    Finder(QPDF& pdf, Uses& uses) : m_pdf(pdf), m_uses(uses) {}
    void page(QPDFObjectHandle page, int index);
    std::optional<Placements> form(QPDFObjectHandle form, QPDFObjectHandle inherited, int depth);
    void markUnknown(QPDFObjectHandle object);
    void markResources(QPDFObjectHandle resources);

private:
    QPDF& m_pdf;
    Uses& m_uses;
    std::map<QPDFObjGen, std::optional<Placements>> m_forms; // forms with their own resources
    std::set<QPDFObjGen> m_formStack;
    std::set<QPDFObjGen> m_marked;
};

/// Follows one content stream's transformation and its Do operators.
class Follower final : public QPDFObjectHandle::ParserCallbacks {
public:
    Follower(Finder& finder, QPDFObjectHandle resources, int depth, Affine start)
        : m_finder(finder), m_resources(std::move(resources)), m_depth(depth), m_ctm(start) {}

    void handleObject(QPDFObjectHandle object) override {
        if (!object.isOperator()) {
            m_operands.push_back(object);
            return;
        }
        const std::string op = object.getOperatorValue();
        if (op == "q" && m_saved.size() < kMaxStateDepth)
            m_saved.push_back(m_ctm);
        else if (op == "q")
            failed = true;
        else if (op == "Q" && !m_saved.empty()) {
            m_ctm = m_saved.back();
            m_saved.pop_back();
        } else if (op == "cm") {
            concatenate();
        } else if (op == "Do" && m_operands.size() == 1 && m_operands[0].isName()) {
            draw(m_operands[0].getName());
        }
        m_operands.clear();
    }
    void handleEOF() override {}

    Placements placements;
    bool failed = false;

private:
    void concatenate() {
        QPDFObjectHandle array = QPDFObjectHandle::newArray(m_operands);
        const auto matrix = m_operands.size() == 6 ? matrixOf(array) : std::nullopt;
        if (matrix)
            m_ctm = matrix->then(m_ctm);
        else
            failed = true;
    }

    void draw(const std::string& name) {
        auto xobjects = m_resources.isDictionary() ? m_resources.getKey("/XObject")
                                                   : QPDFObjectHandle::newNull();
        auto xobject = xobjects.isDictionary() ? xobjects.getKey(name) : xobjects;
        if (!xobject.isStream() || placements.size() >= kMaxPlacements) {
            failed = failed || xobject.isStream();
            return;
        }
        auto subtype = xobject.getDict().getKey("/Subtype");
        if (subtype.isNameAndEquals("/Image")) {
            placements.push_back({xobject.getObjGen(), m_ctm});
        } else if (subtype.isNameAndEquals("/Form")) {
            const auto inner = m_finder.form(xobject, m_resources, m_depth + 1);
            for (const Placement& placement : inner.value_or(Placements{}))
                placements.push_back({placement.image, placement.toSpace.then(m_ctm)});
        }
    }

    Finder& m_finder;
    QPDFObjectHandle m_resources;
    int m_depth;
    Affine m_ctm;
    std::vector<Affine> m_saved;
    std::vector<QPDFObjectHandle> m_operands;
};

std::optional<Placements> Finder::form(QPDFObjectHandle form, QPDFObjectHandle inherited,
                                       int depth) {
    const QPDFObjGen id = form.getObjGen();
    auto own = form.getDict().getKey("/Resources");
    const bool cacheable = own.isDictionary();
    if (cacheable)
        if (const auto found = m_forms.find(id); found != m_forms.end())
            return found->second;
    auto matrix = form.getDict().hasKey("/Matrix") ? matrixOf(form.getDict().getKey("/Matrix"))
                                                   : std::optional<Affine>(Affine{});
    std::optional<Placements> result;
    if (depth <= kMaxFormDepth && matrix && !m_formStack.contains(id)) {
        auto resources = cacheable ? own : inherited;
        markResources(resources);
        m_formStack.insert(id);
        Follower follower(*this, resources, depth, *matrix);
        const std::size_t warnings = m_pdf.numWarnings();
        try {
            form.parseAsContents(&follower);
        } catch (const std::exception&) {
            follower.failed = true;
        }
        m_formStack.erase(id);
        if (!follower.failed && m_pdf.numWarnings() == warnings)
            result = std::move(follower.placements);
    }
    if (!result)
        markUnknown(form);
    if (cacheable)
        m_forms[id] = result;
    return result;
}

void Finder::markUnknown(QPDFObjectHandle object) {
    std::vector<QPDFObjectHandle> pending{object};
    while (!pending.empty()) {
        auto next = pending.back();
        pending.pop_back();
        if (next.isIndirect() && !m_marked.insert(next.getObjGen()).second)
            continue;
        if (next.isArray()) {
            for (int i = 0; i < next.getArrayNItems(); ++i)
                pending.push_back(next.getArrayItem(i));
            continue;
        }
        if (!next.isDictionary() && !next.isStream())
            continue;
        auto dict = next.isStream() ? next.getDict() : next;
        if (next.isStream() && dict.getKey("/Subtype").isNameAndEquals("/Image"))
            m_uses.unknown.insert(next.getObjGen());
        for (const std::string& key : dict.getKeys())
            if (key != "/Parent" && key != "/P")
                pending.push_back(dict.getKey(key));
    }
}

// Images reached through a resource dictionary other than by Do: patterns, Type 3 fonts,
// soft mask groups of graphics states.
void Finder::markResources(QPDFObjectHandle resources) {
    if (!resources.isDictionary())
        return;
    for (const std::string& key : resources.getKeys())
        if (key != "/XObject")
            markUnknown(resources.getKey(key));
}

void Finder::page(QPDFObjectHandle page, int index) {
    QPDFPageObjectHelper helper(page);
    auto resources = helper.getAttribute("/Resources", false);
    markResources(resources);
    auto annotations = page.getKey("/Annots");
    for (int i = 0; annotations.isArray() && i < annotations.getArrayNItems(); ++i)
        if (auto annotation = annotations.getArrayItem(i); annotation.isDictionary())
            markUnknown(annotation.getKey("/AP"));
    auto xobjects =
        resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle::newNull();
    if (!xobjects.isDictionary() || xobjects.getKeys().empty())
        return;
    double userUnit = 1;
    if (!page.getKey("/UserUnit").getValueAsNumber(userUnit) || !(userUnit > 0))
        userUnit = 1;
    Follower follower(*this, resources, 0, Affine::scaling(userUnit / 72, userUnit / 72));
    const std::size_t warnings = m_pdf.numWarnings();
    try {
        helper.parseContents(&follower);
    } catch (const std::exception&) {
        follower.failed = true;
    }
    if (follower.failed || m_pdf.numWarnings() != warnings) {
        markUnknown(xobjects);
        return;
    }
    for (const Placement& placement : follower.placements) {
        const Affine& m = placement.toSpace;
        const double width = std::hypot(m.a, m.b);
        const double height = std::hypot(m.c, m.d);
        if (!std::isfinite(width) || !std::isfinite(height))
            continue;
        auto [entry, added] = m_uses.drawn.try_emplace(placement.image, Extent{0, 0, index});
        entry->second.widthInches = std::max(entry->second.widthInches, width);
        entry->second.heightInches = std::max(entry->second.heightInches, height);
    }
}

} // namespace

Uses find(QPDF& pdf) {
    Uses uses;
    Finder finder(pdf, uses);
    const auto& pages = pdf.getAllPages();
    for (std::size_t index = 0; index < pages.size(); ++index)
        finder.page(pages[index], static_cast<int>(index));
    return uses;
}

} // namespace QpdfImageUses
